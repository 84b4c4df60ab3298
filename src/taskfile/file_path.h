// How the program holds a file's path. On POSIX it is std::filesystem::path.
// On Windows it is the UTF-16 string Windows takes, with the few operations
// the program needs: std::filesystem::path would bring all of libstdc++'s
// locales into the static exe, more than half of its size.
#pragma once

#ifdef _WIN32
#include "taskfile/file_path_win32.h"
#else
#include <filesystem>

namespace orvanta {
using FilePath = std::filesystem::path;
inline constexpr char kPathSeparators[] = "/";
}  // namespace orvanta
#endif
