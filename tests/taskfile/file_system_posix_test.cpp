// What the POSIX file system must get right beneath the reader and the rewrite.
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>

#include "support/faulty_file_system.h"
#include "support/task_file_bytes.h"
#include "taskfile/address_rewrite.h"
#include "taskfile/task_file_reader.h"

namespace orvanta {
namespace {

using namespace testing;
namespace fs = std::filesystem;

// A user of this machine other than root, with the groups it may use.
struct User {
  uid_t uid = 65534;
  gid_t gid = 65534;
  std::vector<gid_t> groups;
};

const User kNobody;

// Another user's account, as on any Debian system: daemon (1), bin (2), sys (3).
User Account(const char* name, std::vector<gid_t> groups = {}) {
  const passwd* entry = getpwnam(name);
  if (!entry) return kNobody;
  return {entry->pw_uid, entry->pw_gid, std::move(groups)};
}

// Whether `check` holds when run in a child process as `user`. The child
// gives up root first, as permissions stop nobody running as root, and an
// alarm ends it after five seconds.
bool InChild(const std::function<bool()>& check, const User& user = kNobody) {
  if (fork() == 0) {
    alarm(5);
    if (geteuid() == 0 && (setgroups(user.groups.size(), user.groups.data()) != 0 ||
                           setgid(user.gid) != 0 || setuid(user.uid) != 0)) {
      _exit(1);
    }
    _exit(check() ? 0 : 1);
  }
  int status = 0;
  wait(&status);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void Append(const fs::path& path, int fd, const std::string& bytes) {
  if (fd < 0) fd = open(path.c_str(), O_WRONLY | O_APPEND);
  (void)write(fd, bytes.data(), bytes.size());
  close(fd);
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
      return unreadable && unreadable->reason == std::string("这不是普通文件（是管道或设备）");
    })) << path;
  }
}

