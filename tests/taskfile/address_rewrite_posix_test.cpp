#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/task_file_bytes.h"
#include "taskfile/address_rewrite.h"

namespace orvanta {
namespace {

using testing::BuildTaskFile;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

namespace fs = std::filesystem;

// Permissions stop nobody running as root, so the rewrite runs in a child
// process that gives up root first. Returns 0 for success, else 1 + step.
int RewriteAsUnprivilegedUser(const fs::path& path) {
  pid_t child = fork();
  if (child == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(100);
    auto error = RewriteAddress(path, 1, 3, "new").error;
    _exit(error ? 1 + static_cast<int>(error->step) : 0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 200;
}

class AddressRewritePosix : public ::testing::Test {
 protected:
  TempFolder folder_;
  const fs::path path_ = folder_ / "a.td.cfg";
  const std::string bytes_ = BuildTaskFile({.name = "n", .address = "old", .remainder = "r"});
};

TEST_F(AddressRewritePosix, KeepsTheOwnerAndPermissionsOfTheOldFile) {
  WriteBytes(path_, bytes_);
  fs::permissions(path_, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  // Root rewriting another user's file must leave it that user's.
  const uid_t owner = geteuid() == 0 ? 65534 : geteuid();
  ASSERT_EQ(chown(path_.c_str(), owner, static_cast<gid_t>(-1)), 0);
  ASSERT_FALSE(RewriteAddress(path_, 1, 3, "new").error);
  struct stat info {};
  ASSERT_EQ(stat(path_.c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, owner);
  EXPECT_EQ(fs::status(path_).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(AddressRewritePosix, LeavesAFileInAReadOnlyFolderOrItselfReadOnlyAlone) {
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
    EXPECT_EQ(RewriteAsUnprivilegedUser(path_), 1 + static_cast<int>(c.step));
    fs::permissions(folder_.path(), owner_all);
    fs::permissions(path_, owner_all);
    EXPECT_EQ(ReadBytes(path_), bytes_);
    EXPECT_FALSE(fs::exists(BackupPathFor(path_)));
  }
}

// The download manager reads the file a link names: that file changes, and
// the link stays a link.
TEST_F(AddressRewritePosix, RewritesTheFileASymbolicLinkNames) {
  const fs::path target = folder_ / "elsewhere" / "real.td.cfg";
  fs::create_directory(target.parent_path());
  WriteBytes(target, bytes_);
  fs::create_symlink("elsewhere/real.td.cfg", path_);
  ASSERT_FALSE(RewriteAddress(path_, 1, 3, "new").error);
  EXPECT_TRUE(fs::is_symlink(path_));
  EXPECT_EQ(ReadBytes(target), BuildTaskFile({.name = "n", .address = "new", .remainder = "r"}));
  EXPECT_FALSE(fs::exists(BackupPathFor(path_)));
  EXPECT_FALSE(fs::exists(BackupPathFor(target)));
}

}  // namespace
}  // namespace orvanta
