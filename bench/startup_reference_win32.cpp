// The least a Win32 program does to show a window of Orvanta's size with a
// Chinese text: the one-control yardstick for Orvanta.exe's start-up.
#include <windows.h>

namespace {

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = instance;
  window_class.lpszClassName = L"StartupReference";
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  RegisterClassW(&window_class);
  HWND window =
      CreateWindowExW(0, L"StartupReference", L"Startup reference", WS_OVERLAPPEDWINDOW,
                      CW_USEDEFAULT, CW_USEDEFAULT, 462, 345, nullptr, nullptr, instance, nullptr);
  CreateWindowExW(0, L"STATIC", L"启动参照", WS_CHILD | WS_VISIBLE, 8, 8, 200, 20, window, nullptr,
                  instance, nullptr);
  ShowWindow(window, show);
  UpdateWindow(window);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
