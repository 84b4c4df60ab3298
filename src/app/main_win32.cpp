// The Windows program: one window, open until the user closes it.
#include <windows.h>

#include <commctrl.h>

#include <cstdlib>

#include <string>
#include <vector>

#include "app/startup_win32.h"
#include "ui/win32/form1.h"
#include "ui/win32/wide_text.h"

namespace {

// The files dropped on the exe or handed over by "Open with", as the C
// runtime split the UTF-16 command line (by CommandLineToArgvW's rules,
// without loading shell32), so that any name arrives whole; the program's
// own path left out.
std::vector<std::string> ArgumentsAsUtf8() {
  std::vector<std::string> paths;
  for (int i = 1; i < __argc; ++i) paths.push_back(orvanta::win32::Narrow(__wargv[i]));
  return paths;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  orvanta::win32::LoadDllsFromSystemFolderOnly();
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  auto form = orvanta::win32::Form1::Create(instance);
  if (!form) return 1;
  form->WhenClosed([] { PostQuitMessage(0); });
  ShowWindow(form->hwnd(), show);
  UpdateWindow(form->hwnd());
  form->OpenGivenFiles(ArgumentsAsUtf8());

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (form->HandleDialogKeys(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}
