// What the POSIX file system must get right beneath the reader and the rewrite.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/task_file_bytes.h"
#include "taskfile/address_rewrite.h"
#include "taskfile/reasons.h"
#include "taskfile/task_file_reader.h"

namespace orvanta {
namespace {

using namespace testing;
namespace fs = std::filesystem;

// Runs `body` in a child process and returns its exit code, 200 when it did
// not exit. The child gives up root first, as permissions stop nobody
// running as root, and an alarm ends it after five seconds.
template <class Body>
int InChild(Body body) {
  pid_t child = fork();
  if (child == 0) {
    alarm(5);
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(100);
    _exit(body());
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 200;
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
    auto refused = [&] {
      const TaskFileContent content = ReadTaskFile(path);
      auto* unreadable = std::get_if<UnreadableFile>(&content);
      return unreadable && unreadable->Reason == reason::kNotRegularFile ? 0 : 1;
    };
    EXPECT_EQ(InChild(refused), 0) << path;
  }
}

TEST_F(FileSystemPosix, KeepsTheOwnerAndPermissionsOfTheOldFile) {
  WriteBytes(path_, bytes_);
  const auto permissions = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  fs::permissions(path_, permissions);
  // Root rewriting another user's file must leave it that user's.
  const uid_t owner = geteuid() == 0 ? 65534 : geteuid();
  ASSERT_EQ(chown(path_.c_str(), owner, static_cast<gid_t>(-1)), 0);
  ASSERT_FALSE(RewriteAddress(path_, 1, 3, "new").error);
  struct stat info {};
  ASSERT_EQ(stat(path_.c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, owner);
  EXPECT_EQ(fs::status(path_).permissions(), permissions);
}

TEST_F(FileSystemPosix, LeavesAFileInAReadOnlyFolderOrItselfReadOnlyAlone) {
  using enum fs::perms;
  const struct {
    fs::perms folder, file;
    RewriteStep step;
  } cases[] = {
      {owner_read | owner_exec | others_read | others_exec, all, RewriteStep::kCreateNewFile},
      {all, owner_read | others_read, RewriteStep::kOpenTaskFile}};
  for (const auto& c : cases) {
    WriteBytes(path_, bytes_);
    fs::permissions(path_, c.file);
    fs::permissions(folder_.path(), c.folder);
    auto failed_step = [&] {
      auto error = RewriteAddress(path_, 1, 3, "new").error;
      return error ? static_cast<int>(error->step) : 99;
    };
    EXPECT_EQ(InChild(failed_step), static_cast<int>(c.step));
    fs::permissions(folder_.path(), owner_all);
    fs::permissions(path_, owner_all);
    EXPECT_EQ(ReadBytes(path_), bytes_);
    EXPECT_FALSE(fs::exists(BackupPathFor(path_)));
  }
}

// The download manager reads the file a link names: that file changes, and
// the link stays a link.
TEST_F(FileSystemPosix, RewritesTheFileASymbolicLinkNames) {
  const fs::path target = folder_ / "elsewhere" / "real.td.cfg";
  fs::create_directory(target.parent_path());
  WriteBytes(target, bytes_);
  fs::create_symlink("elsewhere/real.td.cfg", path_);
  ASSERT_FALSE(RewriteAddress(path_, 1, 3, "new").error);
  EXPECT_TRUE(fs::is_symlink(path_));
  EXPECT_EQ(ReadBytes(target), BuildTaskFile({.name = "n", .address = "new"}));
  EXPECT_FALSE(fs::exists(BackupPathFor(path_)) || fs::exists(BackupPathFor(target)));
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
    EXPECT_EQ(fs::exists(backup) ? ReadBytes(backup) : "", backup_exists ? "another backup" : "");
    fs::remove(backup);
  }
}

}  // namespace
}  // namespace orvanta
