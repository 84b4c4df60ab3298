#include <windows.h>

#include <algorithm>

#include "taskfile/ansi_text.h"
#include "taskfile/unicode_text.h"

namespace orvanta {
namespace {

// Decodes exactly `size` bytes as whole characters; false when they are not.
bool DecodeExactly(const char* bytes, int size, std::u16string& out) {
  wchar_t wide[8];
  int count = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes, size, wide, 8);
  if (count <= 0) return false;
  out.append(reinterpret_cast<const char16_t*>(wide), static_cast<std::size_t>(count));
  return true;
}

int MaxCharSize() {
  CPINFO info{};
  return GetCPInfo(CP_ACP, &info) ? static_cast<int>(info.MaxCharSize) : 2;
}

}  // namespace

std::string AnsiBytesToText(std::string_view bytes) {
  // Without MB_ERR_INVALID_CHARS Windows would turn bad bytes into "?" or
  // drop them, so each character is taken as the shortest run of bytes that
  // decodes, and a byte that starts none becomes U+FFFD.
  const int max_size = MaxCharSize();
  std::u16string text;
  text.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    int size = 1;
    int room = static_cast<int>(std::min<std::size_t>(bytes.size() - i, max_size));
    while (size <= room && !DecodeExactly(bytes.data() + i, size, text)) ++size;
    if (size > room) {
      text += u'\uFFFD';
      size = 1;
    }
    i += static_cast<std::size_t>(size);
  }
  return Utf16ToUtf8(text);
}

AnsiEncoding EncodeAnsi(std::string_view text) {
  // The UTF-8 code page takes neither flags nor a default character.
  const bool utf8 = GetACP() == CP_UTF8;
  AnsiEncoding result;
  std::string bytes;
  char encoded[8];
  // One character at a time, so each one without an exact mapping becomes
  // one "?": WC_NO_BEST_FIT_CHARS keeps Windows from picking a look-alike.
  for (char32_t c : Utf8ToCodePoints(text)) {
    std::u16string wide = Utf8ToUtf16(CodePointsToUtf8(std::u32string_view(&c, 1)));
    BOOL used_default = FALSE;
    int size = c == kReplacementCharacter
                   ? 0
                   : WideCharToMultiByte(CP_ACP, utf8 ? 0 : WC_NO_BEST_FIT_CHARS,
                                         reinterpret_cast<const wchar_t*>(wide.data()),
                                         static_cast<int>(wide.size()), encoded, sizeof encoded,
                                         nullptr, utf8 ? nullptr : &used_default);
    if (size <= 0 || used_default) {
      bytes += '?';
      if (result.unencodable.find(c) == std::u32string::npos) result.unencodable += c;
    } else {
      bytes.append(encoded, static_cast<std::size_t>(size));
    }
  }
  result.bytes = AnsiBytes(std::move(bytes));
  return result;
}

}  // namespace orvanta
