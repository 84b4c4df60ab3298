// Every input the fuzzer was seeded with or found stays checked in every build.
#include <gtest/gtest.h>

#include <filesystem>

#include "fuzz/task_file_check.h"
#include "support/task_file_bytes.h"

namespace orvanta::testing {
namespace {

TEST(FuzzCorpus, ReplaysEveryInput) {
  int replayed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(ORVANTA_FUZZ_CORPUS)) {
    const std::string bytes = ReadBytes(entry.path());
    CheckTaskFileBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    ++replayed;
  }
  EXPECT_GE(replayed, 10);
}

}  // namespace
}  // namespace orvanta::testing