TEST_F(FileSystemPosix, LeavesAFileInAReadOnlyFolderOrItselfReadOnlyAlone) {
  using enum fs::perms;
  const std::string in_folder = "无法在文件夹中创建文件：" + folder_.path().string() + "\n";
  for (auto [folder, file, step] : {std::tuple{owner_read | owner_exec | others_read | others_exec,
                                               all, RewriteStep::kCreateNewFile},
                                    {all, owner_read | others_read, RewriteStep::kOpenTaskFile}}) {
    WriteBytes(path_, bytes_);
    fs::permissions(path_, file);
    fs::permissions(folder_.path(), folder);
    EXPECT_TRUE(InChild([&] {
      auto error = RewriteAddress(path_, {1, 3}, "new").error;
      // A folder that refuses a new file is named, lest the file seem protected.
      return error && error->step == step &&
             error->reason.starts_with(in_folder) == (step == RewriteStep::kCreateNewFile);
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
  ASSERT_FALSE(RewriteAddress(path_, {1, 3}, "new").error);
  EXPECT_TRUE(fs::is_symlink(path_));
  EXPECT_EQ(ReadBytes(target), BuildTaskFile({.name = "n", .address = "new"}));
  EXPECT_FALSE(fs::exists(BackupPathFor(path_)) || fs::exists(BackupPathFor(target)));
  struct stat info {};
  ASSERT_EQ(stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, owner);
  EXPECT_EQ(fs::status(target).permissions(), permissions);
}

// The download manager keeps its task file open and writes its progress
// into it. While a program holds the file for writing, or writes it during
// the rewrite, the rewrite is refused and what it writes stays. A lease sees
// the holder where this user owns the file, /proc where another user does.
TEST_F(FileSystemPosix, LeavesAFileAnotherProgramWritesAlone) {
  using enum RewriteStep;
  for (auto [holder_flags, during, owned_by_daemon, refused_at] :
       {std::tuple{O_WRONLY | O_APPEND, false, false, std::optional(kOpenTaskFile)},
        {O_RDWR | O_APPEND, false, false, kOpenTaskFile},
        {O_RDONLY, false, false, std::nullopt},  // a reader stops nothing
        {-1, true, false, kCheckNotWritten},
        {O_WRONLY | O_APPEND, false, true, kOpenTaskFile}}) {
    if (owned_by_daemon && geteuid() != 0) continue;  // needs root to act as others
    SCOPED_TRACE(::testing::Message() << holder_flags << " " << owned_by_daemon);
    WriteBytes(path_, bytes_);
    if (owned_by_daemon) {
      // exFAT has no owners: another user's file cannot be made there.
      if (chown(path_.c_str(), Account("daemon").uid, Account("daemon").gid) != 0) continue;
      fs::permissions(path_, static_cast<fs::perms>(0666));
      fs::permissions(folder_.path(), fs::perms::all);
    }
    auto rewrite = [&, holder_flags = holder_flags, during = during, refused_at = refused_at] {
      const int holder = holder_flags < 0 ? -1 : open(path_.c_str(), holder_flags);
      FaultyFileSystem file_system;
      file_system.before_each = [&](const std::string& operation) {
        if (during && operation == "Sync") Append(path_, -1, "during ");
      };
      const auto error = RewriteAddress(path_, {1, 3}, "new", file_system).error;
      if (holder >= 0) Append(path_, holder, holder_flags == O_RDONLY ? "" : "after");
      if (!refused_at) return !error;
      return error && error->step == *refused_at &&
             error->reason == "任务文件正被其他程序使用，请先关闭该程序再修改。";
    };
    EXPECT_TRUE(owned_by_daemon ? InChild(rewrite, Account("bin")) : rewrite());
    EXPECT_EQ(ReadBytes(path_), !refused_at ? BuildTaskFile({.name = "n", .address = "new"})
                                            : bytes_ + (during ? "during " : "after"));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_.path()), {}), 1);
  }
}

// In a folder shared by a group, the new file keeps the task file's group
// and mode, and is refused where its owner or group would lose access; in a
// folder where only owners replace files (sticky, like /tmp), another's file
// is refused before anything is touched.
TEST_F(FileSystemPosix, KeepsASharedTaskFileOpenToThoseWhoHadIt) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as other users";
  const User owner = Account("daemon"), group_member = Account("bin", {owner.gid}),
             outsider_group = Account("sys", {Account("bin").gid});
  const auto rw = static_cast<fs::perms>(0660), everyone = static_cast<fs::perms>(0666);
  for (auto [label, folder_mode, file_gid, file_mode, modifier, refusal] :
       {std::tuple{"group-shared", static_cast<fs::perms>(0770), owner.gid, rw, group_member, ""},
        {"owner outside the group", static_cast<fs::perms>(0777), Account("bin").gid, rw,
         outsider_group, "任务文件属于其他用户，修改后它的所有者或同组用户将无法再读写它。"},
        {"sticky folder", static_cast<fs::perms>(01777), owner.gid, everyone, group_member,
         "任务文件属于其他用户，而它所在的文件夹只允许文件的所有者替换文件。"}}) {
    SCOPED_TRACE(label);
    for (const auto& entry : fs::directory_iterator(folder_.path())) fs::remove(entry.path());
    WriteBytes(path_, bytes_);
    ASSERT_EQ(chown(path_.c_str(), owner.uid, file_gid), 0);
    fs::permissions(path_, file_mode);
    ASSERT_EQ(chown(folder_.path().c_str(), 0, owner.gid), 0);
    fs::permissions(folder_.path(), folder_mode);
    EXPECT_TRUE(InChild(
        [&] {
          auto error = RewriteAddress(path_, {1, 3}, "new").error;
          return *refusal ? error && error->reason == refusal : !error;
        },
        modifier));
    struct stat info {};
    ASSERT_EQ(stat(path_.c_str(), &info), 0);
    EXPECT_EQ(info.st_gid, file_gid);
    EXPECT_EQ(fs::status(path_).permissions(), file_mode);
    EXPECT_EQ(ReadBytes(path_), *refusal ? bytes_ : BuildTaskFile({.name = "n", .address = "new"}));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_.path()), {}), 1);
  }
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
