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
  ASSERT_FALSE(RewriteAddress(path_, 1, 3, "new").error);
  EXPECT_EQ(std::get<TaskRecord>(ReadTaskFile(path_)).AddressText, "new");
}

TEST_F(AddressRewriteWin32, LeavesAFileLockedByAnotherProgramAlone) {
  HANDLE lock = CreateFileW(path_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  auto error = RewriteAddress(path_, 1, 3, "new").error;
  CloseHandle(lock);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->step, RewriteStep::kOpenTaskFile);
  EXPECT_EQ(ReadBytes(path_), bytes_);
  EXPECT_FALSE(std::filesystem::exists(BackupPathFor(path_)));
}

TEST_F(AddressRewriteWin32, LeavesAReadOnlyFileAlone) {
  ASSERT_TRUE(SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_READONLY));
  auto error = RewriteAddress(path_, 1, 3, "new").error;
  SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->step, RewriteStep::kOpenTaskFile);
  EXPECT_EQ(ReadBytes(path_), bytes_);
}

TEST_F(AddressRewriteWin32, KeepsAHiddenFileHidden) {
  ASSERT_TRUE(SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_HIDDEN));
  ASSERT_FALSE(RewriteAddress(path_, 1, 3, "new").error);
  EXPECT_TRUE(GetFileAttributesW(path_.c_str()) & FILE_ATTRIBUTE_HIDDEN);
}

TEST_F(AddressRewriteWin32, KeepsTheCreationTime) {
  const FILETIME created{0x12345678, 0x01C00000};  // in 2000
  HANDLE file =
      CreateFileW(path_.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(SetFileTime(file, &created, nullptr, nullptr));
  CloseHandle(file);
  WIN32_FILE_ATTRIBUTE_DATA data{};
  ASSERT_TRUE(GetFileAttributesExW(path_.c_str(), GetFileExInfoStandard, &data));
  if (data.ftCreationTime.dwHighDateTime != created.dwHighDateTime) {
    GTEST_SKIP() << "this file system keeps no creation time of its own";
  }
  ASSERT_FALSE(RewriteAddress(path_, 1, 3, "new").error);
  ASSERT_TRUE(GetFileAttributesExW(path_.c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(data.ftCreationTime.dwHighDateTime, created.dwHighDateTime);
  EXPECT_EQ(data.ftCreationTime.dwLowDateTime, created.dwLowDateTime);
}

TEST_F(AddressRewriteWin32, RewritesTheFileASymbolicLinkNames) {
  const std::filesystem::path target = folder_ / "real.td.cfg";
  WriteBytes(target, bytes_);
  const std::filesystem::path link = folder_ / "link.td.cfg";
  // Wine 8 answers success but makes no link.
  if (!CreateSymbolicLinkW(link.c_str(), target.c_str(), 0) ||
      GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES) {
    GTEST_SKIP() << "no symbolic links here";
  }
  auto error = RewriteAddress(link, 1, 3, "new").error;
  ASSERT_FALSE(error) << error->reason;
  EXPECT_TRUE(GetFileAttributesW(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
  EXPECT_EQ(std::get<TaskRecord>(ReadTaskFile(target)).AddressText, "new");
}

}  // namespace
}  // namespace orvanta
