#include "taskfile/address_rewrite.h"

#include <gtest/gtest.h>

#include "support/faulty_file_system.h"
#include "support/task_file_bytes.h"
#include "taskfile/task_file_reader.h"
#include "taskfile/unicode_text.h"

namespace orvanta {
namespace {

using testing::BuildTaskFile;
using testing::FaultyFileSystem;
using testing::ReadBytes;
using testing::TaskFileParts;
using testing::WriteBytes;
namespace fs = std::filesystem;

class AddressRewrite : public ::testing::Test {
 protected:
  // Writes the task file, and `left_over` as its backup unless empty, then
  // rewrites it with the lengths it was built with.
  RewriteReport Rewrite(const TaskFileParts& parts, const std::string& address,
                        FileSystem& file_system = SystemFileSystem(),
                        const std::string& left_over = "") {
    for (const auto& entry : fs::directory_iterator(folder_.path())) fs::remove(entry.path());
    WriteBytes(path_, BuildTaskFile(parts));
    if (!left_over.empty()) WriteBytes(BackupPathFor(path_), left_over);
    auto name_length = parts.name_length.value_or(static_cast<std::int32_t>(parts.name.size()));
    auto address_length = static_cast<std::int32_t>(parts.address.size());
    return RewriteAddress(path_, name_length, address_length, address, file_system);
  }

  std::string Address() const { return std::get<TaskRecord>(ReadTaskFile(path_)).AddressText; }
  long FilesInFolder() const { return std::distance(fs::directory_iterator(folder_.path()), {}); }

