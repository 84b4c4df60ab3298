#include "taskfile/address_rewrite.h"

#include <gtest/gtest.h>

#include "support/faulty_file_system.h"
#include "support/task_file_bytes.h"
#include "taskfile/task_file_layout.h"
#include "taskfile/task_file_reader.h"
#include "taskfile/unicode_text.h"

namespace orvanta {
namespace {

using testing::BuildTaskFile;
using testing::FaultyFileSystem;
using testing::PatternBytes;
using testing::ReadBytes;
using testing::TaskFileParts;
using testing::TempFolder;
using testing::WriteBytes;

class AddressRewrite : public ::testing::Test {
 protected:
  // Writes the task file and rewrites it with the lengths it was built with.
  RewriteReport Rewrite(const TaskFileParts& parts, const std::string& address,
                        FileSystem& file_system = SystemFileSystem()) {
    WriteBytes(path_, BuildTaskFile(parts));
    auto name_length = parts.name_length.value_or(static_cast<std::int32_t>(parts.name.size()));
    auto address_length = static_cast<std::int32_t>(parts.address.size());
    return RewriteAddress(path_, name_length, address_length, address, file_system);
  }

  bool BackupExists() const { return std::filesystem::exists(BackupPathFor(path_)); }

  TempFolder folder_;
  const std::filesystem::path path_ = folder_ / "任务.zip.td.cfg";
};

TEST_F(AddressRewrite, PutsEveryByteWhereItBelongs) {
  const std::string old_address(30, 'o'), new_address = "http://n/123";
  const std::string remainder = PatternBytes(500);
  const std::string before =
      BuildTaskFile({.name = "name", .address = old_address, .remainder = remainder});
  ASSERT_FALSE(
      Rewrite({.name = "name", .address = old_address, .remainder = remainder}, new_address).error);

  const std::string after = ReadBytes(path_);
  ASSERT_EQ(after.size(), 4u + 22 + 12 + 500);
  EXPECT_EQ(after.substr(0, 22), before.substr(0, 22));
  EXPECT_EQ(layout::LoadInt32(after.data() + 22), 12);
  EXPECT_EQ(after.substr(26, 12), new_address);
  EXPECT_EQ(after.substr(38), remainder);
  EXPECT_FALSE(BackupExists());
}

struct RewriteCase {
  const char* label;
  TaskFileParts parts;
  std::string new_address;
};

void PrintTo(const RewriteCase& c, std::ostream* out) { *out << c.label; }

class AddressRewriteLayout : public AddressRewrite,
                             public ::testing::WithParamInterface<RewriteCase> {};

TEST_P(AddressRewriteLayout, ChangesOnlyTheAddress) {
  const RewriteCase& c = GetParam();
  ASSERT_FALSE(Rewrite(c.parts, c.new_address).error);

  TaskFileParts expected = c.parts;
  expected.address = c.new_address;
  expected.address_length.reset();
  EXPECT_EQ(ReadBytes(path_), BuildTaskFile(expected));
  EXPECT_FALSE(BackupExists());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AddressRewriteLayout,
    ::testing::Values(
        RewriteCase{"NoName", {.name_length = 0, .address = "old", .remainder = "tail"}, "new!"},
        // -1 stores no name and stays in the file as it was.
        RewriteCase{
            "NegativeNameLength", {.name_length = -1, .gap = '\xEE', .address = "old"}, "x"},
        RewriteCase{"GapByteKept", {.name = "nm", .gap = '\xEE', .address = "old"}, "longer one"},
        RewriteCase{"AddressLastInFile", {.name = "n", .address = "old address"}, "new"},
        RewriteCase{"EmptyNewAddress", {.name = "n", .address = "old", .remainder = "r"}, ""},
        RewriteCase{"EmptyOldAddress", {.name = "n", .address = "", .remainder = "r"}, "new"},
        // Longer than one copy chunk, and not a multiple of it.
        RewriteCase{"LargeRemainder",
                    {.name = "n", .address = "old", .remainder = PatternBytes(3'500'001)},
                    "new"},
        RewriteCase{"LargeName", {.name = PatternBytes(2'100'000, 7), .address = "o"}, "new"},
        RewriteCase{"Cp936Address", {.name = "n", .address = "o"}, "http://h/\xCE\xC4\xBC\xFE"}),
    [](const auto& info) { return info.param.label; });

// A backup left by an earlier change that was cut short goes only when it
// holds nothing that is not in the task file.
TEST_F(AddressRewrite, KeepsALeftOverBackupOnlyWhenItHoldsAnotherTask) {
  const TaskFileParts parts{.name = "n", .address = "old", .remainder = "r"};
  const std::string other_task =
      BuildTaskFile({.name = "n", .address = "earlier", .remainder = "r"});
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
  const std::filesystem::path taken = numbered(".1");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    WriteBytes(taken, "a backup kept before");
    WriteBytes(BackupPathFor(path_), c.left_over);
    RewriteReport report = Rewrite(parts, "new");
    ASSERT_FALSE(report.error);
    EXPECT_EQ(std::get<TaskRecord>(ReadTaskFile(path_)).AddressText, "new");
    EXPECT_FALSE(BackupExists());
    EXPECT_EQ(ReadBytes(taken), "a backup kept before");
    if (c.kept) {
      EXPECT_EQ(report.kept_backup, numbered(".2"));
      EXPECT_EQ(ReadBytes(report.kept_backup), c.left_over);
      std::filesystem::remove(report.kept_backup);
    } else {
      EXPECT_TRUE(report.kept_backup.empty());
    }
  }
}

TEST_F(AddressRewrite, RemovesANewFileLeftByAnEarlierRewrite) {
  WriteBytes(TemporaryPathFor(path_), "half of an earlier rewrite");
  ASSERT_FALSE(Rewrite({.name = "n", .address = "old"}, "new").error);
  EXPECT_EQ(std::get<TaskRecord>(ReadTaskFile(path_)).AddressText, "new");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_.path()), {}), 1);
}

