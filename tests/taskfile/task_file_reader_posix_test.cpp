#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/task_file_bytes.h"
#include "taskfile/reasons.h"
#include "taskfile/task_file_reader.h"

namespace orvanta {
namespace {

// Reads `path` in a child that an alarm ends after five seconds: the
// reader must answer at once. True when it refused the path as no file.
bool RefusedAtOnce(const std::filesystem::path& path) {
  pid_t child = fork();
  if (child == 0) {
    alarm(5);
    const TaskFileContent content = ReadTaskFile(path);
    auto* unreadable = std::get_if<UnreadableFile>(&content);
    _exit(unreadable && unreadable->Reason == reason::kNotRegularFile ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(ReadTaskFilePosix, RefusesAFifoOrADeviceAtOnce) {
  testing::TempFolder folder;
  const std::filesystem::path fifo = folder / "x.td.cfg";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_TRUE(RefusedAtOnce(fifo));
  EXPECT_TRUE(RefusedAtOnce("/dev/zero"));
}

}  // namespace
}  // namespace orvanta
