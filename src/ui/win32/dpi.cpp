#include "ui/win32/dpi.h"

#include "ui/win32/system_function.h"

namespace orvanta::win32 {
namespace {

// Absent before Windows 10 1607, so looked up when first needed.
template <class Function>
Function* FromUser32(const char* name) {
  return SystemFunction<Function>(L"user32.dll", name);
}

UINT DesktopDpi() {
  HDC screen = GetDC(nullptr);
  UINT dpi = static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSY));
  ReleaseDC(nullptr, screen);
  return dpi ? dpi : USER_DEFAULT_SCREEN_DPI;
}

}  // namespace

UINT DpiForWindow(HWND window) {
  static auto* get_dpi_for_window = FromUser32<UINT WINAPI(HWND)>("GetDpiForWindow");
  UINT dpi = get_dpi_for_window ? get_dpi_for_window(window) : 0;
  return dpi ? dpi : DesktopDpi();
}

UINT DpiForNewWindow() {
  static auto* get_dpi_for_system = FromUser32<UINT WINAPI()>("GetDpiForSystem");
  UINT dpi = get_dpi_for_system ? get_dpi_for_system() : 0;
  return dpi ? dpi : DesktopDpi();
}

RECT WindowRectForClient(SIZE client, DWORD style, DWORD ex_style, UINT dpi) {
  static auto* adjust_for_dpi =
      FromUser32<BOOL WINAPI(RECT*, DWORD, BOOL, DWORD, UINT)>("AdjustWindowRectExForDpi");
  RECT rect{0, 0, client.cx, client.cy};
  if (!adjust_for_dpi || !adjust_for_dpi(&rect, style, FALSE, ex_style, dpi)) {
    AdjustWindowRectEx(&rect, style, FALSE, ex_style);
  }
  return rect;
}

HFONT CreateMessageFont(UINT dpi) {
  static auto* info_for_dpi =
      FromUser32<BOOL WINAPI(UINT, UINT, void*, UINT, UINT)>("SystemParametersInfoForDpi");
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (info_for_dpi && info_for_dpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi)) {
    return CreateFontIndirectW(&metrics.lfMessageFont);
  }
  if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  }
  metrics.lfMessageFont.lfHeight =
      MulDiv(metrics.lfMessageFont.lfHeight, static_cast<int>(dpi), static_cast<int>(DesktopDpi()));
  return CreateFontIndirectW(&metrics.lfMessageFont);
}

}  // namespace orvanta::win32
