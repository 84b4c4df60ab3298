// Conversion between the program's UTF-8 text and the ANSI code page the
// task files are written in: the system's on Windows, 936 elsewhere.
#pragma once

#include <string>
#include <string_view>
#include <utility>

namespace orvanta {

// Text as a task file stores it: bytes of the ANSI code page, which UTF-8
// text is not. Made by EncodeAnsi, or, explicitly, from bytes known to be
// such; never from the program's text by accident.
class AnsiBytes {
 public:
  AnsiBytes() = default;
  explicit AnsiBytes(std::string bytes) : bytes_(std::move(bytes)) {}

  const std::string& bytes() const { return bytes_; }
  std::size_t size() const { return bytes_.size(); }
  friend bool operator==(const AnsiBytes&, const AnsiBytes&) = default;

 private:
  std::string bytes_;
};

// Every byte that does not start a character of the code page becomes one
// U+FFFD; the bytes after it are decoded afresh.
std::string AnsiBytesToText(std::string_view bytes);

struct AnsiEncoding {
  AnsiBytes bytes;
  // Each character that became "?", once, in the order of first use.
  std::u32string unencodable;
};

// Every character the code page cannot represent exactly (no look-alike
// stands in) becomes one "?". Malformed UTF-8 counts as such a character,
// one for each bad byte.
AnsiEncoding EncodeAnsi(std::string_view text);

inline AnsiBytes TextToAnsiBytes(std::string_view text) { return EncodeAnsi(text).bytes; }

}  // namespace orvanta