TEST_F(AddressRewrite, RefusesAFileThatChangedSinceItWasLoaded) {
  const std::string loaded =
      BuildTaskFile({.name = "name", .address = "address", .remainder = "r"});
  const std::string others[] = {
      BuildTaskFile({.name = "other", .address = "address"}),  // NameLength differs
      BuildTaskFile({.name = "name", .address = "address!"}),  // AddressLength differs
      loaded.substr(0, 25),                                    // cut short
      "not a task file at all",
  };
  for (const std::string& now : others) {
    WriteBytes(path_, now);
    auto error = RewriteAddress(path_, 4, 7, "new").error;
    ASSERT_TRUE(error);
    EXPECT_EQ(error->step, RewriteStep::kCheckUnchanged);
    EXPECT_EQ(ReadBytes(path_), now);
    EXPECT_FALSE(BackupExists());
  }
}

TEST_F(AddressRewrite, ReportsAFileRemovedSinceItWasLoaded) {
  auto error = RewriteAddress(path_, 0, 3, "new").error;
  ASSERT_TRUE(error);
  EXPECT_EQ(error->step, RewriteStep::kOpenTaskFile);
  EXPECT_FALSE(error->reason.empty());
  EXPECT_FALSE(std::filesystem::exists(path_));
  EXPECT_FALSE(BackupExists());
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
      {{.name = "name", .address = "old", .remainder = PatternBytes(2'500'000)}, ""},
      {{.name_length = -3, .address = "old"}, ""},
      {{.name = "n", .address = "old"}, "not a task file"},
      {{.name = "n", .address = "old"}, other_task},
  };
  for (const auto& c : cases) {
    auto prepare = [&] {
      for (const auto& entry : std::filesystem::directory_iterator(folder_.path())) {
        std::filesystem::remove(entry.path());
      }
      if (!c.left_over_backup.empty()) WriteBytes(BackupPathFor(path_), c.left_over_backup);
    };
    prepare();
    FaultyFileSystem counter;
    ASSERT_FALSE(Rewrite(c.parts, "new", counter).error);
    const int operation_count = static_cast<int>(counter.operations().size());

    for (int failing = 0; failing < operation_count; ++failing) {
      SCOPED_TRACE("operation " + std::to_string(failing) + ": " + counter.operations()[failing]);
      prepare();
      FaultyFileSystem faulty;
      faulty.fail_at = failing;
      RewriteReport report = Rewrite(c.parts, "new", faulty);
      std::vector<std::string> tried(faulty.operations().begin(),
                                     faulty.operations().begin() + failing + 1);
      // A left-over backup that was set aside survives whatever fails.
      if (!report.kept_backup.empty()) {
        EXPECT_EQ(ReadBytes(report.kept_backup), c.left_over_backup);
        std::filesystem::remove(report.kept_backup);
      }
      if (!report.error) {
        // Two failures leave the change done: removing the backup at the
        // very end, and reading a left-over backup, which is then kept.
        EXPECT_TRUE(failing == operation_count - 1 || !report.kept_backup.empty());
        EXPECT_EQ(std::get<TaskRecord>(ReadTaskFile(path_)).AddressText, "new");
        continue;
      }
      const std::optional<RewriteError>& error = report.error;
      ASSERT_TRUE(error);
      EXPECT_EQ(error->step, ExpectedStep(tried));
      EXPECT_TRUE(error->restored);
      EXPECT_EQ(error->reason.substr(0, 16), "injected failure");
      EXPECT_EQ(ReadBytes(path_), BuildTaskFile(c.parts));
      // Nothing left beside it but what was there before.
      if (BackupExists()) {
        EXPECT_EQ(ReadBytes(BackupPathFor(path_)), c.left_over_backup);
      }
      EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_.path()), {}),
                BackupExists() ? 2 : 1);
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
