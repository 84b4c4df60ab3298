#include "ui/win32/form1.h"

#include <commctrl.h>
#include <shellapi.h>

#include <vector>

#include "app_info.h"
#include "ui/win32/dpi.h"
#include "ui/win32/drop_target.h"
#include "ui/win32/form_controls.h"
#include "ui/win32/late_bound.h"
#include "ui/win32/module1.h"
#include "ui/win32/wide_text.h"

namespace orvanta::win32 {
namespace {

constexpr wchar_t kClassName[] = L"OrvantaForm1";
using form::Control;

std::optional<std::string> ChooseWithDialog(HWND owner) {
  std::string path, file_title;
  if (!ShowOpenDialog(owner, "", "", path, file_title)) return std::nullopt;
  return path;
}

}  // namespace

bool HighContrastIsOn() {
  HIGHCONTRASTW setting{};
  setting.cbSize = sizeof setting;
  return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof setting, &setting, 0) &&
         (setting.dwFlags & HCF_HIGHCONTRASTON);
}

std::unique_ptr<Form1> Form1::Create(HINSTANCE instance, FileChooser choose_file,
                                     HighContrastSetting high_contrast) {
  RegisterFormClass(instance, kClassName, WindowProc);
  std::unique_ptr<Form1> form(new Form1(std::move(choose_file), std::move(high_contrast)));
  // Made where and as large as it will be shown: moving a window once it
  // exists costs the start-up time of another window.
  const RECT frame =
      CentredFrame(MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY), DpiForNewWindow());
  HWND hwnd = CreateWindowExW(kFormExStyle, kClassName, Widen(kWindowCaption).c_str(), kFormStyle,
                              frame.left, frame.top, frame.right - frame.left,
                              frame.bottom - frame.top, nullptr, nullptr, instance, form.get());
  if (!hwnd) return nullptr;
  form->controller_.Start();
  return form;
}

Form1::Form1(FileChooser choose_file, HighContrastSetting high_contrast)
    : choose_file_(choose_file ? std::move(choose_file) : ChooseWithDialog),
      high_contrast_setting_(std::move(high_contrast)),
      controller_(*this) {}

Form1::~Form1() {
  if (hwnd_) DestroyWindow(hwnd_);
  if (auto* uninitialize = late::OleUninitialize.get(); ole_initialized_ && uninitialize) {
    uninitialize();
  }
}

bool Form1::HandleDialogKeys(MSG& message) { return hwnd_ && IsDialogMessageW(hwnd_, &message); }

LRESULT CALLBACK Form1::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* form = static_cast<Form1*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    form->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
  }
  auto* form = reinterpret_cast<Form1*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!form) return DefWindowProcW(hwnd, message, wparam, lparam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    form->hwnd_ = nullptr;
    return DefWindowProcW(hwnd, message, wparam, lparam);
  }
  return form->HandleMessage(message, wparam, lparam);
}

LRESULT Form1::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE:
      OnCreate();
      return 0;
    case WM_COMMAND:
      OnCommand(LOWORD(wparam), HIWORD(wparam));
      return 0;
    case WM_CTLCOLOREDIT:
      return OnCtlColorEdit(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam));
    case WM_DPICHANGED:
      OnDpiChanged(LOWORD(wparam), *reinterpret_cast<RECT*>(lparam));
      return 0;
    case WM_ACTIVATE:
      OnActivate(LOWORD(wparam) != WA_INACTIVE);
      return 0;
    case WM_SYSCOLORCHANGE:
    case WM_SETTINGCHANGE:
      OnColoursChanged();
      break;
    case WM_DESTROY:
      RevokeDropTargets();
      if (closed_) closed_();
      return 0;
  }
  return DefWindowProcW(hwnd_, message, wparam, lparam);
}

