// What a real rewrite asks of the system, recorded below the file system
// layer: the calls it makes to these functions reach the ones defined here,
// which write them down and pass them on. Only their order shows that the
// content would survive a power cut.
#include <dlfcn.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/task_file_bytes.h"
#include "taskfile/address_rewrite.h"

namespace {

std::vector<std::string>* journal = nullptr;  // written while set

std::string PathOf(int fd) {
  std::string path(4096, '\0');
  const ssize_t length =
      readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path.data(), path.size());
  path.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
  return path;
}

template <class Function>
Function* Next(const char* name) {
  return reinterpret_cast<Function*>(dlsym(RTLD_NEXT, name));
}

void Note(const std::string& call) {
  if (journal) journal->push_back(call);
}

}  // namespace

extern "C" {
int fsync(int fd) {
  Note("fsync " + PathOf(fd));
  return Next<int(int)>("fsync")(fd);
}
int rename(const char* from, const char* to) noexcept {
  Note("rename " + std::string(from) + " " + to);
  return Next<int(const char*, const char*)>("rename")(from, to);
}
int link(const char* from, const char* to) noexcept {
  Note("link " + std::string(from) + " " + to);
  return Next<int(const char*, const char*)>("link")(from, to);
}
int unlink(const char* path) noexcept {
  Note("unlink " + std::string(path));
  return Next<int(const char*)>("unlink")(path);
}
}

namespace orvanta {
namespace {

using namespace testing;

// The new file is flushed before it takes the task file's name, and the
// folder after that and before the backup, the old content's last other
// name, goes.
TEST(SystemCallsPosix, FlushTheNewFileBeforeTheRenameAndTheFolderBeforeTheBackupGoes) {
  TempFolder folder;
  const std::string task = folder.MakeTaskFile("a.td.cfg", {.name = "n", .address = "old"});
  const std::string temporary = TemporaryPathFor(task), backup = BackupPathFor(task);
  std::vector<std::string> calls;
  journal = &calls;
  const RewriteReport report = RewriteAddress(task, {1, 3}, AnsiBytes("new"));
  journal = nullptr;
  ASSERT_FALSE(report.error);
  EXPECT_THAT(calls, ::testing::ElementsAre("fsync " + temporary, "link " + task + " " + backup,
                                            "rename " + temporary + " " + task,
                                            "fsync " + folder.path().string(), "unlink " + backup));
}

}  // namespace
}  // namespace orvanta
