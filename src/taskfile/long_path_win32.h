// Paths past Windows' old limit of 260 characters.
#pragma once

#include <string>

#include "taskfile/file_path.h"

namespace orvanta {

// The form of `path` that Windows' wide file functions take at any length
// the file system allows: "\\?\C:\..." for a drive path and
// "\\?\UNC\server\share\..." for a shared folder, a relative path made full
// first. Device paths ("\\.\", or "NUL", which becomes "\\.\NUL") and paths
// already in that form stay as they are.
std::wstring LongPathForm(const FilePath& path);

// The usual form of a path Windows hands back in the long one
// (GetFinalPathNameByHandleW): "C:\..." and "\\server\share\...", so that
// messages show what users know; any other path as it is.
FilePath UsualPathForm(const std::wstring& path);

}  // namespace orvanta
