// Start-up, timed from outside the program on the X display ($DISPLAY).
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace orvanta::bench {

// Starts `command`, waits for the first top-level window whose title begins
// with `title` to be mapped, then ends it. Milliseconds, or nothing when no
// such window came in ten seconds.
std::optional<double> MillisecondsToWindow(const std::vector<std::string>& command,
                                           const std::string& title);

// Starts `command` in a process group of its own, its output thrown away.
pid_t StartInBackground(const std::vector<std::string>& command);
void EndGroup(pid_t leader);

}  // namespace orvanta::bench
