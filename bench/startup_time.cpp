#include "startup_time.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>

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

// Windows come and go while they are watched: a request about one that has
// gone fails, harmlessly.
int IgnoreError(Display*, XErrorEvent*) { return 0; }

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

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
  for (int tries = 0; tries < 100; ++tries) {
    if (waitpid(leader, nullptr, WNOHANG) == leader) return;
    usleep(20'000);
  }
  kill(-leader, SIGKILL);
  waitpid(leader, nullptr, 0);
}

std::optional<StartupTimes> TimeStartup(const std::vector<std::string>& command,
                                        const std::string& title) {
  Display* display = XOpenDisplay(nullptr);
  int damage_event = 0, damage_error = 0;
  if (!display || !XDamageQueryExtension(display, &damage_event, &damage_error)) {
    if (display) XCloseDisplay(display);
    return std::nullopt;
  }
  XSetErrorHandler(IgnoreError);
  XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
  XSync(display, False);

  // Every new top-level window is watched for drawing from its creation on,
  // so that no paint can come before the watch.
  std::map<Window, Damage> watched;
  Window target = None;
  StartupTimes times;
  bool painted = false;
  const auto start = Clock::now();
  const pid_t child = StartInBackground(command);
  while (!painted && Clock::now() - start < std::chrono::seconds(10)) {
    if (!XPending(display)) {
      pollfd ready{ConnectionNumber(display), POLLIN, 0};
      poll(&ready, 1, 20);
      continue;
    }
    XEvent event;
    XNextEvent(display, &event);
    if (event.type == CreateNotify) {
      watched[event.xcreatewindow.window] =
          XDamageCreate(display, event.xcreatewindow.window, XDamageReportNonEmpty);
    } else if (event.type == MapNotify && target == None &&
               TitleOf(display, event.xmap.window).starts_with(title)) {
      target = event.xmap.window;
      times.shown_ms = MillisecondsSince(start);
    } else if (event.type == damage_event + XDamageNotify) {
      const auto& damage = reinterpret_cast<const XDamageNotifyEvent&>(event);
      if (target != None && damage.drawable == target) {
        times.painted_ms = MillisecondsSince(start);
        painted = true;
      }
      XDamageSubtract(display, damage.damage, None, None);
    }
  }
  EndGroup(child);
  XCloseDisplay(display);  // destroys the damage objects with the connection
  if (!painted) return std::nullopt;
  return times;
}

}  // namespace orvanta::bench
