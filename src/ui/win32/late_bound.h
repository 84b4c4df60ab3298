// Every function Orvanta.exe takes from a system DLL when it is first called
// instead of importing it, in one list. shell32 and comdlg32 bring many more
// DLLs with them, and loading them at start made the window come up a
// quarter later; the others are missing from the oldest Windows the exe runs
// on, Windows 7 SP1, where the callers fall back. The packages' test checks
// that the exe imports none of them.
#pragma once

#include <windows.h>

#include <commdlg.h>
#include <ole2.h>
#include <shellapi.h>

#include <string>

namespace orvanta::win32 {

template <class Function>
class LateBound {
 public:
  constexpr LateBound(const wchar_t* dll, const char* name) : dll_(dll), name_(name) {}

  // Null where the system lacks it. The DLL is loaded from the system
  // folder by its full path, so that no search, however wide where Windows
  // cannot narrow it, finds one planted beside the exe; the DLLs it needs
  // in turn are looked for in the system folder first. It stays loaded.
  Function* get() {
    if (!looked_up_) {
      looked_up_ = true;
      std::wstring path(MAX_PATH, L'\0');
      path.resize(GetSystemDirectoryW(path.data(), MAX_PATH));
      HMODULE module = path.empty() ? nullptr
                                    : LoadLibraryExW((path + L"\\" + dll_).c_str(), nullptr,
                                                     LOAD_WITH_ALTERED_SEARCH_PATH);
      if (module) {
        function_ =
            reinterpret_cast<Function*>(reinterpret_cast<void*>(GetProcAddress(module, name_)));
      }
    }
    return function_;
  }

  // For tests, which read back what the program hands the system: from now
  // on get() returns `stand_in`, or, when it is null, looks the function up.
  void StandIn(Function* stand_in) {
    function_ = stand_in;
    looked_up_ = stand_in != nullptr;
  }

 private:
  const wchar_t* dll_;
  const char* name_;
  Function* function_ = nullptr;
  bool looked_up_ = false;
};

namespace late {

// Windows 8, and Windows 7 with update KB2533623.
inline LateBound<decltype(::SetDefaultDllDirectories)> SetDefaultDllDirectories{
    L"kernel32.dll", "SetDefaultDllDirectories"};

// Windows 10 1607.
inline LateBound<decltype(::GetDpiForWindow)> GetDpiForWindow{L"user32.dll", "GetDpiForWindow"};
inline LateBound<decltype(::GetDpiForSystem)> GetDpiForSystem{L"user32.dll", "GetDpiForSystem"};
inline LateBound<decltype(::AdjustWindowRectExForDpi)> AdjustWindowRectExForDpi{
    L"user32.dll", "AdjustWindowRectExForDpi"};
inline LateBound<decltype(::SystemParametersInfoForDpi)> SystemParametersInfoForDpi{
    L"user32.dll", "SystemParametersInfoForDpi"};

// OLE drags onto the boxes: ole32 brings COM with it.
inline LateBound<decltype(::OleInitialize)> OleInitialize{L"ole32.dll", "OleInitialize"};
inline LateBound<decltype(::OleUninitialize)> OleUninitialize{L"ole32.dll", "OleUninitialize"};
inline LateBound<decltype(::RegisterDragDrop)> RegisterDragDrop{L"ole32.dll", "RegisterDragDrop"};
inline LateBound<decltype(::RevokeDragDrop)> RevokeDragDrop{L"ole32.dll", "RevokeDragDrop"};
inline LateBound<decltype(::ReleaseStgMedium)> ReleaseStgMedium{L"ole32.dll", "ReleaseStgMedium"};

// Needed only once a file is dropped or the Open button is pressed.
inline LateBound<decltype(::DragQueryFileW)> DragQueryFileW{L"shell32.dll", "DragQueryFileW"};
inline LateBound<decltype(::DragFinish)> DragFinish{L"shell32.dll", "DragFinish"};
inline LateBound<decltype(::GetOpenFileNameW)> GetOpenFileNameW{L"comdlg32.dll",
                                                                "GetOpenFileNameW"};
inline LateBound<decltype(::CommDlgExtendedError)> CommDlgExtendedError{L"comdlg32.dll",
                                                                        "CommDlgExtendedError"};

}  // namespace late
}  // namespace orvanta::win32
