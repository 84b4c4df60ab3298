// What only the Win32 window can get wrong: what the user's hands give it
// reaches the controller whole. The controller test has the rest.
#include "ui/win32/form1.h"

#include <windows.h>

#include <gtest/gtest.h>
#include <shlobj.h>

#include <cstring>
#include <set>
#include <thread>

#include "support/task_file_bytes.h"
#include "ui/win32/form_controls.h"
#include "ui/win32/wide_text.h"

namespace orvanta::win32 {
namespace {

using namespace testing;
using form::Control;

std::string TextOf(HWND window) {
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  return Narrow(text);
}

// Files as the shell hands them over: wide paths, each NUL-ended, then a NUL.
HDROP MakeDrop(const std::vector<std::string>& paths) {
  const DROPFILES header{sizeof(DROPFILES), {}, FALSE, TRUE};
  std::wstring list;
  for (const std::string& path : paths) list += Widen(path) + L'\0';
  const std::size_t list_size = (list.size() + 1) * sizeof(wchar_t);
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, sizeof header + list_size);
  auto* start = static_cast<char*>(GlobalLock(memory));
  memcpy(start, &header, sizeof header);
  memcpy(start + sizeof header, list.c_str(), list_size);
  GlobalUnlock(memory);
  return static_cast<HDROP>(memory);
}

// Hangul is outside the ANSI code page: a path that keeps it reached the
// controller whole, and the address must reach the file as GBK. Open,
// cancelled, leaves the file as it was: only Modify changes it.
TEST(Form1, StoresTheTypedAddressInTheDroppedFile) {
  TempFolder folder;
  const TaskFileParts old{.name = "y", .address = "http://y/"};
  const std::string task = folder.MakeTaskFile("영화.td.cfg", old);
  auto form = Form1::Create(GetModuleHandleW(nullptr), [](HWND) { return std::nullopt; });
  ASSERT_TRUE(form);
  ShowWindow(form->hwnd(), SW_SHOW);
  SetForegroundWindow(form->hwnd());
  auto item = [&](Control control) { return GetDlgItem(form->hwnd(), ControlId(control)); };
  // As the message loop hands the key to the focused button.
  auto press_enter_on = [&](Control button) {
    SetFocus(item(button));
    MSG down{GetFocus(), WM_KEYDOWN, VK_RETURN, 0, 0, {}};
    EXPECT_TRUE(form->HandleDialogKeys(down));
  };
  // The user reads every message box that opens, and closes it.
  std::string told;
  std::jthread user([&](std::stop_token stop) {
    for (std::set<HWND> read; !stop.stop_requested(); Sleep(10)) {
      HWND box = FindWindowW(L"#32770", nullptr);
      if (!box || !IsWindowVisible(box) || !read.insert(box).second) continue;
      told += TextOf(box) + ": " + TextOf(GetDlgItem(box, 0xFFFF));
      PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
  });
  auto drop_and_type = [&] {
    SendMessageW(item(Control::kText1), WM_DROPFILES,
                 WPARAM(MakeDrop({folder.MakeTaskFile("b.txt"), task})), 0);
    SetWindowTextW(item(Control::kText2), L" http://下载 ");
  };
  drop_and_type();
  EXPECT_EQ(TextOf(item(Control::kText3)), "y");
  press_enter_on(Control::kCommand2);
  EXPECT_EQ(ReadBytes(folder / "영화.td.cfg"), BuildTaskFile(old));
  drop_and_type();
  press_enter_on(Control::kCommand1);
  user.request_stop();
  user.join();
  EXPECT_EQ(told, "Orvanta: 修改完成...");
  EXPECT_EQ(ReadBytes(folder / "영화.td.cfg"),
            BuildTaskFile({.name = "y", .address = "http://\xCF\xC2\xD4\xD8"}));
}

}  // namespace
}  // namespace orvanta::win32