  testing::TempFolder folder_;
  const fs::path path_ = folder_ / "任务.zip.td.cfg";
};

TEST_F(AddressRewrite, ChangesOnlyTheAddressInEveryLayout) {
  for (const auto& [label, parts] : testing::TaskFileLayouts()) {
    for (const std::string address : {"http://n/123", "", "http://h/\xCE\xC4\xBC\xFE"}) {
      SCOPED_TRACE(std::string(label) + " to \"" + address + "\"");
      ASSERT_FALSE(Rewrite(parts, address).error);
      TaskFileParts expected = parts;
      expected.address = address;
      EXPECT_EQ(ReadBytes(path_), BuildTaskFile(expected));
      EXPECT_EQ(FilesInFolder(), 1);  // no backup, no new file left
    }
  }
}

// A backup left by an earlier change that was cut short goes only when it
// holds nothing that is not in the task file; a new file left by one
// always goes.
TEST_F(AddressRewrite, KeepsALeftOverBackupOnlyWhenItHoldsAnotherTask) {
  const TaskFileParts parts{.name = "n", .address = "old", .remainder = "r"};
  const std::string other_task = BuildTaskFile({.name = "n", .address = "earlier"});
  const struct {
    const char* label;
    std::string left_over;
    bool kept;
  } cases[] = {
      {"not a task file", "left over from an earlier run", false},
      {"a torn task file", other_task.substr(0, other_task.size() - 4), false},
      {"the task file again", BuildTaskFile(parts), false},
      {"another whole task", other_task, true},
  };
  auto numbered = [&](const char* number) { return BackupPathFor(path_) += PathFromUtf8(number); };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    for (const auto& entry : fs::directory_iterator(folder_.path())) fs::remove(entry.path());
    WriteBytes(numbered(".1"), "a backup kept before");
    WriteBytes(TemporaryPathFor(path_), "half of an earlier rewrite");
    WriteBytes(BackupPathFor(path_), c.left_over);
    auto name_length = static_cast<std::int32_t>(parts.name.size());
    WriteBytes(path_, BuildTaskFile(parts));
    RewriteReport report = RewriteAddress(path_, name_length, 3, "new");
    ASSERT_FALSE(report.error);
    EXPECT_EQ(Address(), "new");
    EXPECT_EQ(ReadBytes(numbered(".1")), "a backup kept before");
    EXPECT_EQ(report.kept_backup, c.kept ? numbered(".2") : FilePath());
    EXPECT_EQ(c.kept ? ReadBytes(numbered(".2")) : c.left_over, c.left_over);
    EXPECT_EQ(FilesInFolder(), c.kept ? 3 : 2);
  }
}

TEST_F(AddressRewrite, RefusesAFileThatChangedOrWentSinceItWasLoaded) {
  const std::string others[] = {
      BuildTaskFile({.name = "other", .address = "address"}),               // NameLength differs
      BuildTaskFile({.name = "name", .address = "address!"}),               // AddressLength differs
      BuildTaskFile({.name = "name", .address = "address"}).substr(0, 25),  // cut short
      "not a task file at all",
      "",  // removed
  };
  for (const std::string& now : others) {
    for (const auto& entry : fs::directory_iterator(folder_.path())) fs::remove(entry.path());
    if (!now.empty()) WriteBytes(path_, now);
    auto error = RewriteAddress(path_, 4, 7, "new").error;
    ASSERT_TRUE(error);
    EXPECT_EQ(error->step, now.empty() ? RewriteStep::kOpenTaskFile : RewriteStep::kCheckUnchanged);
    EXPECT_FALSE(error->reason.empty());
    EXPECT_EQ(FilesInFolder(), now.empty() ? 0 : 1);
    EXPECT_EQ(now.empty() ? now : ReadBytes(path_), now);
  }
}

// Which step a failure of each file operation is reported as, by the order
// in which the rewrite uses them.
RewriteStep ExpectedStep(const std::vector<std::string>& operations) {
  const std::string& failed = operations.back();
  bool created = std::count(operations.begin(), operations.end(), "CreateNew") > 0;
  if (failed.starts_with("ReplaceKeepingBackup")) return RewriteStep::kReplaceTaskFile;
  if (failed == "Sync" || failed == "Close" || failed == "SyncFolderOf") {
    return RewriteStep::kFlushNewFile;
  }
  if (failed == "CreateNew") return RewriteStep::kCreateNewFile;
  if (created) return RewriteStep::kCopyContent;
  if (failed == "RenameReplacing" || failed == "Remove") return RewriteStep::kSetAsideOldBackup;
  return RewriteStep::kOpenTaskFile;
}

TEST_F(AddressRewrite, LeavesTheOldFileWhicheverOperationFails) {
  const std::string other_task = BuildTaskFile({.name = "x", .address = "earlier"});
  const struct {
    TaskFileParts parts;
    std::string left_over_backup;  // none when empty
  } cases[] = {
      {{.name = "name", .address = "old", .remainder = testing::PatternBytes(2'500'000)}, ""},
      {{.name_length = -3, .address = "old"}, ""},
      {{.name = "n", .address = "old"}, "not a task file"},
      {{.name = "n", .address = "old"}, other_task},
  };
  for (const auto& c : cases) {
    FaultyFileSystem counter;
    ASSERT_FALSE(Rewrite(c.parts, "new", counter, c.left_over_backup).error);
    const int operation_count = static_cast<int>(counter.operations().size());

    for (int failing = 0; failing < operation_count; ++failing) {
      SCOPED_TRACE("operation " + std::to_string(failing) + ": " + counter.operations()[failing]);
      FaultyFileSystem faulty;
      faulty.fail_at = failing;
      RewriteReport report = Rewrite(c.parts, "new", faulty, c.left_over_backup);
      // A left-over backup that was set aside survives whatever fails.
      if (!report.kept_backup.empty()) {
        EXPECT_EQ(ReadBytes(report.kept_backup), c.left_over_backup);
        fs::remove(report.kept_backup);
      }
      if (!report.error) {
        // Two failures leave the change done: removing the backup at the
        // very end, and reading a left-over backup, which is then kept.
        EXPECT_TRUE(failing == operation_count - 1 || !report.kept_backup.empty());
        EXPECT_EQ(Address(), "new");
        continue;
      }
      std::vector<std::string> tried(faulty.operations().begin(),
                                     faulty.operations().begin() + failing + 1);
      EXPECT_EQ(report.error->step, ExpectedStep(tried));
      EXPECT_TRUE(report.error->restored);
      EXPECT_EQ(report.error->reason.substr(0, 16), "injected failure");
      EXPECT_EQ(ReadBytes(path_), BuildTaskFile(c.parts));
      // Nothing left beside it but what was there before.
      const bool backup = fs::exists(BackupPathFor(path_));
      EXPECT_EQ(backup ? ReadBytes(BackupPathFor(path_)) : c.left_over_backup, c.left_over_backup);
      EXPECT_EQ(FilesInFolder(), backup ? 2 : 1);
    }
  }
}

TEST_F(AddressRewrite, KeepsTheOldContentInTheBackupWhenRestoringFails) {
  const TaskFileParts parts{.name = "n", .address = "old", .remainder = "r"};
  FaultyFileSystem counter;
  ASSERT_FALSE(Rewrite(parts, "new", counter).error);
  // Flushing the folder fails after the replace; then the restore's rename
  // cannot happen either.
  const auto& operations = counter.operations();
  FaultyFileSystem faulty;
  faulty.crash_at = static_cast<int>(
      std::find(operations.begin(), operations.end(), "SyncFolderOf") - operations.begin());
  auto error = Rewrite(parts, "new", faulty).error;
  ASSERT_TRUE(error);
  EXPECT_FALSE(error->restored);
  EXPECT_EQ(error->backup, BackupPathFor(path_));
  EXPECT_EQ(ReadBytes(BackupPathFor(path_)), BuildTaskFile(parts));
}

}  // namespace
}  // namespace orvanta
