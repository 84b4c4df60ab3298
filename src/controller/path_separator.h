#pragma once

namespace orvanta {

// "\" and "/" on Windows, "/" elsewhere.
bool IsPathSeparator(char32_t c);

}  // namespace orvanta
