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

#include <cstring>
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

TEST_F(FileSystemPosix, LeavesAFileInAReadOnlyFolderOrItselfReadOnlyAlone) {
  using enum fs::perms;
  for (auto [folder, file, step] : {std::tuple{owner_read | owner_exec | others_read | others_exec,
                                               all, RewriteStep::kCreateNewFile},
                                    {all, owner_read | others_read, RewriteStep::kOpenTaskFile}}) {
    WriteBytes(path_, bytes_);
    if (geteuid() == 0) {
      ASSERT_EQ(chown(path_.c_str(), kNobody.uid, kNobody.gid), 0);
    }
    fs::permissions(path_, file);
    fs::permissions(folder_.path(), folder);
    EXPECT_TRUE(InChild([&] {
      auto error = RewriteAddress(path_, {1, 3}, AnsiBytes("new")).error;
      // A folder that refuses a new file is named, lest the file seem protected.
      return error && error->step == step && error->error.kind == ErrorKind::kAccessDenied &&
             (step != RewriteStep::kCreateNewFile || error->error.subject == folder_.path());
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
  ASSERT_FALSE(RewriteAddress(path_, {1, 3}, AnsiBytes("new")).error);
  EXPECT_TRUE(fs::is_symlink(path_));
  EXPECT_EQ(ReadBytes(target), BuildTaskFile({.name = "n", .address = "new"}));
  EXPECT_FALSE(fs::exists(BackupPathFor(path_)) || fs::exists(BackupPathFor(target)));
  struct stat info {};
  ASSERT_EQ(stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, owner);
  EXPECT_EQ(fs::status(target).permissions(), permissions);
}

// The download manager keeps its task file open and writes its progress in
// place. A program that has the file open for writing when the rewrite
// starts, or opens it for writing before the new content is in place and
// durable, keeps its file and finds what it writes there: the rewrite is
// refused. Readers, and programs that hold only a read lease, stop nothing.
// Where it cannot be known whether a program writes (another user's file,
// whose holders this user cannot see), the rewrite is refused too.
TEST_F(FileSystemPosix, LeavesAFileAnotherProgramWritesAlone) {
  const auto in_use = ErrorKind::kInUse, unknown = ErrorKind::kWritersUnknown;
  struct Row {
    const char* label;
    int flags;         // how the other program opens the file; -1: it does not
    const char* when;  // the rewrite's operation before which it opens; "": before the rewrite
    int lease;         // the lease it holds; -1: none
    bool daemons_file;
    std::optional<ErrorKind> refusal;
  };
  const Row rows[] = {
      {"writer", O_WRONLY, "", -1, false, in_use},
      {"reader and writer", O_RDWR, "", -1, false, in_use},
      {"reader", O_RDONLY, "", -1, false, {}},
      {"file server reading", O_RDONLY, "", F_RDLCK, false, {}},
      {"file server writing", O_RDWR, "", F_WRLCK, false, in_use},
      {"opens to write during the copy", O_RDWR, "ReadAt", -1, false, in_use},
      {"opens to write before the copy is durable", O_WRONLY, "CheckNoWriter", -1, false, in_use},
      {"opens to write once the copy has the name", O_RDWR, "SyncFolderOf", -1, false, in_use},
      {"writer of another user's file", O_WRONLY, "", -1, true, in_use},
      {"another user's file", -1, "", -1, true, unknown},
  };
  std::string written = bytes_;
  written.replace(written.size() - 3, 3, "OLD");  // progress, in place: the size stays
  for (const Row& row : rows) {
    if (row.daemons_file && geteuid() != 0) continue;  // needs root to act as others
    SCOPED_TRACE(row.label);
    WriteBytes(path_, bytes_);
    if (row.daemons_file) {
      // exFAT has no owners: another user's file cannot be made there.
      if (chown(path_.c_str(), Account("daemon").uid, Account("daemon").gid) != 0) continue;
      fs::permissions(path_, static_cast<fs::perms>(0666));
      fs::permissions(folder_.path(), fs::perms::all);
    }
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
          if (fcntl(holder, F_SETLEASE, row.lease) != 0) return;
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
    EXPECT_TRUE(row.daemons_file ? InChild(rewrite, Account("bin")) : rewrite());
    const std::string expected = row.refusal
                                     ? row.flags >= 0 ? written : bytes_
                                     : BuildTaskFile({.name = "n", .address = "new"});
    EXPECT_EQ(ReadBytes(path_), expected);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_.path()), {}), 1);
  }
}

// A new file must leave the task file to the same people. Another user's
// file is refused before anything is touched: where the new file would take
// away its owner's or group's access, where the folder lets only owners
// replace files (sticky, like /tmp), and otherwise as this user cannot see
// whether that user's programs write it. The owner's own file keeps its
// group, or is refused where the owner may not give it that group.
TEST_F(FileSystemPosix, KeepsASharedTaskFileOpenToThoseWhoHadIt) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as other users";
  const User daemon = Account("daemon"), bin = Account("bin"),
             bin_in_daemons_group = Account("bin", {daemon.gid}),
             sys_in_bins_group = Account("sys", {bin.gid});
  const auto rw = static_cast<fs::perms>(0660), everyone = static_cast<fs::perms>(0666);
  struct Row {
    const char* label;
    int folder_mode;
    User owner;
    gid_t file_gid;
    fs::perms file_mode;
    User modifier;
    std::optional<ErrorKind> refusal;
  };
  const Row rows[] = {
      {"another's, group-shared", 0770, daemon, daemon.gid, rw, bin_in_daemons_group,
       ErrorKind::kWritersUnknown},
      {"another's, owner outside the group", 0777, daemon, bin.gid, rw, sys_in_bins_group,
       ErrorKind::kOwnerWouldLoseAccess},
      {"another's, sticky folder", 01777, daemon, daemon.gid, everyone, bin_in_daemons_group,
       ErrorKind::kOwnedByOtherInStickyFolder},
      {"own, group kept", 0777, bin_in_daemons_group, daemon.gid, rw, bin_in_daemons_group, {}},
      {"own, of a group the owner is not in", 0777, bin, daemon.gid, rw, bin,
       ErrorKind::kGroupWouldLoseAccess},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    for (const auto& entry : fs::directory_iterator(folder_.path())) fs::remove(entry.path());
    WriteBytes(path_, bytes_);
    ASSERT_EQ(chown(path_.c_str(), row.owner.uid, row.file_gid), 0);
    fs::permissions(path_, row.file_mode);
    ASSERT_EQ(chown(folder_.path().c_str(), 0, daemon.gid), 0);
    fs::permissions(folder_.path(), static_cast<fs::perms>(row.folder_mode));
    EXPECT_TRUE(InChild(
        [&] {
          auto error = RewriteAddress(path_, {1, 3}, AnsiBytes("new")).error;
          return row.refusal ? error && error->error.kind == row.refusal : !error;
        },
        row.modifier));
    struct stat info {};
    ASSERT_EQ(stat(path_.c_str(), &info), 0);
    EXPECT_EQ(info.st_gid, row.file_gid);
    EXPECT_EQ(fs::status(path_).permissions(), row.file_mode);
    EXPECT_EQ(ReadBytes(path_),
              row.refusal ? bytes_ : BuildTaskFile({.name = "n", .address = "new"}));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_.path()), {}), 1);
  }
}

