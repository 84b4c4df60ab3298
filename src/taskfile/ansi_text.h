// Conversion between the program's UTF-8 text and the ANSI code page the
// task files are written in: the system's on Windows, 936 elsewhere.
#pragma once

#include <string>
#include <string_view>

namespace orvanta {

// Every byte that does not start a character of the code page becomes one
// U+FFFD; the bytes after it are decoded afresh.
std::string AnsiBytesToText(std::string_view bytes);

// Every character the code page cannot represent exactly becomes one "?".
// Malformed UTF-8 counts as such a character, one for each bad byte.
std::string TextToAnsiBytes(std::string_view text);

}  // namespace orvanta
