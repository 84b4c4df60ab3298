// The Windows program: one window, open until the user closes it.
#include <windows.h>

#include <commctrl.h>

#include "ui/win32/form1.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  auto form = orvanta::win32::Form1::Create(instance);
  if (!form) return 1;
  ShowWindow(form->hwnd(), show);
  UpdateWindow(form->hwnd());

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (form->HandleDialogKeys(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}
