// Every input the fuzzer was seeded with or found stays checked in every
// build, and so does every input cut short at every byte; each whole task
// among them is rewritten on the real file system and checked too.
#include <gtest/gtest.h>

#include <filesystem>

#include "fuzz/task_file_check.h"
#include "support/task_file_bytes.h"

namespace orvanta::testing {
namespace {

TEST(FuzzCorpus, ReplaysEveryInputAndEveryCut) {
  TempFolder folder;
  int replayed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(ORVANTA_FUZZ_CORPUS)) {
    const std::string bytes = ReadBytes(entry.path());
    for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
      CheckTaskFileBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), cut);
    }
    CheckRewriteOf(bytes, PathToUtf8(folder / "replayed.td.cfg"));
    ++replayed;
  }
  EXPECT_GE(replayed, 10);
}

}  // namespace
}  // namespace orvanta::testing
