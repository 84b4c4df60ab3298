// UTF-8 helpers for text inside the program, and the one way to turn UTF-8
// into a path (FilePath(std::string) would read the ANSI code
// page on Windows).
#pragma once

#include <string>
#include <string_view>

#include "taskfile/file_path.h"

namespace orvanta {

inline constexpr char32_t kReplacementCharacter = U'\uFFFD';

// Malformed UTF-8 yields one U+FFFD for each byte that does not fit.
std::u32string Utf8ToCodePoints(std::string_view text);
std::string CodePointsToUtf8(std::u32string_view code_points);

std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);  // lone surrogates become U+FFFD

FilePath PathFromUtf8(std::string_view text);
std::string PathToUtf8(const FilePath& path);

}  // namespace orvanta
