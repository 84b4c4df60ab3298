// The open-file dialog routine: the system's dialog, GetOpenFileNameW.
#pragma once

#include <windows.h>

#include <string>

namespace orvanta::win32 {

// Shows the open-file dialog over `owner`, titled "打开文件", for one
// existing file. `filter` is pairs of description and pattern separated by
// NULs; empty offers all files. Texts are UTF-8. Returns true when a file was
// chosen, and only then sets `path` (full) and `file_title` (bare name). When
// the dialog fails for any reason but Cancel (it cannot be shown, or the
// chosen name does not fit), it says why in a message box and returns false.
bool ShowOpenDialog(HWND owner, const std::string& suggested_name, const std::string& filter,
                    std::string& path, std::string& file_title);

}  // namespace orvanta::win32
