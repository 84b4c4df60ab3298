// The Linux program as a whole, started as a file manager starts it.
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/task_file_bytes.h"

namespace orvanta {
namespace {

using namespace testing;

// "Open with" hands the file over as an argument, its name as the bytes it
// has on disk. The window has no way in from here, so the file's own events
// show that the program read it.
TEST(Program, ReadsTheFileItIsStartedWith) {
  TempFolder folder;
  const std::string path = folder.MakeTaskFile("下载.td.cfg");
  const int events = inotify_init1(IN_NONBLOCK);
  ASSERT_GE(inotify_add_watch(events, path.c_str(), IN_ACCESS), 0);
  const pid_t program = fork();
  if (program == 0) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    execl(ORVANTA_PROGRAM, ORVANTA_PROGRAM, path.c_str(), nullptr);
    _exit(127);
  }
  pollfd read_seen{events, POLLIN, 0};
  EXPECT_EQ(poll(&read_seen, 1, 20'000), 1) << "not read within 20 seconds";
  kill(program, SIGTERM);
  waitpid(program, nullptr, 0);
  close(events);
}

}  // namespace
}  // namespace orvanta
