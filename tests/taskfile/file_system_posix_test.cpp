// What the POSIX file system must get right beneath the reader and the rewrite.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>

#include "support/task_file_bytes.h"
#include "taskfile/address_rewrite.h"
#include "taskfile/reasons.h"
#include "taskfile/task_file_reader.h"

namespace orvanta {
namespace {

using namespace testing;
namespace fs = std::filesystem;

// Whether `check` holds when run in a child process. The child gives up
// root first, as permissions stop nobody running as root, and an alarm ends
// it after five seconds.
bool InChild(const std::function<bool()>& check) {
  if (fork() == 0) {
    alarm(5);
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(1);
    _exit(check() ? 0 : 1);
  }
  int status = 0;
  wait(&status);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class FileSystemPosix : public ::testing::Test {
 protected:
  TempFolder folder_;
  const fs::path path_ = folder_ / "a.td.cfg";
  const std::string bytes_ = BuildTaskFile({.name = "n", .address = "old"});
};

// Opening one must not hang the window until something writes to it.
TEST_F(FileSystemPosix, RefusesAFifoOrADeviceAtOnce) {
  ASSERT_EQ(mkfifo(path_.c_str(), 0666), 0);
  for (const fs::path& path : {path_, fs::path("/dev/zero")}) {
    EXPECT_TRUE(InChild([&] {
      const TaskFileContent content = ReadTaskFile(path);
      auto* unreadable = std::get_if<UnreadableFile>(&content);
      return unreadable && unreadable->Reason == reason::kNotRegularFile;
    })) << path;
  }
}

TEST_F(FileSystemPosix, LeavesAFileInAReadOnlyFolderOrItselfReadOnlyAlone) {
  using enum fs::perms;
  for (auto [folder, file, step] : {std::tuple{owner_read | owner_exec | others_read | others_exec,
                                               all, RewriteStep::kCreateNewFile},
                                    {all, owner_read | others_read, RewriteStep::kOpenTaskFile}}) {
    WriteBytes(path_, bytes_);
    fs::permissions(path_, file);
    fs::permissions(folder_.path(), folder);
    EXPECT_TRUE(InChild([&] {
      auto error = RewriteAddress(path_, 1, 3, "new").error;
      return error && error->step == step;
    }));
    fs::permissions(folder_.path(), owner_all);
    EXPECT_EQ(ReadBytes(path_), bytes_);
    EXPECT_FALSE(fs::exists(BackupPathFor(path_)));
  }
}

// The download manager reads the file a link names: that file changes and
// keeps its owner and permissions, and the link stays a link. Root
// rewriting another user's file must leave it that user's.
TEST_F(FileSystemPosix, RewritesTheFileALinkNamesKeepingItsOwnerAndPermissions) {
  const fs::path target = folder_ / "elsewhere" / "real.td.cfg";
  fs::create_directory(target.parent_path());
  WriteBytes(target, bytes_);
  const auto permissions = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  fs::permissions(target, permissions);
  const uid_t owner = geteuid() == 0 ? 65534 : geteuid();
  ASSERT_EQ(chown(target.c_str(), owner, static_cast<gid_t>(-1)), 0);
  fs::create_symlink("elsewhere/real.td.cfg", path_);
  ASSERT_FALSE(RewriteAddress(path_, 1, 3, "new").error);
  EXPECT_TRUE(fs::is_symlink(path_));
  EXPECT_EQ(ReadBytes(target), BuildTaskFile({.name = "n", .address = "new"}));
  EXPECT_FALSE(fs::exists(BackupPathFor(path_)) || fs::exists(BackupPathFor(target)));
  struct stat info {};
  ASSERT_EQ(stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, owner);
  EXPECT_EQ(fs::status(target).permissions(), permissions);
}

// A backup that appeared meanwhile is never overwritten, and a replace that
// fails leaves no second name behind.
TEST_F(FileSystemPosix, ReplaceLeavesEverythingAsItWasWhenItFails) {
  const fs::path backup = folder_ / "backup", replacement = folder_ / "new";
  WriteBytes(path_, bytes_);
  for (bool backup_exists : {true, false}) {
    if (backup_exists) WriteBytes(backup, "another backup");
    EXPECT_FALSE(SystemFileSystem().ReplaceKeepingBackup(path_, replacement, backup).ok());
    EXPECT_EQ(ReadBytes(path_), bytes_);
    EXPECT_EQ(ReadBytes(backup), backup_exists ? "another backup" : "");
    fs::remove(backup);
  }
}

}  // namespace
}  // namespace orvanta
