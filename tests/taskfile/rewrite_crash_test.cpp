// The program may die, or the power fail, after any file operation of a
// rewrite. Whatever the moment, the user must find the complete old content
// in the task file or its backup, or the complete new content in the task
// file.
#include <gtest/gtest.h>

#include <iostream>

#include "support/faulty_file_system.h"
#include "support/task_file_bytes.h"
#include "taskfile/address_rewrite.h"

namespace orvanta {
namespace {

using testing::BuildTaskFile;
using testing::FaultyFileSystem;
using testing::PatternBytes;
using testing::ReadBytes;
using testing::TaskFileParts;
using testing::TempFolder;
using testing::WriteBytes;

namespace fs = std::filesystem;

struct CrashCase {
  const char* label;
  TaskFileParts parts;
};

void PrintTo(const CrashCase& c, std::ostream* out) { *out << c.label; }

class RewriteCrash : public ::testing::TestWithParam<CrashCase> {
 protected:
  std::string OldBytes() const { return BuildTaskFile(GetParam().parts); }
  std::string NewBytes() const {
    TaskFileParts parts = GetParam().parts;
    parts.address = "http://new/address";
    return BuildTaskFile(parts);
  }

  // Writes the task file and rewrites it; the file system crashes at
  // operation `crash_at`, if given.
  void RewriteCrashingAt(std::optional<int> crash_at, FaultyFileSystem& file_system) {
    fs::remove(BackupPathFor(path_));
    WriteBytes(path_, OldBytes());
    file_system.crash_at = crash_at;
    const TaskFileParts& parts = GetParam().parts;
    (void)RewriteAddress(path_, parts.name_length.value_or(static_cast<int>(parts.name.size())),
                         static_cast<std::int32_t>(parts.address.size()), "http://new/address",
                         file_system);
  }

  // What the user finds; empty when the content is lost.
  std::string Outcome() const {
    std::string task = fs::exists(path_) ? ReadBytes(path_) : "";
    std::string backup = fs::exists(BackupPathFor(path_)) ? ReadBytes(BackupPathFor(path_)) : "";
    if (task == NewBytes()) return backup.empty() ? "new" : "new, stale backup";
    if (task == OldBytes()) return backup.empty() ? "old" : "old, backup";
    if (backup == OldBytes())
      return task.empty() && !fs::exists(path_) ? "backup" : "backup, torn file";
    return "";
  }

  TempFolder folder_;
  const fs::path path_ = folder_ / "a.td.cfg";
};

TEST_P(RewriteCrash, NeverLosesTheContent) {
  FaultyFileSystem counter;
  RewriteCrashingAt(std::nullopt, counter);
  const int operations = static_cast<int>(counter.operations().size());
  ASSERT_EQ(Outcome(), "new");

  for (int cut = 0; cut <= operations; ++cut) {
    for (bool power_loss : {false, true}) {
      FaultyFileSystem file_system;
      RewriteCrashingAt(cut, file_system);
      if (power_loss) file_system.LoseUnsyncedWrites();
      const std::string outcome = Outcome();
      const std::string before =
          cut == 0 ? "start" : "after " + counter.operations()[static_cast<std::size_t>(cut - 1)];
      std::cout << GetParam().label << ": crash " << (power_loss ? "and power loss " : "")
                << "at operation " << cut << " (" << before << "): " << outcome << "\n";
      EXPECT_FALSE(outcome.empty()) << "cut " << cut << (power_loss ? " with power loss" : "");
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RewriteCrash,
    ::testing::Values(
        CrashCase{"named_empty_remainder", {.name = "name", .address = "old"}},
        CrashCase{"nameless_empty_remainder", {.name_length = 0, .address = "old"}},
        CrashCase{"named_large_remainder",
                  {.name = "name", .address = "old", .remainder = PatternBytes(2'500'000)}},
        CrashCase{"nameless_large_remainder",
                  {.name_length = -1, .address = "old", .remainder = PatternBytes(2'500'000)}}),
    [](const auto& info) { return info.param.label; });

}  // namespace
}  // namespace orvanta
