// What the POSIX file system must get right beneath the reader and the rewrite.
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
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
      return unreadable && unreadable->error.kind == ErrorKind::kNotRegularFile;
    })) << path;
  }
}

// Who may change the task file, and when another program stops it: the
// download manager writes its progress in place into the file it holds open,
// so a program with the file open for writing, when the rewrite starts or
// before the new content is durable under the name, keeps its file. A new
// file must leave the task file to the same people, and root's rewrite
// leaves another user's file that user's. Rows with other users need root.
TEST_F(FileSystemPosix, LeavesTheFileAloneWhereItMayNotOrMustNotChange) {
  const User me{geteuid(), getegid(), {}}, daemon = Account("daemon"), bin = Account("bin"),
             bin_in_daemons_group = Account("bin", {daemon.gid}),
             sys_in_bins_group = Account("sys", {bin.gid});
  struct Row {
    const char* label;
    int folder_mode, file_mode;
    User owner;
    gid_t group;
    User modifier;
    int flags;         // how the other program opens the file; -1: it does not
    const char* when;  // the rewrite's operation before which it opens; "": before the rewrite
    int lease;         // the lease it holds; -1: none
    std::optional<ErrorKind> refusal;
  };
  using enum ErrorKind;
  const Row rows[] = {
      {"read-only folder", 0555, 0777, kNobody, kNobody.gid, kNobody, -1, "", -1, kAccessDenied},
      {"read-only file", 0777, 0444, kNobody, kNobody.gid, kNobody, -1, "", -1, kAccessDenied},
      {"writer", 0700, 0644, me, me.gid, me, O_WRONLY, "", -1, kInUse},
      {"reader and writer", 0700, 0644, me, me.gid, me, O_RDWR, "", -1, kInUse},
      {"reader", 0700, 0644, me, me.gid, me, O_RDONLY, "", -1, {}},
      {"file server reading", 0700, 0644, me, me.gid, me, O_RDONLY, "", F_RDLCK, {}},
      {"file server writing", 0700, 0644, me, me.gid, me, O_RDWR, "", F_WRLCK, kInUse},
      {"opens to write during the copy", 0700, 0644, me, me.gid, me, O_RDWR, "ReadAt", -1, kInUse},
      {"opens to write before the copy is durable", 0700, 0644, me, me.gid, me, O_WRONLY,
       "CheckNoWriter", -1, kInUse},
      {"opens to write once the copy has the name", 0700, 0644, me, me.gid, me, O_RDWR,
       "SyncFolderOf", -1, kInUse},
      {"writer of another user's file", 0777, 0666, daemon, daemon.gid, bin, O_WRONLY, "", -1,
       kInUse},
      {"another user's file", 0777, 0666, daemon, daemon.gid, bin, -1, "", -1, kWritersUnknown},
      {"another's, group-shared", 0770, 0660, daemon, daemon.gid, bin_in_daemons_group, -1, "", -1,
       kWritersUnknown},
      {"another's, owner outside the group", 0777, 0660, daemon, bin.gid, sys_in_bins_group, -1, "",
       -1, kOwnerWouldLoseAccess},
      {"another's, sticky folder", 01777, 0666, daemon, daemon.gid, bin_in_daemons_group, -1, "",
       -1, kOwnedByOtherInStickyFolder},
      {"own, group kept", 0777, 0660, bin_in_daemons_group, daemon.gid, bin_in_daemons_group, -1,
       "", -1, {}},
      {"own, of a group the owner is not in", 0777, 0660, bin, daemon.gid, bin, -1, "", -1,
       kGroupWouldLoseAccess},
      {"root, another user's file", 0777, 0640, daemon, daemon.gid, me, -1, "", -1, {}},
  };
  std::string written = bytes_;
  written.replace(written.size() - 3, 3, "OLD");  // progress, in place: the size stays
  // exFAT and NTFS through ntfs-3g keep neither owners nor permissions.
  WriteBytes(path_, bytes_);
  struct stat info {};
  const bool has_permissions = chmod(path_.c_str(), 0604) == 0 &&
                               stat(path_.c_str(), &info) == 0 && (info.st_mode & 0777) == 0604;
  for (const Row& row : rows) {
    const bool as_others = row.owner.uid != me.uid || row.modifier.uid != me.uid;
    if ((as_others || row.refusal == kAccessDenied) && (me.uid != 0 || !has_permissions)) continue;
    SCOPED_TRACE(row.label);
    for (const auto& entry : fs::directory_iterator(folder_.path())) {
      fs::remove(entry.path());
    }
    WriteBytes(path_, bytes_);
    if (has_permissions && me.uid == 0) {
      ASSERT_EQ(chown(path_.c_str(), row.owner.uid, row.group), 0);
      ASSERT_EQ(chown(folder_.path().c_str(), 0, daemon.gid), 0);
    }
    (void)chmod(path_.c_str(), static_cast<mode_t>(row.file_mode));
    (void)chmod(folder_.path().c_str(), static_cast<mode_t>(row.folder_mode));
    auto rewrite = [&] {
      // Asked to write while the rewrite holds its lease, the program waits
      // (here: fails at once, as a non-blocking open does) until it goes.
      // It looked the name up before the rewrite began; it may open the file
      // only after the name went to the new one.
      const int looked_up = open(path_.c_str(), O_PATH);
      const std::string old_file = "/proc/self/fd/" + std::to_string(looked_up);
      int holder = -1;
      auto open_holder = [&] {
        holder = open(old_file.c_str(), row.flags | O_NONBLOCK);
        if (holder >= 0 && row.lease >= 0) {
          (void)fcntl(holder, F_SETSIG, SIGURG);  // a break must not end the test
          (void)fcntl(holder, F_SETLEASE, row.lease);
        }
      };
      if (*row.when == '\0' && row.flags >= 0) open_holder();
      FaultyFileSystem file_system;
      file_system.before_each = [&](const std::string& operation) {
        if (holder < 0 && operation == row.when) open_holder();
      };
      const auto error = RewriteAddress(path_, {1, 3}, AnsiBytes("new"), file_system).error;
      if (row.lease >= 0) (void)fcntl(holder, F_SETLEASE, F_UNLCK);
      if (row.flags != O_RDONLY && row.flags >= 0) {
        if (holder < 0) holder = open(old_file.c_str(), row.flags);
        (void)pwrite(holder, "OLD", 3, static_cast<off_t>(bytes_.size() - 3));
      }
      close(holder);
      close(looked_up);
      return row.refusal ? error && error->error.kind == row.refusal : !error;
    };
    EXPECT_TRUE(InChild(rewrite, row.modifier));
    (void)chmod(folder_.path().c_str(), 0700);
    const bool wrote = row.flags >= 0 && row.flags != O_RDONLY;
    EXPECT_EQ(ReadBytes(path_), row.refusal ? wrote ? written : bytes_
                                            : BuildTaskFile({.name = "n", .address = "new"}));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_.path()), {}), 1);
    ASSERT_EQ(stat(path_.c_str(), &info), 0);
    EXPECT_TRUE(!has_permissions || (info.st_uid == row.owner.uid && info.st_gid == row.group &&
                                     static_cast<int>(info.st_mode & 07777) == row.file_mode));
  }
}

