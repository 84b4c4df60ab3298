// What the POSIX file system must get right beneath the reader and the rewrite.
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>

#include "support/faulty_file_system.h"
#include "support/task_file_bytes.h"
#include "taskfile/address_rewrite.h"
#include "taskfile/reasons.h"
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

// Runs `holder` in a child process that stops at `Go()` until told to go on,
// as a program that keeps a file open does; `Finish()` waits for its end.
class OtherProgram {
 public:
  explicit OtherProgram(const std::function<void(OtherProgram&)>& holder) {
    if (pipe(ready_) != 0 || pipe(go_) != 0) return;
    child_ = fork();
    if (child_ == 0) {
      alarm(5);
      holder(*this);
      _exit(0);
    }
    char byte;
    (void)read(ready_[0], &byte, 1);
  }
  // In the child: says it is ready, then waits for the word.
  void Go() {
    char byte = 0;
    (void)write(ready_[1], &byte, 1);
    (void)read(go_[0], &byte, 1);
  }
  void Finish() {
    char byte = 0;
    (void)write(go_[1], &byte, 1);
    waitpid(child_, nullptr, 0);
  }

 private:
  int ready_[2] = {-1, -1}, go_[2] = {-1, -1};
  pid_t child_ = -1;
};

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
      return unreadable && unreadable->reason == reason::kNotRegularFile;
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
// into it. A rewrite while it holds the file for writing, or that it writes
// meanwhile, is refused, and what it writes before, during and after stays.
TEST_F(FileSystemPosix, LeavesAFileAnotherProgramWritesAlone) {
  for (auto [holder_flags, during, refused_at] :
       {std::tuple{O_WRONLY | O_APPEND, false, std::optional(RewriteStep::kOpenTaskFile)},
        {O_RDWR | O_APPEND, false, RewriteStep::kOpenTaskFile},
        {O_RDONLY, false, std::nullopt},  // a reader stops nothing
        {-1, true, RewriteStep::kCheckNotWritten}}) {
    WriteBytes(path_, bytes_);
    OtherProgram holder([&](OtherProgram& self) {
      const int fd = holder_flags < 0 ? -1 : open(path_.c_str(), holder_flags);
      Append(path_, -1, "before ");
      self.Go();
      if (fd >= 0 && holder_flags != O_RDONLY) Append(path_, fd, "after");
    });
    testing::FaultyFileSystem file_system;
    file_system.before_each = [&](const std::string& operation) {
      if (during && operation == "Sync") Append(path_, -1, "during ");
    };
    const RewriteReport report = RewriteAddress(path_, {1, 3}, "new", file_system);
    holder.Finish();
    SCOPED_TRACE(holder_flags);
    if (!refused_at) {
      EXPECT_FALSE(report.error);
      continue;
    }
    ASSERT_TRUE(report.error);
    EXPECT_EQ(report.error->step, *refused_at);
    EXPECT_EQ(report.error->reason, "任务文件正被其他程序使用，请先关闭该程序再修改。");
    EXPECT_EQ(ReadBytes(path_), bytes_ + (during ? "before during " : "before after"));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_.path()), {}), 1);
  }

  // Another user's file, where no lease can be had: /proc shows the holder.
  if (geteuid() != 0) return;
  const User user = Account("bin");
  WriteBytes(path_, bytes_);
  ASSERT_EQ(chown(path_.c_str(), Account("daemon").uid, Account("daemon").gid), 0);
  fs::permissions(path_, static_cast<fs::perms>(0666));
  fs::permissions(folder_.path(), fs::perms::all);
  OtherProgram holder([&](OtherProgram& self) {
    if (setgid(user.gid) != 0 || setuid(user.uid) != 0) _exit(1);
    prctl(PR_SET_DUMPABLE, 1);  // as a program the user started: its /proc is the user's
    const int fd = open(path_.c_str(), O_WRONLY | O_APPEND);
    self.Go();
    Append(path_, fd, "after");
  });
  EXPECT_TRUE(InChild(
      [&] {
        auto error = RewriteAddress(path_, {1, 3}, "new").error;
        return error && error->reason == reason::kInUse;
      },
      user));
  holder.Finish();
  EXPECT_EQ(ReadBytes(path_), bytes_ + "after");
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