// An access control list that lets one more user write the task file, and
// the attributes programs keep beside its bytes, stay with it; a list the
// new file inherits from its folder does not stay where the task had none.
TEST_F(FileSystemPosix, CarriesTheAccessListAndAttributesOver) {
  // Version 2, then (tag, permissions, id) for each entry, in tag order:
  // the owner, the user bin, the owning group, the mask, the others.
  auto entry = [](std::uint16_t tag, std::uint16_t perms, std::uint32_t id) {
    std::string bytes(8, '\0');
    std::memcpy(bytes.data(), &tag, 2);
    std::memcpy(bytes.data() + 2, &perms, 2);
    std::memcpy(bytes.data() + 4, &id, 4);
    return bytes;
  };
  const std::uint32_t none = 0xFFFFFFFF;
  const std::string acl = std::string("\2\0\0\0", 4) + entry(0x01, 6, none) +
                          entry(0x02, 6, Account("bin").uid) + entry(0x04, 4, none) +
                          entry(0x10, 6, none) + entry(0x20, 4, none);
  const std::string default_acl = std::string("\2\0\0\0", 4) + entry(0x01, 7, none) +
                                  entry(0x02, 7, Account("sys").uid) + entry(0x04, 5, none) +
                                  entry(0x10, 7, none) + entry(0x20, 5, none);
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
