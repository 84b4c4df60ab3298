#include "taskfile/unicode_text.h"

#include <cstdint>

namespace orvanta {
namespace {

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Decodes the sequence at the start of `text`; `size` is set to the bytes it
// takes, 1 for a byte that starts no well-formed sequence.
char32_t DecodeOne(std::string_view text, std::size_t& size) {
  auto lead = static_cast<unsigned char>(text[0]);
  size = 1;
  if (lead < 0x80) return lead;

  std::size_t length = 0;
  char32_t value = 0, minimum = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, value = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, value = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, value = lead & 0x07, minimum = 0x10000;
  } else {
    return kReplacementCharacter;
  }
  if (text.size() < length) return kReplacementCharacter;
  for (std::size_t i = 1; i < length; ++i) {
    auto byte = static_cast<unsigned char>(text[i]);
    if (!IsContinuation(byte)) return kReplacementCharacter;
    value = (value << 6) | (byte & 0x3F);
  }
  bool surrogate = value >= 0xD800 && value <= 0xDFFF;
  if (value < minimum || value > 0x10FFFF || surrogate) return kReplacementCharacter;
  size = length;
  return value;
}

void AppendUtf8(char32_t c, std::string& out) {
  if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = kReplacementCharacter;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::u32string Utf8ToCodePoints(std::string_view text) {
  std::u32string out;
  out.reserve(text.size());
  while (!text.empty()) {
    std::size_t size = 0;
    out += DecodeOne(text, size);
    text.remove_prefix(size);
  }
  return out;
}

std::string CodePointsToUtf8(std::u32string_view code_points) {
  std::string out;
  out.reserve(code_points.size());
  for (char32_t c : code_points) AppendUtf8(c, out);
  return out;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char32_t c : Utf8ToCodePoints(text)) {
    if (c < 0x10000) {
      out += static_cast<char16_t>(c);
    } else {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    bool high = c >= 0xD800 && c <= 0xDBFF;
    if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    AppendUtf8(c, out);  // a lone surrogate turns into U+FFFD there
  }
  return out;
}

// Built from the system's own kind of string, so that no locale converts
// anything: UTF-8 on POSIX, UTF-16 on Windows.
FilePath PathFromUtf8(std::string_view text) {
  using Native = FilePath::string_type;
  if constexpr (sizeof(Native::value_type) == sizeof(char16_t)) {
    std::u16string wide = Utf8ToUtf16(text);
    return Native(wide.begin(), wide.end());
  } else {
    return Native(text.begin(), text.end());
  }
}

std::string PathToUtf8(const FilePath& path) {
  const auto& native = path.native();
  if constexpr (sizeof(native[0]) == sizeof(char16_t)) {
    return Utf16ToUtf8(std::u16string(native.begin(), native.end()));
  } else {
    return std::string(native.begin(), native.end());
  }
}

}  // namespace orvanta
