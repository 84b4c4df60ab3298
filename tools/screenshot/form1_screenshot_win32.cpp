// Pictures of the main window in the states a user meets, for review and
// for the picture test, which compares them with the approved ones:
//   form1_screenshot TASK_FILE FOLDER
// writes empty, loaded, dark, high-contrast, 144dpi (moved to a screen of
// 144 DPI) and started-at-144dpi .png into FOLDER, loaded and 144dpi again
// as Windows 7 draws them ("-windows7"), and told: the message box Modify
// shows. Each is taken from the screen, as a user sees it.
#include <windows.h>

#include <commctrl.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ui/win32/form1.h"
#include "ui/win32/form_controls.h"
#include "ui/win32/late_bound.h"
#include "ui/win32/wide_text.h"

using namespace orvanta::win32;

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

// Bits packed as deflate packs them: the first into a byte's lowest bit.
struct Bits {
  std::string bytes;
  int used = 8;  // of the last byte
  void Put(std::uint32_t value, int count) {
    for (int i = 0; i < count; ++i, ++used) {
      if (used == 8) bytes += '\0', used = 0;
      bytes.back() = static_cast<char>(bytes.back() | ((value >> i & 1) << used));
    }
  }
  // A Huffman code goes highest bit first.
  void PutCode(std::uint32_t code, int length) {
    for (int i = length - 1; i >= 0; --i) Put(code >> i, 1);
  }
};

// A literal byte (0-255), the end (256) or a length code, in deflate's fixed codes.
void PutSymbol(Bits& bits, int symbol) {
  if (symbol < 144) return bits.PutCode(0x30 + symbol, 8);
  if (symbol < 256) return bits.PutCode(0x190 + symbol - 144, 9);
  if (symbol < 280) return bits.PutCode(symbol - 256, 7);
  bits.PutCode(0xC0 + symbol - 280, 8);
}

// Deflate's length codes (257 + 0 to 28) and distance codes (0 to 29): each
// stands for a base, to which its extra bits add.
int LengthExtraBits(int code) { return code < 8 ? 0 : code / 4 - 1; }
int LengthBase(int code) {
  return code < 8 ? code + 3 : ((4 + (code & 3)) << LengthExtraBits(code)) + 3;
}
int DistanceExtraBits(int code) { return code < 4 ? 0 : code / 2 - 1; }
int DistanceBase(int code) {
  return code < 4 ? code + 1 : ((2 + (code & 1)) << DistanceExtraBits(code)) + 1;
}

// "Repeat `length` (3 to 257) bytes from `distance` back": the code whose
// base is the largest not above the value, then the rest in extra bits.
void PutMatch(Bits& bits, int length, int distance) {
  int code = 27;
  while (LengthBase(code) > length) --code;
  PutSymbol(bits, 257 + code);
  bits.Put(static_cast<std::uint32_t>(length - LengthBase(code)), LengthExtraBits(code));
  code = 29;
  while (DistanceBase(code) > distance) --code;
  bits.PutCode(static_cast<std::uint32_t>(code), 5);
  bits.Put(static_cast<std::uint32_t>(distance - DistanceBase(code)), DistanceExtraBits(code));
}

// One deflate block in fixed codes. A window's picture is mostly runs of
// one colour and rows like the one above: repeats of the pixel before
// (`pixel` bytes back) or of the row above (`row` back) are all it looks for.
std::string Deflate(const std::string& raw, std::size_t pixel, std::size_t row) {
  Bits bits;
  bits.Put(1, 1);  // the last block
  bits.Put(1, 2);  // of fixed codes
  for (std::size_t at = 0; at < raw.size();) {
    std::size_t best = 0, distance = 0;
    for (std::size_t back : {pixel, row}) {
      std::size_t length = 0;
      while (back <= at && length < 257 && at + length < raw.size() &&
             raw[at + length] == raw[at + length - back]) {
        ++length;
      }
      if (length > best) best = length, distance = back;
    }
    if (best < 3) {
      PutSymbol(bits, static_cast<unsigned char>(raw[at++]));
      continue;
    }
    PutMatch(bits, static_cast<int>(best), static_cast<int>(distance));
    at += best;
  }
  PutSymbol(bits, 256);
  return bits.bytes;
}

// A PNG of 8-bit RGB, compressed here: no library needed.
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
  std::uint32_t a = 1, b = 0;
  for (unsigned char byte : raw) a = (a + byte) % 65521, b = (b + a) % 65521;
  const std::string zlib = "\x78\x01" + Deflate(raw, 3, static_cast<std::size_t>(width) * 3 + 1) +
                           BigEndian((b << 16) | a);
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

// Where Windows 7 and 8 lack the DPI functions of Windows 10 1607.
template <class Result, class... Arguments>
Result WINAPI Missing(Arguments...) {
  return 0;
}

void WithoutTheNewerDpiFunctions(bool without) {
  late::GetDpiForWindow.StandIn(without ? Missing<UINT, HWND> : nullptr);
  late::GetDpiForSystem.StandIn(without ? Missing<UINT> : nullptr);
  late::AdjustWindowRectExForDpi.StandIn(without ? Missing<BOOL, RECT*, DWORD, BOOL, DWORD, UINT>
                                                 : nullptr);
  late::SystemParametersInfoForDpi.StandIn(without ? Missing<BOOL, UINT, UINT, void*, UINT, UINT>
                                                   : nullptr);
}

class Photographer {
 public:
  Photographer(std::wstring folder, std::string task_file)
      : folder_(std::move(folder)), task_file_(std::move(task_file)) {}

