// Functions of system DLLs that start-up does not need, loaded when first
// called: shell32 and comdlg32 bring many more DLLs with them, and loading
// them at start made the window come up a quarter later.
#pragma once

#include <windows.h>

namespace orvanta::win32 {

// `Function` named `name` in the system DLL `dll`, or null when it cannot be
// had. The DLL stays loaded.
template <class Function>
Function* SystemFunction(const wchar_t* dll, const char* name) {
  HMODULE module = LoadLibraryW(dll);
  if (!module) return nullptr;
  return reinterpret_cast<Function*>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace orvanta::win32
