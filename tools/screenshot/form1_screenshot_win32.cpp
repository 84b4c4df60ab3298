// Saves a picture of the main window after opening a task file, for review:
//   form1_screenshot TASK_FILE PNG
// The picture is taken from the screen, so it shows what a user sees.
#include <windows.h>

#include <commctrl.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "ui/win32/form1.h"
#include "ui/win32/wide_text.h"

namespace {

std::uint32_t Crc32(const std::string& bytes) {
  std::uint32_t crc = 0xFFFFFFFF;
  for (unsigned char byte : bytes) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
  }
  return ~crc;
}

std::string BigEndian(std::uint32_t value) {
  return {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
          static_cast<char>(value >> 8), static_cast<char>(value)};
}

std::string Chunk(const std::string& type, const std::string& data) {
  return BigEndian(static_cast<std::uint32_t>(data.size())) + type + data +
         BigEndian(Crc32(type + data));
}

// A PNG whose image data is zlib-wrapped but not compressed: no library needed.
std::string EncodePng(int width, int height, const std::vector<std::uint32_t>& bgra) {
  std::string raw;
  for (int y = 0; y < height; ++y) {
    raw += '\0';
    for (int x = 0; x < width; ++x) {
      std::uint32_t pixel = bgra[static_cast<std::size_t>(y * width + x)];
      raw +=
          {static_cast<char>(pixel >> 16), static_cast<char>(pixel >> 8), static_cast<char>(pixel)};
    }
  }
  std::string zlib = "\x78\x01";
  std::uint32_t a = 1, b = 0;
  for (unsigned char byte : raw) a = (a + byte) % 65521, b = (b + a) % 65521;
  for (std::size_t at = 0; at < raw.size(); at += 65535) {
    std::size_t size = std::min<std::size_t>(65535, raw.size() - at);
    zlib += static_cast<char>(at + size == raw.size());
    zlib += {static_cast<char>(size), static_cast<char>(size >> 8), static_cast<char>(~size),
             static_cast<char>(~size >> 8)};
    zlib += raw.substr(at, size);
  }
  zlib += BigEndian((b << 16) | a);
  std::string header = BigEndian(static_cast<std::uint32_t>(width)) +
                       BigEndian(static_cast<std::uint32_t>(height)) +
                       std::string("\x08\x02\x00\x00\x00", 5);
  return "\x89PNG\r\n\x1a\n" + Chunk("IHDR", header) + Chunk("IDAT", zlib) + Chunk("IEND", "");
}

std::string CaptureWindow(HWND window) {
  RECT rect;
  GetWindowRect(window, &rect);
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  GdiFlush();
  std::vector<std::uint32_t> pixels(static_cast<std::uint32_t*>(bits),
                                    static_cast<std::uint32_t*>(bits) + width * height);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return EncodePng(width, height, pixels);
}

void PumpMessagesFor(DWORD milliseconds) {
  const DWORD end = GetTickCount() + milliseconds;
  while (GetTickCount() < end) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    Sleep(10);
  }
}

}  // namespace

int wmain(int argc, wchar_t* argv[]) {
  if (argc != 3) return 2;
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  const std::string task_file = orvanta::win32::Narrow(argv[1]);
  auto form = orvanta::win32::Form1::Create(GetModuleHandleW(nullptr));
  ShowWindow(form->hwnd(), SW_SHOW);
  form->OpenGivenFiles({task_file});
  PumpMessagesFor(500);
  std::ofstream(argv[2], std::ios::binary) << CaptureWindow(form->hwnd());
  return 0;
}