void Form1::OnCreate() {
  grey_brush_ = ScopedBrush(CreateSolidBrush(kGreyColour));
  high_contrast_ = high_contrast_setting_();
  const UINT dpi = DpiForWindow(hwnd_);
  font_ = CreateMessageFont(dpi);
  controls_ = CreateFormControls(hwnd_, dpi, font_.get());
  for (const form::ControlLayout& control : form::kControls) {
    if (control.kind != form::ControlKind::kTextBox) continue;
    SetWindowSubclass(ControlWindow(control.control), TextBoxProc, 0,
                      reinterpret_cast<DWORD_PTR>(this));
  }

  // Rarely, the window opened at another DPI than the one it was sized for.
  if (dpi != DpiForNewWindow()) {
    LayOut(dpi);
    const RECT frame = CentredFrame(MonitorFromWindow(hwnd_, MONITOR_DEFAULTTOPRIMARY), dpi);
    SetWindowPos(hwnd_, nullptr, frame.left, frame.top, frame.right - frame.left,
                 frame.bottom - frame.top, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  RegisterDropTargets();
  // The focus goes there when the window is first activated.
  focus_when_inactive_ = ControlWindow(Control::kText1);
}

// Without OLE, drags still arrive as WM_DROPFILES where they can.
void Form1::RegisterDropTargets() {
  auto* initialize = late::OleInitialize.get();
  auto* register_target = late::RegisterDragDrop.get();
  if (!initialize || !register_target || FAILED(initialize(nullptr))) return;
  ole_initialized_ = true;
  for (const form::ControlLayout& control : form::kControls) {
    if (control.drops == form::Drops::kNothing) continue;
    HWND box = ControlWindow(control.control);
    auto* target = new DropTarget(
        control.drops, [this](const auto& paths) { controller_.DropFiles(paths); },
        [box](const std::string& text) {
          SendMessageW(box, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(Widen(text).c_str()));
        });
    register_target(box, target);  // which holds a reference of its own
    target->Release();
  }
}

void Form1::RevokeDropTargets() {
  auto* revoke = late::RevokeDragDrop.get();
  if (!ole_initialized_ || !revoke) return;
  for (const form::ControlLayout& control : form::kControls) {
    if (control.drops != form::Drops::kNothing) revoke(ControlWindow(control.control));
  }
}

void Form1::OnCommand(int id, int code) {
  if (code != BN_CLICKED) return;
  // Enter where no button is the default one, as when a click gave the
  // button the focus: IsDialogMessage asks for IDOK. The button in focus is
  // the one meant.
  if (HWND focus = GetFocus(); id == IDOK && GetParent(focus) == hwnd_) id = GetDlgCtrlID(focus);
  if (id == ControlId(Control::kCommand1)) controller_.ModifyAddress();
  if (id == ControlId(Control::kCommand2)) controller_.OpenChosenFile();
}

// The two boxes that show the file are black on grey, whatever the system's
// colours; under high contrast the user's colours win, as Windows asks.
LRESULT Form1::OnCtlColorEdit(HDC dc, HWND box) {
  if (high_contrast_ || !IsGreyBox(controls_, box)) {
    return DefWindowProcW(hwnd_, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc),
                          reinterpret_cast<LPARAM>(box));
  }
  SetTextColor(dc, RGB(0, 0, 0));
  SetBkColor(dc, kGreyColour);
  return reinterpret_cast<LRESULT>(grey_brush_.get());
}

void Form1::OnColoursChanged() {
  high_contrast_ = high_contrast_setting_();
  RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void Form1::OnDpiChanged(UINT dpi, const RECT& suggested) {
  LayOut(dpi);
  SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

// A window that moves the focus with IsDialogMessage keeps track of it
// itself: Windows gives it back to the top window, not the control.
void Form1::OnActivate(bool active) {
  if (!active) {
    focus_when_inactive_ = GetFocus();
  } else if (focus_when_inactive_ && IsChild(hwnd_, focus_when_inactive_)) {
    SetFocus(focus_when_inactive_);
  }
}

void Form1::OnDropFiles(HDROP drop) {
  auto* finish = late::DragFinish.get();
  if (!finish) return;
  std::vector<std::string> paths = DroppedPaths(drop);
  finish(drop);
  controller_.DropFiles(paths);
}

LRESULT CALLBACK Form1::TextBoxProc(HWND box, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                    DWORD_PTR form_pointer) {
  auto* form = reinterpret_cast<Form1*>(form_pointer);
  switch (message) {
    case WM_DROPFILES:
      form->OnDropFiles(reinterpret_cast<HDROP>(wparam));
      return 0;
    case WM_GETDLGCODE: {
      // A multi-line box would take Tab as text; here Tab moves the focus.
      LRESULT code = DefSubclassProc(box, message, wparam, lparam);
      auto* key = reinterpret_cast<MSG*>(lparam);
      if (key && key->message == WM_KEYDOWN && key->wParam == VK_TAB) {
        code &= ~(DLGC_WANTTAB | DLGC_WANTALLKEYS | DLGC_WANTMESSAGE);
      }
      return code;
    }
    case WM_NCDESTROY:
      RemoveWindowSubclass(box, TextBoxProc, 0);
      break;
  }
  return DefSubclassProc(box, message, wparam, lparam);
}

void Form1::LayOut(UINT dpi) {
  // The old font goes once no control uses it any more.
  ScopedFont font = CreateMessageFont(dpi);
  PlaceFormControls(controls_, dpi, font.get());
  font_ = std::move(font);
}

void Form1::SetAddressText(const std::string& text) {
  SetWindowTextW(ControlWindow(Control::kText1), Widen(text).c_str());
}

void Form1::SetNewAddressText(const std::string& text) {
  SetWindowTextW(ControlWindow(Control::kText2), Widen(text).c_str());
}

std::string Form1::GetNewAddressText() {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(ControlWindow(Control::kText2))),
                    L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(ControlWindow(Control::kText2), text.data(),
                                                      static_cast<int>(text.size() + 1))));
  return Narrow(text);
}

void Form1::SetTaskNameText(const std::string& text) {
  SetWindowTextW(ControlWindow(Control::kText3), Widen(text).c_str());
}

void Form1::SetModifyEnabled(bool enabled) {
  HWND button = ControlWindow(Control::kCommand1);
  // A disabled control that keeps the focus leaves the keyboard with none.
  if (!enabled && GetFocus() == button) SetFocus(GetNextDlgTabItem(hwnd_, button, FALSE));
  EnableWindow(button, enabled);
}

void Form1::ShowMessage(const std::string& text) {
  MessageBoxW(hwnd_, Widen(text).c_str(), Widen(kAppTitle).c_str(), MB_OK);
}

std::optional<std::string> Form1::ChooseTaskFile() { return choose_file_(hwnd_); }

}  // namespace orvanta::win32
