#include "app/startup_win32.h"

#include "ui/win32/late_bound.h"

namespace orvanta::win32 {

void LoadDllsFromSystemFolderOnly() {
  // Looked up, not imported: an exe that imports it would not start at all
  // where it is missing.
  auto* set_directories = late::SetDefaultDllDirectories.get();
  if (set_directories && set_directories(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
  // The most that Windows 7 without its update can do: the current folder,
  // often the Downloads folder too, leaves the search.
  SetDllDirectoryW(L"");
}

}  // namespace orvanta::win32
