#include "startup_time.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

namespace orvanta::bench {
namespace {

using Clock = std::chrono::steady_clock;

std::string TitleOf(Display* display, Window window) {
  Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
  Atom net_name = XInternAtom(display, "_NET_WM_NAME", False);
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::string title;
  if (XGetWindowProperty(display, window, net_name, 0, 256, False, utf8, &type, &format, &count,
                         &after, &data) == Success &&
      data) {
    title.assign(reinterpret_cast<char*>(data), count);
    XFree(data);
  }
  char* name = nullptr;
  if (title.empty() && XFetchName(display, window, &name) && name) {
    title = name;
    XFree(name);
  }
  return title;
}

pid_t Start(const std::vector<std::string>& command) {
  pid_t child = fork();
  if (child != 0) return child;
  setpgid(0, 0);  // so that the program and all it starts end together
  int quiet = open("/dev/null", O_WRONLY);
  dup2(quiet, STDOUT_FILENO);
  dup2(quiet, STDERR_FILENO);
  std::vector<char*> argv;
  for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  execvp(argv[0], argv.data());
  _exit(127);
}

void End(pid_t child) {
  kill(-child, SIGTERM);
  for (int tries = 0; tries < 100; ++tries) {
    if (waitpid(child, nullptr, WNOHANG) == child) return;
    usleep(20'000);
  }
  kill(-child, SIGKILL);
  waitpid(child, nullptr, 0);
}

}  // namespace

std::optional<double> MillisecondsToWindow(const std::vector<std::string>& command,
                                           const std::string& title) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) return std::nullopt;
  XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
  XSync(display, False);

  const auto start = Clock::now();
  const pid_t child = Start(command);
  std::optional<double> milliseconds;
  while (!milliseconds && Clock::now() - start < std::chrono::seconds(10)) {
    if (!XPending(display)) {
      pollfd ready{ConnectionNumber(display), POLLIN, 0};
      poll(&ready, 1, 50);
      continue;
    }
    XEvent event;
    XNextEvent(display, &event);
    if (event.type == MapNotify && TitleOf(display, event.xmap.window).starts_with(title)) {
      milliseconds = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    }
  }
  End(child);
  XCloseDisplay(display);
  return milliseconds;
}

}  // namespace orvanta::bench