  void Take(const wchar_t* name, Form1& form) {
    RedrawWindow(form.hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    PumpMessagesFor(300);
    std::ofstream(std::filesystem::path(folder_ + L"\\" + name + L".png"), std::ios::binary)
        << CaptureWindow(form.hwnd());
  }

  // A window with the task file open, at `dpi` (0: the screen's).
  std::unique_ptr<Form1> Open(UINT dpi, HighContrastSetting high_contrast = HighContrastIsOn) {
    auto form = Form1::Create(GetModuleHandleW(nullptr), {}, std::move(high_contrast));
    SetWindowPos(form->hwnd(), nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ShowWindow(form->hwnd(), SW_SHOW);
    form->OpenGivenFiles({task_file_});
    RECT suggested{0, 0, 710, 560};
    if (dpi) SendMessageW(form->hwnd(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), LPARAM(&suggested));
    return form;
  }

 private:
  std::wstring folder_;
  std::string task_file_;
};

// A message box would wait for a hand that never comes: closed, it makes
// the pictures fail instead, unless one is expected, which is taken to
// `box_picture` once it has had time to draw itself.
bool told = false;
std::filesystem::path box_picture;
int box_seen = 0;

BOOL CALLBACK CloseIfMessageBox(HWND window, LPARAM) {
  wchar_t name[16] = {};
  GetClassNameW(window, name, 16);
  if (std::wstring(name) != L"#32770" || !IsWindowVisible(window)) return TRUE;
  if (box_picture.empty()) {
    told = true;
  } else if (++box_seen < 6) {
    return TRUE;
  } else {
    std::ofstream(box_picture, std::ios::binary) << CaptureWindow(window);
    box_picture.clear();
  }
  PostMessageW(window, WM_COMMAND, IDOK, 0);
  return TRUE;
}

void CALLBACK CloseMessageBoxes(HWND, UINT, UINT_PTR, DWORD) {
  EnumThreadWindows(GetCurrentThreadId(), CloseIfMessageBox, 0);
}

// Windows set to 150% before the program starts, which takes its layout
// and font from the screen's DPI at start: Wine reads LogPixels afresh in
// every program, so this one runs again to take "started-at-144dpi".
void TakeStartedAt144Dpi(const std::wstring& task_file, const std::wstring& folder) {
  const wchar_t desktop[] = L"Control Panel\\Desktop";
  DWORD saved = 0, size = sizeof saved, dpi = 144;
  const bool had_dpi = RegGetValueW(HKEY_CURRENT_USER, desktop, L"LogPixels", RRF_RT_REG_DWORD,
                                    nullptr, &saved, &size) == ERROR_SUCCESS;
  RegSetKeyValueW(HKEY_CURRENT_USER, desktop, L"LogPixels", REG_DWORD, &dpi, sizeof dpi);
  std::wstring self(MAX_PATH, L'\0');
  self.resize(GetModuleFileNameW(nullptr, self.data(), MAX_PATH));
  std::wstring command = L"\"" + self + L"\" \"" + task_file + L"\" \"" + folder + L"\" started";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                     &startup, &process)) {
    DWORD failed = 1;
    WaitForSingleObject(process.hProcess, 30000);
    told |= !GetExitCodeProcess(process.hProcess, &failed) || failed;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  if (had_dpi) RegSetKeyValueW(HKEY_CURRENT_USER, desktop, L"LogPixels", REG_DWORD, &saved, size);
  if (!had_dpi) RegDeleteKeyValueW(HKEY_CURRENT_USER, desktop, L"LogPixels");
}

}  // namespace

int wmain(int argc, wchar_t* argv[]) {
  if (argc != 3 && argc != 4) return 2;
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  SetTimer(nullptr, 0, 50, CloseMessageBoxes);
  Photographer camera(argv[2], Narrow(argv[1]));
  if (argc == 4) {
    camera.Take(L"started-at-144dpi", *camera.Open(0));
    return told;
  }
  TakeStartedAt144Dpi(argv[1], argv[2]);

  auto empty = Form1::Create(GetModuleHandleW(nullptr));
  SetWindowPos(empty->hwnd(), nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  ShowWindow(empty->hwnd(), SW_SHOW);
  camera.Take(L"empty", *empty);
  empty.reset();

  camera.Take(L"loaded", *camera.Open(0));
  camera.Take(L"144dpi", *camera.Open(144));
  WithoutTheNewerDpiFunctions(true);
  camera.Take(L"loaded-windows7", *camera.Open(0));
  camera.Take(L"144dpi-windows7", *camera.Open(144));
  WithoutTheNewerDpiFunctions(false);

  // Switched on while the window is open, as a user does.
  bool high_contrast = false;
  auto form = camera.Open(0, [&] { return high_contrast; });
  high_contrast = true;
  SendMessageW(form->hwnd(), WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
  camera.Take(L"high-contrast", *form);
  form.reset();

  const int elements[] = {COLOR_WINDOW, COLOR_WINDOWTEXT};
  const COLORREF dark[] = {RGB(0, 0, 0), RGB(0xFF, 0xFF, 0xFF)},
                 saved[] = {GetSysColor(COLOR_WINDOW), GetSysColor(COLOR_WINDOWTEXT)};
  SetSysColors(2, elements, dark);
  camera.Take(L"dark", *camera.Open(0));
  SetSysColors(2, elements, saved);

  // The address stored again as it is, so that the file stays as it was.
  form = camera.Open(0);
  wchar_t address[256] = {};
  GetDlgItemTextW(form->hwnd(), ControlId(orvanta::form::Control::kText1), address, 256);
  SetDlgItemTextW(form->hwnd(), ControlId(orvanta::form::Control::kText2), address);
  box_picture = std::filesystem::path(argv[2]) / L"told.png";
  SendDlgItemMessageW(form->hwnd(), ControlId(orvanta::form::Control::kCommand1), BM_CLICK, 0, 0);
  return told || !box_picture.empty();
}
