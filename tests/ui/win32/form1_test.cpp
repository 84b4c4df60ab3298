// What only the Win32 window can get wrong; the behaviour behind it is the
// controller's, tested there.
#include "ui/win32/form1.h"

#include <windows.h>

#include <dlgs.h>
#include <gtest/gtest.h>
#include <shlobj.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>

#include "support/task_file_bytes.h"
#include "taskfile/unicode_text.h"
#include "ui/win32/module1.h"
#include "ui/win32/wide_text.h"

namespace orvanta::win32 {
namespace {

using testing::BuildTaskFile;
using testing::TempFolder;
using testing::WriteBytes;

std::string TextOf(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)), L'\0');
  text.resize(static_cast<std::size_t>(
      GetWindowTextW(window, text.data(), static_cast<int>(text.size() + 1))));
  return Narrow(text);
}

// Plays the user at modal windows: on a thread of its own it hands every
// dialog window that opens to `handle`, which must close it.
class ModalHandler {
 public:
  explicit ModalHandler(std::function<void(HWND)> handle)
      : thread_([this, handle] {
          std::set<HWND> handled;
          for (; !stop_; Sleep(10)) {
            for (HWND dialog = nullptr;
                 (dialog = FindWindowExW(nullptr, dialog, L"#32770", nullptr));) {
              if (IsWindowVisible(dialog) && handled.insert(dialog).second) handle(dialog);
            }
          }
        }) {}
  ~ModalHandler() {
    stop_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> stop_ = false;
  std::thread thread_;
};

class Form1Test : public ::testing::Test {
 protected:
  void SetUp() override {
    form_ = Form1::Create(
        GetModuleHandleW(nullptr), [this](HWND) { return chosen_; },
        [this] { return high_contrast_; });
    ASSERT_TRUE(form_);
    ShowWindow(form_->hwnd(), SW_SHOW);
    SetForegroundWindow(form_->hwnd());
  }

  void TearDown() override {
    form_.reset();
    MSG quit;  // the window's end posts WM_QUIT, which would end later modal loops
    PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
  }

  HWND Control(const char* name) { return form_->Control(name); }

  std::string MakeTaskFile(const std::string& name) {
    auto path = folder_ / name;
    WriteBytes(path, BuildTaskFile({.address = "http://h/" + std::to_string(name.size())}));
    return PathToUtf8(path);
  }

