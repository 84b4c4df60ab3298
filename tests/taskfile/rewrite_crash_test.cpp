// The program may die, or the power fail, after any file operation of a
// rewrite. Whatever the moment, the task file's name holds the complete old
// or the complete new content, never a mix; the old content is nowhere but
// in the task file or its backup; and opening the file again and changing
// it once more loses nothing.
#include <gtest/gtest.h>

#include <iostream>
#include <set>

#include "support/faulty_file_system.h"
#include "support/task_file_bytes.h"
#include "taskfile/address_rewrite.h"
#include "taskfile/task_file_reader.h"

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
    for (const auto& entry : fs::directory_iterator(folder_.path())) fs::remove(entry.path());
    WriteBytes(path_, OldBytes());
    file_system.crash_at = crash_at;
    const TaskFileParts& parts = GetParam().parts;
    (void)RewriteAddress(path_, parts.name_length.value_or(static_cast<int>(parts.name.size())),
                         static_cast<std::int32_t>(parts.address.size()), "http://new/address",
                         file_system);
  }

  std::string Content(const fs::path& path) const {
    return fs::exists(path) ? ReadBytes(path) : "";
  }

  // What the user finds; empty when that is not allowed: a task file that
  // is neither the old nor the new one, or old content lost.
  std::string Outcome() const {
    const std::string task = Content(path_), backup = Content(BackupPathFor(path_));
    std::string found = task == NewBytes() ? "new" : task == OldBytes() ? "old" : "";
    if (!fs::exists(path_)) found = "none";
    if (found.empty() || (!backup.empty() && backup != OldBytes())) return "";
    if (found != "old" && backup.empty()) return found == "new" ? "new" : "";
    return backup.empty() ? found : found + ", backup";
  }

  // Every complete task that is in the folder, under whatever name.
  std::set<std::string> WholeTasks() const {
    std::set<std::string> tasks;
    for (const auto& entry : fs::directory_iterator(folder_.path())) {
      if (std::holds_alternative<TaskRecord>(ReadTaskFile(entry.path())) &&
          entry.path() != fs::path(TemporaryPathFor(path_))) {
        tasks.insert(ReadBytes(entry.path()));
      }
    }
    return tasks;
  }

  // The user opens the task file again and changes it once more: every
  // whole task that was there before is still there, or was the one changed.
  void ExpectReopenAndModifyToLoseNothing() {
    const std::set<std::string> before = WholeTasks();
    auto record = ReadTaskFile(path_);
    if (!std::holds_alternative<TaskRecord>(record)) return;  // nothing to change
    const std::string opened = ReadBytes(path_);
    const auto& loaded = std::get<TaskRecord>(record);
    ASSERT_FALSE(
        RewriteAddress(path_, loaded.NameLength, loaded.AddressLength, "http://third").error);
    const std::set<std::string> after = WholeTasks();
    for (const std::string& task : before) {
      EXPECT_TRUE(task == opened || after.contains(task)) << "a whole task was lost";
    }
  }

  TempFolder folder_;
  const fs::path path_ = folder_ / "a.td.cfg";
};

TEST_P(RewriteCrash, NeverLeavesAPartialTaskFile) {
  FaultyFileSystem counter;
  RewriteCrashingAt(std::nullopt, counter);
  const int operations = static_cast<int>(counter.operations().size());
  ASSERT_EQ(Outcome(), "new");
  std::error_code no_links;
  fs::create_hard_link(path_, folder_ / "probe", no_links);
  const bool has_hard_links = !no_links;  // not on exFAT

  for (int cut = 0; cut <= operations; ++cut) {
    for (bool power_loss : {false, true}) {
      for (bool backup_by_moving : {false, true}) {
        FaultyFileSystem file_system;
        file_system.backup_by_moving = backup_by_moving;
        RewriteCrashingAt(cut, file_system);
        if (power_loss) file_system.LoseUnsyncedWrites();
        const std::string outcome = Outcome();
        const std::string before =
            cut == 0 ? "start" : "after " + counter.operations()[static_cast<std::size_t>(cut - 1)];
        std::cout << GetParam().label << (backup_by_moving ? ", no hard links" : "") << ": crash "
                  << (power_loss ? "and power loss " : "") << "at operation " << cut << " ("
                  << before << "): " << outcome << "\n";
        SCOPED_TRACE("cut " + std::to_string(cut) + (power_loss ? " with power loss" : "") +
                     (backup_by_moving ? " without hard links" : ""));
        EXPECT_FALSE(outcome.empty());
        // Only where the old file is moved to the backup does its name go
        // missing for a moment.
        EXPECT_TRUE(backup_by_moving || !has_hard_links || !outcome.starts_with("none"));
        ExpectReopenAndModifyToLoseNothing();
      }
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
