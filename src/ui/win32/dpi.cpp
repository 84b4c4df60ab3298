#include "ui/win32/dpi.h"

#include "ui/win32/late_bound.h"

namespace orvanta::win32 {
namespace {

UINT DesktopDpi() {
  const ScreenDeviceContext screen;
  const auto dpi = static_cast<UINT>(GetDeviceCaps(screen.get(), LOGPIXELSY));
  return dpi ? dpi : USER_DEFAULT_SCREEN_DPI;
}

}  // namespace

UINT DpiForWindow(HWND window) {
  auto* get_dpi_for_window = late::GetDpiForWindow.get();
  UINT dpi = get_dpi_for_window ? get_dpi_for_window(window) : 0;
  return dpi ? dpi : DesktopDpi();
}

UINT DpiForNewWindow() {
  auto* get_dpi_for_system = late::GetDpiForSystem.get();
  UINT dpi = get_dpi_for_system ? get_dpi_for_system() : 0;
  return dpi ? dpi : DesktopDpi();
}

RECT WindowRectForClient(SIZE client, DWORD style, DWORD ex_style, UINT dpi) {
  auto* adjust_for_dpi = late::AdjustWindowRectExForDpi.get();
  RECT rect{0, 0, client.cx, client.cy};
  if (!adjust_for_dpi || !adjust_for_dpi(&rect, style, FALSE, ex_style, dpi)) {
    AdjustWindowRectEx(&rect, style, FALSE, ex_style);
  }
  return rect;
}

ScopedFont CreateMessageFont(UINT dpi) {
  auto* info_for_dpi = late::SystemParametersInfoForDpi.get();
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (info_for_dpi && info_for_dpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi)) {
    return ScopedFont(CreateFontIndirectW(&metrics.lfMessageFont));
  }
  if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    return ScopedFont(static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)));
  }
  metrics.lfMessageFont.lfHeight =
      MulDiv(metrics.lfMessageFont.lfHeight, static_cast<int>(dpi), static_cast<int>(DesktopDpi()));
  return ScopedFont(CreateFontIndirectW(&metrics.lfMessageFont));
}

}  // namespace orvanta::win32
