// UTF-8, the program's text, to and from UTF-16, the text of Windows' W
// functions.
#pragma once

#include <string>
#include <string_view>

#include "taskfile/unicode_text.h"

namespace orvanta::win32 {

inline std::wstring Widen(std::string_view text) {
  std::u16string wide = Utf8ToUtf16(text);
  return std::wstring(wide.begin(), wide.end());
}

inline std::string Narrow(std::wstring_view text) {
  return Utf16ToUtf8(
      std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

}  // namespace orvanta::win32
