// What Orvanta.exe does before anything else.
#pragma once

namespace orvanta::win32 {

// Lets DLLs that are loaded by name come from the system folder only, so
// that none planted beside the exe (in a Downloads folder, say) is ever
// loaded, whatever the common dialog or the shell loads later. Where Windows
// cannot restrict it (Windows 7 without its update KB2533623), only the
// current folder leaves the search; the program's own late-bound DLLs are
// loaded by full path in any case.
void LoadDllsFromSystemFolderOnly();

}  // namespace orvanta::win32
