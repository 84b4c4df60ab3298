// Orvanta.exe's window built bare: the same controls from the same code and
// table, the same icon, manifest, font and colours, none of the program's
// logic. What start-up costs beyond this is the program's.
#include <windows.h>

#include <commctrl.h>

#include "ui/win32/dpi.h"
#include "ui/win32/form_controls.h"

namespace {

using namespace orvanta::win32;

FormControls controls{};
HBRUSH grey_brush = nullptr;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE: {
      const UINT dpi = DpiForWindow(window);
      grey_brush = CreateSolidBrush(kGreyColour);
      static const ScopedFont font = CreateMessageFont(dpi);
      controls = CreateFormControls(window, dpi, font.get());
      return 0;
    }
    case WM_CTLCOLOREDIT:
      if (!IsGreyBox(controls, reinterpret_cast<HWND>(lparam))) break;
      SetTextColor(reinterpret_cast<HDC>(wparam), RGB(0, 0, 0));
      SetBkColor(reinterpret_cast<HDC>(wparam), kGreyColour);
      return reinterpret_cast<LRESULT>(grey_brush);
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  INITCOMMONCONTROLSEX common{sizeof common, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&common);
  RegisterFormClass(instance, L"WindowFloor", WindowProc, FormIcon::kProgram);
  const RECT frame =
      CentredFrame(MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY), DpiForNewWindow());
  HWND window = CreateWindowExW(kFormExStyle, L"WindowFloor", L"Window floor", kFormStyle,
                                frame.left, frame.top, frame.right - frame.left,
                                frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
  ShowWindow(window, show);
  UpdateWindow(window);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  return 0;
}
