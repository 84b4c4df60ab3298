// Every input the fuzzer was seeded with or found stays checked in every build.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "fuzz/task_file_check.h"

namespace orvanta::testing {
namespace {

TEST(FuzzCorpus, ReplaysEveryInput) {
  int replayed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(ORVANTA_FUZZ_CORPUS)) {
    std::ifstream in(entry.path(), std::ios::binary);
    std::string bytes(std::istreambuf_iterator<char>(in), {});
    CheckTaskFileBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    ++replayed;
  }
  EXPECT_GE(replayed, 10);
}

}  // namespace
}  // namespace orvanta::testing
