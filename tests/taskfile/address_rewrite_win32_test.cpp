#include <windows.h>

#include <gtest/gtest.h>

#include "support/task_file_bytes.h"
#include "taskfile/address_rewrite.h"
#include "taskfile/task_file_reader.h"

namespace orvanta {
namespace {

using testing::BuildTaskFile;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

class AddressRewriteWin32 : public ::testing::Test {
 protected:
  void SetUp() override { WriteBytes(path_, bytes_); }

  TempFolder folder_;
  // Hangul has no place in code page 936: only a wide-character path reaches it.
  const std::filesystem::path path_ = folder_ / "다운로드.td.cfg";
  const std::string bytes_ = BuildTaskFile({.name = "n", .address = "old", .remainder = "r"});
};

TEST_F(AddressRewriteWin32, WorksOnNamesOutsideTheAnsiCodePage) {
  ASSERT_FALSE(RewriteAddress(path_, 1, 3, "new"));
  EXPECT_EQ(std::get<TaskRecord>(ReadTaskFile(path_)).AddressText, "new");
}

TEST_F(AddressRewriteWin32, LeavesAFileLockedByAnotherProgramAlone) {
  HANDLE lock = CreateFileW(path_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  auto error = RewriteAddress(path_, 1, 3, "new");
  CloseHandle(lock);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->step, RewriteStep::kOpenTaskFile);
  EXPECT_EQ(ReadBytes(path_), bytes_);
  EXPECT_FALSE(std::filesystem::exists(BackupPathFor(path_)));
}

TEST_F(AddressRewriteWin32, LeavesAReadOnlyFileAlone) {
  ASSERT_TRUE(SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_READONLY));
  auto error = RewriteAddress(path_, 1, 3, "new");
  SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->step, RewriteStep::kOpenTaskFile);
  EXPECT_EQ(ReadBytes(path_), bytes_);
}

TEST_F(AddressRewriteWin32, KeepsAHiddenFileHidden) {
  ASSERT_TRUE(SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_HIDDEN));
  ASSERT_FALSE(RewriteAddress(path_, 1, 3, "new"));
  EXPECT_TRUE(GetFileAttributesW(path_.c_str()) & FILE_ATTRIBUTE_HIDDEN);
}

}  // namespace
}  // namespace orvanta
