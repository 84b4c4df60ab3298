// The DPI functions of Windows 10, with fallbacks for older systems, which
// have one DPI for the whole desktop.
#pragma once

#include <windows.h>

#include "ui/win32/scoped_gdi.h"

namespace orvanta::win32 {

UINT DpiForWindow(HWND window);

// The DPI a window gets that is about to open on the primary monitor.
UINT DpiForNewWindow();

// The window rectangle around a client area, for a window at `dpi`.
RECT WindowRectForClient(SIZE client, DWORD style, DWORD ex_style, UINT dpi);

// The font Windows uses for message boxes, at `dpi`.
ScopedFont CreateMessageFont(UINT dpi);

}  // namespace orvanta::win32