  TempFolder folder_;
  std::optional<std::string> chosen_;
  bool high_contrast_ = false;
  std::unique_ptr<Form1> form_;
};

RECT RectInParent(HWND control) {
  RECT rect;
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// The window places itself from the shared table, at every DPI.
TEST_F(Form1Test, LaysItselfOutFromTheTable) {
  auto font_height = [](HWND control) {
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font,
               &font);
    return std::abs(font.lfHeight);
  };
  RECT client;
  GetClientRect(form_->hwnd(), &client);
  EXPECT_EQ(client.right * 1000 + client.bottom, 462'345);
  EXPECT_EQ(RectInParent(Control("Command1")).left, 264);  // 3960 twips
  EXPECT_EQ(RectInParent(Control("Text2")).bottom, 305);   // (3120 + 1455) twips
  const LONG height_at_96 = font_height(Control("Text2"));

  RECT suggested{10, 10, 10 + 710, 10 + 560};
  SendMessageW(form_->hwnd(), WM_DPICHANGED, MAKEWPARAM(144, 144),
               reinterpret_cast<LPARAM>(&suggested));
  const RECT text2 = RectInParent(Control("Text2"));
  EXPECT_EQ(text2.left * 1000 + text2.top, 12'312);
  EXPECT_EQ(text2.right - text2.left, 674);  // 6735 twips at 144 DPI, rounded
  EXPECT_GT(font_height(Control("Text2")), height_at_96);
}

TEST_F(Form1Test, OpensCentredWithTheFocusInTheAddressBox) {
  RECT window, work;
  GetWindowRect(form_->hwnd(), &window);
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  EXPECT_NEAR(window.left - work.left, work.right - window.right, 1);
  EXPECT_NEAR(window.top - work.top, work.bottom - window.bottom, 1);
  EXPECT_FALSE(IsWindowEnabled(Control("Command1")));
  EXPECT_EQ(GetFocus(), Control("Text1"));
}

// The focus after each of five Tab keys, as IsDialogMessage moves it.
std::string TabOrder(Form1& form) {
  std::string order;
  SetFocus(form.Control("Text1"));
  for (int i = 0; i < 5; ++i) {
    MSG tab{GetFocus(), WM_KEYDOWN, VK_TAB, 0, 0, {}};
    EXPECT_TRUE(form.HandleDialogKeys(tab));
    for (const char* name : {"Text1", "Text2", "Text3", "Command1", "Command2"}) {
      if (form.Control(name) == GetFocus()) order += std::string(name) + " ";
    }
  }
  return order;
}

TEST_F(Form1Test, TabMovesTheFocusInOrder) {
  EXPECT_EQ(TabOrder(*form_), "Text2 Text3 Command2 Text1 Text2 ");
  chosen_ = MakeTaskFile("a.td.cfg");
  SendMessageW(Control("Command2"), BM_CLICK, 0, 0);
  EXPECT_EQ(TabOrder(*form_), "Text2 Command1 Text3 Command2 Text1 ");
}

HDROP MakeDrop(const std::vector<std::string>& paths) {
  std::wstring list;
  for (const std::string& path : paths) list += Widen(path) + L'\0';
  list += L'\0';
  HGLOBAL memory =
      GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + list.size() * sizeof(wchar_t));
  auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
  header->pFiles = sizeof(DROPFILES);
  header->fWide = TRUE;
  memcpy(header + 1, list.data(), list.size() * sizeof(wchar_t));
  GlobalUnlock(memory);
  return static_cast<HDROP>(memory);
}

// Hangul has no place in code page 936: only wide paths carry it.
TEST_F(Form1Test, TakesDropsOnTheAddressBoxOnly) {
  const std::string hangul = MakeTaskFile("영화.td.cfg");
  SendMessageW(Control("Text1"), WM_DROPFILES,
               reinterpret_cast<WPARAM>(MakeDrop({MakeTaskFile("a.txt"), hangul})), 0);
  EXPECT_EQ(TextOf(Control("Text3")), "영화");
  for (const char* name : {"Text1", "Text2", "Text3", "Command2"}) {
    bool accepts = GetWindowLongW(Control(name), GWL_EXSTYLE) & WS_EX_ACCEPTFILES;
    EXPECT_EQ(accepts, std::string(name) == "Text1") << name;
  }
  EXPECT_FALSE(GetWindowLongW(form_->hwnd(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
}

// Open, type and Modify through the controls: each view call reaches its
// box, and messages come with the program's title, one OK button, no icon.
TEST_F(Form1Test, ViewCallsReachTheirControls) {
  std::string shown;  // title, visible buttons and icons, text
  std::mutex mutex;
  ModalHandler user([&](HWND box) {
    int buttons = 0, icons = 0;
    for (HWND child = nullptr; (child = FindWindowExW(box, child, nullptr, nullptr));) {
      wchar_t name[16] = {};
      GetClassNameW(child, name, 16);
      if (!IsWindowVisible(child)) continue;
      buttons += std::wstring(name) == L"Button";
      icons += (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
               SendMessageW(child, STM_GETICON, 0, 0);
    }
    std::lock_guard lock(mutex);
    shown = TextOf(box) + " " + std::to_string(buttons) + std::to_string(icons) + " " +
            TextOf(GetDlgItem(box, 0xFFFF));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  });
  chosen_ = MakeTaskFile("电影.td.cfg");
  SendMessageW(Control("Command2"), BM_CLICK, 0, 0);
  EXPECT_EQ(TextOf(Control("Text3")), "电影");
  SetWindowTextW(Control("Text2"), L" http://下载 ");
  SendMessageW(Control("Command1"), BM_CLICK, 0, 0);
  EXPECT_EQ(TextOf(Control("Text2")) + TextOf(Control("Text1")), "http://下载http://下载");
  std::lock_guard lock(mutex);
  EXPECT_EQ(shown, "Orvanta 10 修改完成...");  // one OK button, no icon
}

// Types the chosen path into the real dialog, or cancels it.
TEST_F(Form1Test, OpenDialogReturnsTheChosenFileOrNothing) {
  for (const std::string name : {"下载.td.cfg", "다운로드.td.cfg", ""}) {
    SCOPED_TRACE(name);
    const std::string path = name.empty() ? "" : MakeTaskFile(name);
    std::string title_shown;
    ModalHandler user([&](HWND dialog) {
      title_shown = TextOf(dialog);
      HWND name_box =
          GetDlgItem(dialog, cmb13) ? GetDlgItem(dialog, cmb13) : GetDlgItem(dialog, edt1);
      SetWindowTextW(name_box, Widen(path).c_str());
      PostMessageW(dialog, WM_COMMAND, path.empty() ? IDCANCEL : IDOK, 0);
    });
    std::string chosen = "kept", title = "kept";
    EXPECT_EQ(ShowOpenDialog(form_->hwnd(), "", "", chosen, title), !path.empty());
    EXPECT_EQ(title_shown, "打开文件");
    EXPECT_EQ(PathFromUtf8(chosen), PathFromUtf8(path.empty() ? "kept" : path));
    EXPECT_EQ(title, path.empty() ? "kept" : name);
  }
}

// MSAA names an edit box after the label standing just before it.
TEST_F(Form1Test, EachLabelStandsJustBeforeItsBox) {
  for (const char* n : {"1", "2", "3"}) {
    EXPECT_EQ(GetWindow(Control(("Text" + std::string(n)).c_str()), GW_HWNDPREV),
              Control(("Label" + std::string(n)).c_str()));
  }
}

// The colours the window tells `box` to draw with, as text and background.
std::pair<COLORREF, COLORREF> ColoursOf(HWND form, HWND box) {
  HDC dc = CreateCompatibleDC(nullptr);
  SendMessageW(form, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(box));
  std::pair colours{GetTextColor(dc), GetBkColor(dc)};
  DeleteDC(dc);
  return colours;
}

TEST_F(Form1Test, GreyBoxesAreBlackOnGreyUnlessHighContrastIsOn) {
  int elements[] = {COLOR_WINDOW, COLOR_WINDOWTEXT};
  COLORREF before[] = {GetSysColor(COLOR_WINDOW), GetSysColor(COLOR_WINDOWTEXT)};
  COLORREF dark[] = {RGB(0x20, 0x20, 0x20), RGB(0xEB, 0xEB, 0xEB)};
  const std::pair black_on_grey{RGB(0, 0, 0), RGB(0xE0, 0xE0, 0xE0)}, system{dark[1], dark[0]};
  ASSERT_TRUE(SetSysColors(2, elements, dark));
  EXPECT_EQ(ColoursOf(form_->hwnd(), Control("Text1")), black_on_grey);
  EXPECT_EQ(ColoursOf(form_->hwnd(), Control("Text3")), black_on_grey);
  EXPECT_EQ(ColoursOf(form_->hwnd(), Control("Text2")), system);
  // Switched on while the window is open: the user's colours win.
  high_contrast_ = true;
  SendMessageW(form_->hwnd(), WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
  EXPECT_EQ(ColoursOf(form_->hwnd(), Control("Text1")), system);
  SetSysColors(2, elements, before);
}

}  // namespace
}  // namespace orvanta::win32
