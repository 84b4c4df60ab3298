// Conversion between the program's UTF-8 text and the ANSI code page the
// task files are written in: the system's on Windows, 936 elsewhere.
#pragma once

#include <string>
#include <string_view>

namespace orvanta {

// Every byte that does not start a character of the code page becomes one
// U+FFFD; the bytes after it are decoded afresh.
std::string AnsiBytesToText(std::string_view bytes);

struct AnsiEncoding {
  std::string bytes;
  // Each character that became "?", once, in the order of first use.
  std::u32string unencodable;
};

// Every character the code page cannot represent exactly (no look-alike
// stands in) becomes one "?". Malformed UTF-8 counts as such a character,
// one for each bad byte.
AnsiEncoding EncodeAnsi(std::string_view text);

inline std::string TextToAnsiBytes(std::string_view text) { return EncodeAnsi(text).bytes; }

}  // namespace orvanta
