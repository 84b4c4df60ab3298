// What the Windows file system must get right beneath the rewrite.
#include <windows.h>

#include <gtest/gtest.h>

#include "support/task_file_bytes.h"
#include "taskfile/address_rewrite.h"
#include "taskfile/reasons.h"
#include "taskfile/task_file_reader.h"

namespace orvanta {
namespace {

class FileSystemWin32 : public ::testing::Test {
 protected:
  void SetUp() override { testing::WriteBytes(path_, bytes_); }

  testing::TempFolder folder_;
  // Hangul has no place in code page 936: only a wide-character path reaches it.
  const std::filesystem::path path_ = folder_ / "다운로드.td.cfg";
  const std::string bytes_ = testing::BuildTaskFile({.name = "n", .address = "old"});
};

TEST_F(FileSystemWin32, KeepsAHiddenFileWithAnyNameHidden) {
  ASSERT_TRUE(SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_HIDDEN));
  ASSERT_FALSE(RewriteAddress(path_, 1, 3, "new").error);
  EXPECT_EQ(std::get<TaskRecord>(ReadTaskFile(path_)).AddressText, "new");
  EXPECT_TRUE(GetFileAttributesW(path_.c_str()) & FILE_ATTRIBUTE_HIDDEN);
}

// Windows refuses both before anything is touched; the rewrite must too,
// even where Wine would let a privileged user write a read-only file.
TEST_F(FileSystemWin32, LeavesALockedOrReadOnlyFileAlone) {
  for (bool locked : {true, false}) {
    const DWORD sharing = locked ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE lock = CreateFileW(path_.c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING, 0, {});
    if (!locked) SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_READONLY);
    auto error = RewriteAddress(path_, 1, 3, "new").error;
    CloseHandle(lock);
    SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(error) << locked;
    EXPECT_EQ(error->step, RewriteStep::kOpenTaskFile);
    EXPECT_EQ(testing::ReadBytes(path_), bytes_);
    EXPECT_FALSE(std::filesystem::exists(BackupPathFor(path_)));
  }
}

// A device is no file to read, even when named like a task file.
TEST(FileSystemWin32Device, IsNoFileToRead) {
  const TaskFileContent content = ReadTaskFile(std::filesystem::path(L"NUL"));
  EXPECT_EQ(std::get<UnreadableFile>(content).Reason, reason::kNotRegularFile);
}

}  // namespace
}  // namespace orvanta
