// How long a program takes from its start to its window being mapped on the
// X display ($DISPLAY), measured from outside the program.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace orvanta::bench {

// Starts `command` and waits for the first top-level window whose title
// begins with `title` to be mapped; then ends the program. Milliseconds, or
// nothing when no such window came within ten seconds.
std::optional<double> MillisecondsToWindow(const std::vector<std::string>& command,
                                           const std::string& title);

}  // namespace orvanta::bench
