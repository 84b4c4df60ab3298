#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "controller/task_controller.h"
#include "support/task_file_bytes.h"
#include "taskfile/unicode_text.h"

namespace orvanta {
namespace {

// Only messages matter here.
class MessageView final : public TaskView {
 public:
  std::string message;
  void SetAddressText(const std::string&) override {}
  void SetNewAddressText(const std::string&) override {}
  std::string GetNewAddressText() override { return ""; }
  void SetTaskNameText(const std::string&) override {}
  void SetModifyEnabled(bool) override {}
  void ShowMessage(const std::string& text) override { message = text; }
  std::optional<std::string> ChooseTaskFile() override { return std::nullopt; }
};

// Opening `path` must answer at once: it runs in a child that an alarm ends
// after five seconds. Returns the message shown, or "hung".
std::string MessageForOpening(const std::string& path) {
  int pipe_ends[2];
  if (pipe(pipe_ends) != 0) return "no pipe";
  pid_t child = fork();
  if (child == 0) {
    alarm(5);
    MessageView view;
    TaskController(view).OpenGivenFiles({path});
    (void)!write(pipe_ends[1], view.message.data(), view.message.size());
    _exit(0);
  }
  close(pipe_ends[1]);
  std::string message;
  char buffer[256];
  for (ssize_t got; (got = read(pipe_ends[0], buffer, sizeof buffer)) > 0;)
    message.append(buffer, got);
  close(pipe_ends[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return WIFSIGNALED(status) ? "hung" : message;
}

TEST(TaskControllerPosix, RefusesAFifoOrADeviceAtOnce) {
  testing::TempFolder folder;
  const std::filesystem::path fifo = folder / "x.td.cfg";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string refused = "无法读取文件！\n这不是普通文件（是管道或设备）";
  EXPECT_EQ(MessageForOpening(PathToUtf8(fifo)), refused);
  EXPECT_EQ(MessageForOpening("/dev/zero"), refused);
}

}  // namespace
}  // namespace orvanta
