// The controls of form_layout.h as native controls, made for a window: the
// whole of what the window shows, without what it does.
#pragma once

#include <windows.h>

#include <array>

#include "ui/form_layout.h"

namespace orvanta::win32 {

inline constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
inline constexpr DWORD kFormExStyle = 0;

// The id of each control, as GetDlgItem and WM_COMMAND know it.
constexpr int ControlId(form::Control control) {
  return 100 + static_cast<int>(form::IndexOf(control));
}

// Indexed by form::IndexOf.
using FormControls = std::array<HWND, form::kControls.size()>;

// Creates every control in `window`, in focus order (the order of Tab),
// placed for `dpi` and in `font`; the box that takes drops accepts files.
FormControls CreateFormControls(HWND window, UINT dpi, HFONT font);

// Places the controls for `dpi`, in `font`.
void PlaceFormControls(const FormControls& controls, UINT dpi, HFONT font);

enum class FormIcon { kProgram, kNone };

// Registers the main window's class `name`; fails harmlessly when it is
// registered already.
void RegisterFormClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure,
                       FormIcon icon = FormIcon::kProgram);

// The window's frame at `dpi`, centred in the work area of `monitor`.
RECT CentredFrame(HMONITOR monitor, UINT dpi);

// Whether `box` is one of the boxes that are black on grey.
bool IsGreyBox(const FormControls& controls, HWND box);

inline constexpr COLORREF kGreyColour =
    RGB(form::kGrey >> 16, (form::kGrey >> 8) & 0xFF, form::kGrey & 0xFF);

}  // namespace orvanta::win32
