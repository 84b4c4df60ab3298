// What the Windows file system must get right beneath the rewrite.
#include <windows.h>

#include <gtest/gtest.h>

#include "support/task_file_bytes.h"
#include "taskfile/address_rewrite.h"
#include "taskfile/long_path_win32.h"
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

// Windows refuses both before anything is touched; the rewrite must too,
// even where Wine would let a privileged user write a read-only file.
// The download manager keeps its task file open and writes its progress
// into it: while it does, whatever it lets others share, the rewrite is
// refused and what it writes stays. A reader that shares all stops nothing.
TEST_F(FileSystemWin32, LeavesAFileThatIsReadOnlyOrHeldForWritingAlone) {
  const DWORD all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  const std::optional<ErrorKind> in_use = ErrorKind::kInUse;
  for (auto [access, sharing, refusal] :
       {std::tuple{GENERIC_READ, DWORD{0}, in_use},
        {GENERIC_WRITE, DWORD{FILE_SHARE_READ}, in_use},
        {GENERIC_WRITE, DWORD{FILE_SHARE_READ | FILE_SHARE_WRITE}, in_use},
        {GENERIC_WRITE, all, in_use},
        {GENERIC_READ, all, std::optional<ErrorKind>()},
        {DWORD{0}, DWORD{0}, std::optional(ErrorKind::kAccessDenied)}}) {  // the file is read-only
    SCOPED_TRACE(::testing::Message() << access << " " << sharing);
    testing::WriteBytes(path_, bytes_);
    HANDLE holder =
        access ? CreateFileW(path_.c_str(), access, sharing, nullptr, OPEN_EXISTING, 0, nullptr)
               : INVALID_HANDLE_VALUE;
    if (!access) SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_READONLY);
    auto error = RewriteAddress(path_, {1, 3}, AnsiBytes("new")).error;
    DWORD written = 0;
    if (access == GENERIC_WRITE) {
      SetFilePointer(holder, 0, nullptr, FILE_END);
      WriteFile(holder, "after", 5, &written, nullptr);
    }
    CloseHandle(holder);
    SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_FALSE(std::filesystem::exists(BackupPathFor(path_)));
    if (!refusal) {
      EXPECT_FALSE(error);
      continue;
    }
    ASSERT_TRUE(error);
    EXPECT_EQ(error->step, RewriteStep::kOpenTaskFile);
    EXPECT_EQ(error->error.kind, *refusal) << error->error.system_text;
    EXPECT_EQ(testing::ReadBytes(path_), bytes_ + (written ? "after" : ""));
  }
}

// A shared folder's path keeps its server in the form without a length limit.
TEST(FileSystemWin32LongPaths, KeepASharedFoldersServer) {
  const FilePath shared = L"\\\\server\\share\\a.td.cfg";
  EXPECT_EQ(LongPathForm(shared), L"\\\\?\\UNC\\server\\share\\a.td.cfg");
  EXPECT_EQ(UsualPathForm(LongPathForm(shared)), shared);
}

// A device is no file to read, even when named like a task file.
TEST(FileSystemWin32Device, IsNoFileToRead) {
  const TaskFileContent content = ReadTaskFile(std::filesystem::path(L"NUL"));
  EXPECT_EQ(std::get<UnreadableFile>(content).error.kind, ErrorKind::kNotRegularFile);
}

}  // namespace
}  // namespace orvanta
