#include "taskfile/address_rewrite.h"

#include <gtest/gtest.h>

#include "support/faulty_file_system.h"
#include "support/task_file_bytes.h"
#include "taskfile/task_file_layout.h"
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

class AddressRewrite : public ::testing::Test {
 protected:
  // Writes the task file and rewrites it with the lengths it was built with.
  std::optional<RewriteError> Rewrite(const TaskFileParts& parts, const std::string& address,
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
      Rewrite({.name = "name", .address = old_address, .remainder = remainder}, new_address));

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
  ASSERT_FALSE(Rewrite(c.parts, c.new_address));

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

TEST_F(AddressRewrite, ReplacesAndRemovesABackupLeftOver) {
  WriteBytes(BackupPathFor(path_), "left over from an earlier run");
  ASSERT_FALSE(Rewrite({.name = "n", .address = "old"}, "new"));
  EXPECT_EQ(std::get<TaskRecord>(ReadTaskFile(path_)).AddressText, "new");
  EXPECT_FALSE(BackupExists());
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
    auto error = RewriteAddress(path_, 4, 7, "new");
    ASSERT_TRUE(error);
    EXPECT_EQ(error->step, RewriteStep::kCheckUnchanged);
    EXPECT_EQ(ReadBytes(path_), now);
    EXPECT_FALSE(BackupExists());
  }
}

TEST_F(AddressRewrite, ReportsAFileRemovedSinceItWasLoaded) {
  auto error = RewriteAddress(path_, 0, 3, "new");
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
  bool renamed = std::count(operations.begin(), operations.end(), "RenameReplacing") > 0;
  if (!renamed && failed != "RenameReplacing") return RewriteStep::kOpenTaskFile;
  if (failed == "RenameReplacing") return RewriteStep::kMoveToBackup;
  if (failed == "CreateNew") return RewriteStep::kCreateTaskFile;
  if (failed == "Sync" || failed == "Close" || failed == "SyncFolderOf") {
    return RewriteStep::kFlushTaskFile;
  }
  return RewriteStep::kCopyContent;
}

TEST_F(AddressRewrite, LeavesTheOldFileWhicheverOperationFails) {
  for (const TaskFileParts& parts : std::initializer_list<TaskFileParts>{
           {.name = "name", .address = "old", .remainder = PatternBytes(2'500'000)},
           {.name_length = -3, .address = "old"}}) {
    WriteBytes(path_, BuildTaskFile(parts));
    FaultyFileSystem counter;
    ASSERT_FALSE(Rewrite(parts, "new", counter));
    const int operation_count = static_cast<int>(counter.operations().size());

    for (int failing = 0; failing < operation_count; ++failing) {
      SCOPED_TRACE("operation " + std::to_string(failing) + ": " + counter.operations()[failing]);
      FaultyFileSystem faulty;
      faulty.fail_at = failing;
      auto error = Rewrite(parts, "new", faulty);
      std::vector<std::string> tried(faulty.operations().begin(),
                                     faulty.operations().begin() + failing + 1);

      if (failing == operation_count - 1) {
        // Only removing the backup is left: the new file is whole and stays.
        ASSERT_EQ(tried.back(), "Remove");
        EXPECT_FALSE(error);
        EXPECT_EQ(std::get<TaskRecord>(ReadTaskFile(path_)).AddressText, "new");
        std::filesystem::remove(BackupPathFor(path_));
        continue;
      }
      ASSERT_TRUE(error);
      EXPECT_EQ(error->step, ExpectedStep(tried));
      EXPECT_TRUE(error->restored);
      EXPECT_EQ(error->reason.substr(0, 16), "injected failure");
      EXPECT_EQ(ReadBytes(path_), BuildTaskFile(parts));
      EXPECT_FALSE(BackupExists());
      EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_.path()), {}), 1);
    }
  }
}

TEST_F(AddressRewrite, KeepsTheOldContentInTheBackupWhenRestoringFails) {
  const TaskFileParts parts{.name = "n", .address = "old", .remainder = "r"};
  FaultyFileSystem counter;
  ASSERT_FALSE(Rewrite(parts, "new", counter));
  // Fail the first Append, then crash: the restore's rename cannot happen.
  const auto& operations = counter.operations();
  int append = static_cast<int>(std::find(operations.begin(), operations.end(), "Append") -
                                operations.begin());

  FaultyFileSystem faulty;
  faulty.crash_at = append;
  auto error = Rewrite(parts, "new", faulty);
  ASSERT_TRUE(error);
  EXPECT_FALSE(error->restored);
  EXPECT_EQ(ReadBytes(BackupPathFor(path_)), BuildTaskFile(parts));
}

}  // namespace
}  // namespace orvanta
