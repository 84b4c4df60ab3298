// How long a program takes from its start to its window being shown on the
// X display ($DISPLAY), and to the window's first paint, measured from
// outside the program.
#pragma once

#include <sys/types.h>
#include <optional>
#include <string>
#include <vector>

namespace orvanta::bench {

struct StartupTimes {
  double shown_ms = 0;    // the window is mapped
  double painted_ms = 0;  // the program first draws into it (DAMAGE)
};

// Starts `command` in a process group of its own and waits for the first
// top-level window whose title begins with `title` to be mapped and then
// painted; then ends the group. Nothing when that did not happen within ten
// seconds.
std::optional<StartupTimes> TimeStartup(const std::vector<std::string>& command,
                                        const std::string& title);

// Starts `command` in a process group of its own, its output thrown away.
pid_t StartInBackground(const std::vector<std::string>& command);

// Ends the process group `StartInBackground` made.
void EndGroup(pid_t leader);

}  // namespace orvanta::bench
