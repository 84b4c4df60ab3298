#include "startup_time.h"

#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

namespace orvanta::bench {
namespace {

std::string TitleOf(Display* display, Window window) {
  unsigned char* data = nullptr;
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  XGetWindowProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False), 0, 256, False,
                     XInternAtom(display, "UTF8_STRING", False), &type, &format, &count, &after,
                     &data);
  std::string title(data ? reinterpret_cast<char*>(data) : "", data ? count : 0);
  if (data) XFree(data);
  return title;
}

// A window may go while it is watched: requests about it fail, harmlessly.
int IgnoreError(Display*, XErrorEvent*) { return 0; }

}  // namespace

pid_t StartInBackground(const std::vector<std::string>& command) {
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

void EndGroup(pid_t leader) {
  kill(-leader, SIGTERM);
  for (int tries = 0; tries < 100; ++tries, usleep(20'000)) {
    if (waitpid(leader, nullptr, WNOHANG) == leader) return;
  }
  kill(-leader, SIGKILL);
  waitpid(leader, nullptr, 0);
}

std::optional<double> MillisecondsToWindow(const std::vector<std::string>& command,
                                           const std::string& title) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) return std::nullopt;
  XSetErrorHandler(IgnoreError);
  XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
  XSync(display, False);
  std::optional<double> shown;
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = StartInBackground(command);
  while (!shown && std::chrono::steady_clock::now() - start < std::chrono::seconds(10)) {
    if (!XPending(display)) {
      pollfd ready{ConnectionNumber(display), POLLIN, 0};
      poll(&ready, 1, 20);
      continue;
    }
    XEvent event;
    XNextEvent(display, &event);
    if (event.type == MapNotify && TitleOf(display, event.xmap.window).starts_with(title)) {
      shown = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                  .count();
    }
  }
  EndGroup(child);
  XCloseDisplay(display);
  return shown;
}

}  // namespace orvanta::bench
