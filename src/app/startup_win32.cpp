#include "app/startup_win32.h"

#include <windows.h>

namespace orvanta::win32 {

bool LoadDllsFromSystemFolderOnly() {
  // Looked up, not imported: an exe that imports it would not start at all
  // where it is missing.
  using SetDirectories = BOOL(WINAPI*)(DWORD);
  auto set_directories = reinterpret_cast<SetDirectories>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
  return set_directories && set_directories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace orvanta::win32
