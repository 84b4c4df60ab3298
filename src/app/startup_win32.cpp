#include "app/startup_win32.h"

#include "ui/win32/late_bound.h"

namespace orvanta::win32 {

bool LoadDllsFromSystemFolderOnly() {
  // Looked up, not imported: an exe that imports it would not start at all
  // where it is missing. kernel32 is loaded in every process.
  auto* set_directories = late::SetDefaultDllDirectories.get();
  return set_directories && set_directories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace orvanta::win32