// An access control list that lets one more user write the task file, and
// the attributes programs keep beside its bytes, stay with it; a list the
// new file inherits from its folder does not stay where the task had none.
TEST_F(FileSystemPosix, CarriesTheAccessListAndAttributesOver) {
  // Version 2, then (tag, permissions, id) for the owner, one more user, the
  // owning group, the mask and the others.
  auto access_list = [](std::uint16_t write, std::uint16_t read, std::uint32_t user) {
    std::string list("\2\0\0\0", 4);
    auto put = [&](auto value) {
      list.append(reinterpret_cast<const char*>(&value), sizeof value);
    };
    for (std::uint16_t tag : {0x01, 0x02, 0x04, 0x10, 0x20}) {
      put(tag), put(tag == 0x04 || tag == 0x20 ? read : write), put(tag == 2 ? user : 0xFFFFFFFF);
    }
    return list;
  };
  const std::string acl = access_list(6, 4, Account("bin").uid);
  const std::string default_acl = access_list(7, 5, Account("sys").uid);
  const std::vector<std::pair<std::string, std::string>> kept = {
      {"user.xdg.origin.url", "http://old/"}, {"system.posix_acl_access", acl}};
  auto attribute = [&](const char* name) {
    std::string value(256, '\0');
    const ssize_t size = getxattr(path_.c_str(), name, value.data(), value.size());
    value.resize(size < 0 ? 0 : static_cast<std::size_t>(size));
    return value;
  };
  for (bool with_attributes : {true, false}) {
    SCOPED_TRACE(with_attributes ? "with attributes" : "without");
    if (setxattr(folder_.path().c_str(), "system.posix_acl_default", default_acl.data(),
                 default_acl.size(), 0) != 0) {
      GTEST_SKIP() << "no access control lists here";
    }
    fs::remove(path_);
    WriteBytes(path_, bytes_);
    (void)removexattr(path_.c_str(), "system.posix_acl_access");  // the folder's
    for (const auto& [name, value] : kept) {
      if (with_attributes && setxattr(path_.c_str(), name.c_str(), value.data(), value.size(), 0)) {
        GTEST_SKIP() << "no " << name << " here";
      }
    }
    const fs::perms permissions = fs::status(path_).permissions();
    ASSERT_FALSE(RewriteAddress(path_, {1, 3}, AnsiBytes("new")).error);
    EXPECT_EQ(ReadBytes(path_), BuildTaskFile({.name = "n", .address = "new"}));
    for (const auto& [name, value] : kept) {
      EXPECT_EQ(attribute(name.c_str()), with_attributes ? value : "") << name;
    }
    EXPECT_EQ(fs::status(path_).permissions(), permissions);
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
