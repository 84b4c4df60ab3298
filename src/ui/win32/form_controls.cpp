#include "ui/win32/form_controls.h"

#include <algorithm>

#include "ui/win32/dpi.h"
#include "ui/win32/wide_text.h"

namespace orvanta::win32 {
namespace {

struct ControlClass {
  const wchar_t* name;
  DWORD style;
  DWORD ex_style;
};

ControlClass ClassFor(const form::ControlLayout& control) {
  switch (control.kind) {
    case form::ControlKind::kLabel:
      return {L"STATIC", SS_LEFT, 0};
    case form::ControlKind::kTextBox:
      return {L"EDIT", WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN,
              WS_EX_CLIENTEDGE};
    case form::ControlKind::kButton:
      break;
  }
  return {L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, 0};
}

RECT PixelRect(const form::ControlLayout& control, UINT dpi) {
  const int scale = static_cast<int>(dpi);
  const int left = form::TwipsToPixels(control.left, scale);
  const int top = form::TwipsToPixels(control.top, scale);
  return {left, top, left + form::TwipsToPixels(control.width, scale),
          top + form::TwipsToPixels(control.height, scale)};
}

}  // namespace

FormControls CreateFormControls(HWND window, UINT dpi, HFONT font) {
  auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE));
  FormControls controls{};
  for (const form::ControlLayout& control : form::kControls) {
    const ControlClass control_class = ClassFor(control);
    const RECT place = PixelRect(control, dpi);
    // WS_EX_ACCEPTFILES is what DragAcceptFiles sets, without loading
    // shell32 before a drop.
    const DWORD ex_style =
        control_class.ex_style | (control.drops == form::Drops::kFiles ? WS_EX_ACCEPTFILES : 0);
    HWND created =
        CreateWindowExW(ex_style, control_class.name, Widen(control.text).c_str(),
                        WS_CHILD | WS_VISIBLE | control_class.style, place.left, place.top,
                        place.right - place.left, place.bottom - place.top, window,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId(control.control))),
                        instance, nullptr);
    controls[form::IndexOf(control.control)] = created;
    SendMessageW(created, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (control.kind == form::ControlKind::kTextBox) {
      SendMessageW(created, EM_SETLIMITTEXT, 0, 0);  // as long as memory allows
    }
  }
  return controls;
}

void PlaceFormControls(const FormControls& controls, UINT dpi, HFONT font) {
  for (const form::ControlLayout& control : form::kControls) {
    HWND window = controls[form::IndexOf(control.control)];
    const RECT place = PixelRect(control, dpi);
    MoveWindow(window, place.left, place.top, place.right - place.left, place.bottom - place.top,
               TRUE);
    SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }
}

void RegisterFormClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure, FormIcon icon) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = procedure;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = name;
  if (icon == FormIcon::kProgram) {
    window_class.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    window_class.hIconSm = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                   GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
  }
  RegisterClassExW(&window_class);
}

RECT CentredFrame(HMONITOR monitor, UINT dpi) {
  const int scale = static_cast<int>(dpi);
  SIZE client{form::TwipsToPixels(form::kClientWidth, scale),
              form::TwipsToPixels(form::kClientHeight, scale)};
  RECT frame = WindowRectForClient(client, kFormStyle, kFormExStyle, dpi);
  MONITORINFO info{};
  info.cbSize = sizeof info;
  GetMonitorInfoW(monitor, &info);
  const RECT& work = info.rcWork;
  const LONG width = frame.right - frame.left, height = frame.bottom - frame.top;
  const LONG left = work.left + (work.right - work.left - width) / 2;
  const LONG top = work.top + (work.bottom - work.top - height) / 2;
  return {left, top, left + width, top + height};
}

bool IsGreyBox(const FormControls& controls, HWND box) {
  return std::any_of(form::kControls.begin(), form::kControls.end(), [&](const auto& control) {
    return control.grey && controls[form::IndexOf(control.control)] == box;
  });
}

}  // namespace orvanta::win32
