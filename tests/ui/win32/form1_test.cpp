// What only the Win32 window can get wrong; the controller test has the rest.
#include "ui/win32/form1.h"

#include <windows.h>

#include <cderr.h>
#include <dlgs.h>
#include <gtest/gtest.h>
#include <shlobj.h>

#include <set>
#include <thread>

#include "support/task_file_bytes.h"
#include "taskfile/unicode_text.h"
#include "ui/win32/late_bound.h"
#include "ui/win32/module1.h"
#include "ui/win32/wide_text.h"

namespace orvanta::win32 {
namespace {

using namespace testing;
using std::string_literals::operator""s;

std::string TextOf(HWND window) {
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  return Narrow(text);
}

// Plays the user at modal windows: on a thread of its own, until the
// returned thread goes, hands every dialog window that opens to `handle`,
// which must close it.
std::jthread HandleModals(std::function<void(HWND)> handle) {
  return std::jthread([handle](std::stop_token stop) {
    for (std::set<HWND> handled; !stop.stop_requested(); Sleep(10)) {
      for (HWND box = nullptr; (box = FindWindowExW(nullptr, box, L"#32770", nullptr));) {
        if (IsWindowVisible(box) && handled.insert(box).second) handle(box);
      }
    }
  });
}

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

  HWND Control(form::Control control) { return GetDlgItem(form_->hwnd(), ControlId(control)); }

  TempFolder folder_;
  std::optional<std::string> chosen_;
  bool high_contrast_ = false;
  std::unique_ptr<Form1> form_;
};

// The window places itself from the shared table, at every DPI, and screen
// readers name each box after the label just before it. The grey boxes are
// black on grey unless high contrast is on.
TEST_F(Form1Test, LooksAsTheTableSays) {
  auto rect_of = [](HWND control) {
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
  };
  auto font_height = [](HWND control) {
    LOGFONTW font{};
    GetObjectW(HFONT(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
    return std::abs(font.lfHeight);
  };
  // What the screen shows in a box: the colour of its empty lower right,
  // and the one farthest from it in its first line of text, as RGB in hex.
  auto colours_of = [this](form::Control control) {
    HWND box = Control(control);
    SetWindowTextW(box, L"■■■■■■");
    RedrawWindow(form_->hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT area;
    GetClientRect(box, &area);
    MapWindowPoints(box, nullptr, reinterpret_cast<POINT*>(&area), 2);
    HDC screen = GetDC(nullptr);
    auto lightness = [](COLORREF c) { return GetRValue(c) + GetGValue(c) + GetBValue(c); };
    const COLORREF background = GetPixel(screen, area.right - 4, area.bottom - 4);
    COLORREF text = background;
    for (LONG x = area.left + 2; x < area.left + 40; ++x) {
      const COLORREF seen = GetPixel(screen, x, area.top + 7);
      if (std::abs(lightness(seen) - lightness(background)) >
          std::abs(lightness(text) - lightness(background))) {
        text = seen;
      }
    }
    ReleaseDC(nullptr, screen);
    char shown[32];
    std::snprintf(shown, sizeof shown, "%06lx on %06lx", text, background);
    return std::string(shown);
  };
  RECT client;
  GetClientRect(form_->hwnd(), &client);
  EXPECT_EQ(client.right * 1000 + client.bottom, 462'345);
  EXPECT_EQ(rect_of(Control(form::Control::kCommand1)).left, 264);  // 3960 twips
  const LONG height_at_96 = font_height(Control(form::Control::kText2));
  // RGB(0xE0, 0xE0, 0xE0) as GetPixel gives it, blue first.
  const std::string black_on_grey = "000000 on e0e0e0";
  EXPECT_EQ(colours_of(form::Control::kText3), black_on_grey);
  EXPECT_EQ(colours_of(form::Control::kText1), black_on_grey);
  const std::string system_colours = colours_of(form::Control::kText2);
  EXPECT_NE(system_colours, black_on_grey);
  // In a dark scheme too; the new-address box follows the scheme.
  const int elements[] = {COLOR_WINDOW, COLOR_WINDOWTEXT};
  const COLORREF dark[] = {RGB(0, 0, 0), RGB(0xFF, 0xFF, 0xFF)},
                 saved[] = {GetSysColor(COLOR_WINDOW), GetSysColor(COLOR_WINDOWTEXT)};
  SetSysColors(2, elements, dark);
  EXPECT_EQ(colours_of(form::Control::kText1) + " " + colours_of(form::Control::kText2),
            black_on_grey + " ffffff on 000000");
  SetSysColors(2, elements, saved);

  RECT suggested{10, 10, 10 + 710, 10 + 560};
  SendMessageW(form_->hwnd(), WM_DPICHANGED, MAKEWPARAM(144, 144),
               reinterpret_cast<LPARAM>(&suggested));
  const RECT text2 = rect_of(Control(form::Control::kText2));
  EXPECT_EQ(std::tuple(text2.left, text2.top, text2.right - text2.left), std::tuple(12, 312, 674));
  EXPECT_GT(font_height(Control(form::Control::kText2)), height_at_96);
  for (auto [label, box] : {std::pair{form::Control::kLabel1, form::Control::kText1},
                            {form::Control::kLabel2, form::Control::kText2},
                            {form::Control::kLabel3, form::Control::kText3}}) {
    EXPECT_EQ(GetWindow(Control(box), GW_HWNDPREV), Control(label));
  }
  high_contrast_ = true;  // switched on while the window is open
  SendMessageW(form_->hwnd(), WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
  EXPECT_EQ(colours_of(form::Control::kText1), system_colours);
}

HDROP MakeDrop(const std::vector<std::string>& paths) {
  std::wstring list;
  for (const std::string& path : paths) list += Widen(path) + L'\0';
  const std::size_t size = sizeof(DROPFILES) + (list.size() + 1) * sizeof(wchar_t);
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
  auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
  *header = DROPFILES{};
  header->pFiles = sizeof(DROPFILES);
  header->fWide = TRUE;
  memcpy(header + 1, list.data(), list.size() * sizeof(wchar_t));
  GlobalUnlock(memory);
  return static_cast<HDROP>(memory);
}

// The focus starts in the address box; Tab moves it as IsDialogMessage
// does, in the table's order, past Modify while it is off. Only the address
// box takes drops. Through the controls, each view call reaches its control;
// messages come with the program's title, one OK button and no icon. Only
// wide paths carry Hangul, which code page 936 lacks.
TEST_F(Form1Test, WorksThroughItsControls) {
  auto tab_order = [this] {
    std::string order;
    for (int i = 0; i < 5; ++i) {
      MSG tab{};
      tab.hwnd = GetFocus(), tab.message = WM_KEYDOWN, tab.wParam = VK_TAB;
      EXPECT_TRUE(form_->HandleDialogKeys(tab));
      for (const form::ControlLayout& control : form::kControls) {
        if (Control(control.control) == GetFocus()) order += std::string(control.name) + " ";
      }
    }
    return order;
  };
  EXPECT_EQ(GetFocus(), Control(form::Control::kText1));
  EXPECT_EQ(tab_order(), "Text2 Text3 Command2 Text1 Text2 ");
  chosen_ = folder_.MakeTaskFile("a.td.cfg");
  SendMessageW(Control(form::Control::kCommand2), BM_CLICK, 0, 0);
  SetFocus(Control(form::Control::kText1));
  EXPECT_EQ(tab_order(), "Text2 Command1 Text3 Command2 Text1 ");

  for (form::Control control : {form::Control::kText1, form::Control::kText2, form::Control::kText3,
                                form::Control::kCommand2}) {
    bool accepts = GetWindowLongW(Control(control), GWL_EXSTYLE) & WS_EX_ACCEPTFILES;
    EXPECT_EQ(accepts, control == form::Control::kText1) << form::LayoutOf(control).name;
  }
  std::string shown;  // title, visible buttons and icons, text
  auto user = HandleModals([&](HWND box) {
    int buttons = 0, icons = 0;
    for (HWND child = nullptr; (child = FindWindowExW(box, child, nullptr, nullptr));) {
      if (!IsWindowVisible(child)) continue;
      buttons += (SendMessageW(child, WM_GETDLGCODE, 0, 0) & DLGC_BUTTON) != 0;
      icons += SendMessageW(child, STM_GETICON, 0, 0) != 0;
    }
    shown = TextOf(box) + " " + std::to_string(buttons) + std::to_string(icons) + " " +
            TextOf(GetDlgItem(box, 0xFFFF));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  });
  HDROP drop = MakeDrop({folder_.MakeTaskFile("a.txt"), folder_.MakeTaskFile("영화.td.cfg")});
  SendMessageW(Control(form::Control::kText1), WM_DROPFILES, WPARAM(drop), 0);
  EXPECT_EQ(TextOf(Control(form::Control::kText3)) + TextOf(Control(form::Control::kText1)), "na");

  SetWindowTextW(Control(form::Control::kText2), L" http://下载 ");
  SendMessageW(Control(form::Control::kText2), EM_SETSEL, 100, 100);
  SendMessageW(Control(form::Control::kText2), WM_CHAR, VK_RETURN,
               0);  // Enter after typing: "\r\n"
  SendMessageW(Control(form::Control::kCommand1), BM_CLICK, 0, 0);
  EXPECT_EQ(TextOf(Control(form::Control::kText2)) + TextOf(Control(form::Control::kText1)),
            "http://下载http://下载");
  EXPECT_EQ(shown, "Orvanta 10 修改完成...");
}

// Types the chosen path into the real dialog, or cancels it. Paths of 255
// to 259 characters are ordinary on Windows (Wine's dialog fails at 260).
TEST_F(Form1Test, OpenDialogReturnsTheChosenFileOrNothing) {
  const std::size_t folder_length = PathToUtf8(folder_.path()).size() + 1;
  for (const std::string& name :
       {std::string("다운로드.td.cfg"), std::string(255 - folder_length, 'a'),
        std::string(259 - folder_length, 'b'), std::string()}) {
    const std::string path = name.empty() ? "" : folder_.MakeTaskFile(name);
    std::string title_shown;
    auto user = HandleModals([&](HWND dialog) {
      title_shown = TextOf(dialog);
      SetDlgItemTextW(dialog, GetDlgItem(dialog, cmb13) ? cmb13 : edt1, Widen(path).c_str());
      PostMessageW(dialog, WM_COMMAND, path.empty() ? IDCANCEL : IDOK, 0);
    });
    std::string chosen = "kept", title = "kept";
    EXPECT_EQ(ShowOpenDialog(form_->hwnd(), "", "", chosen, title), !path.empty()) << path.size();
    EXPECT_EQ(PathFromUtf8(chosen), PathFromUtf8(path.empty() ? "kept" : path));
    EXPECT_EQ(title_shown + "|" + title, "打开文件|" + (path.empty() ? "kept" : name));
  }
}

// What the dialog is handed, field by field, as Windows reads it, and a
// failure other than Cancel told as the dialog's error.
OPENFILENAMEW handed;
std::wstring handed_filter, handed_title, handed_file, handed_file_title;
DWORD dialog_error = 0;

BOOL WINAPI RecordDialog(OPENFILENAMEW* dialog) {
  handed = *dialog;
  // Up to and with the two NULs that end the list.
  for (const wchar_t* c = dialog->lpstrFilter; !handed_filter.ends_with(L"\0\0"s); ++c) {
    handed_filter += *c;
  }
  handed_title = dialog->lpstrTitle;
  handed_file.assign(dialog->lpstrFile, dialog->nMaxFile);
  handed_file_title.assign(dialog->lpstrFileTitle, dialog->nMaxFileTitle);
  return FALSE;
}

TEST_F(Form1Test, OpenDialogIsHandedTheRecordAndToldFailures) {
  late::GetOpenFileNameW.StandIn(RecordDialog);
  late::CommDlgExtendedError.StandIn([]() -> DWORD { return dialog_error; });
  std::string shown;
  auto user = HandleModals([&](HWND box) {
    shown = TextOf(box) + ": " + TextOf(GetDlgItem(box, 0xFFFF));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  });
  std::string chosen = "kept", title = "kept";
  for (DWORD error : {DWORD{0}, DWORD{FNERR_BUFFERTOOSMALL}, DWORD{CDERR_DIALOGFAILURE}}) {
    dialog_error = error;
    shown.clear();
    EXPECT_FALSE(ShowOpenDialog(form_->hwnd(), "", "", chosen, title));
    for (int i = 0; i < 100 && shown.empty() && error; ++i) Sleep(10);
    EXPECT_EQ(shown, error == 0 ? ""
                                : "mnuFileOpenDialog_Click: Error: " + std::to_string(error) +
                                      (error == FNERR_BUFFERTOOSMALL
                                           ? " The buffer is too small for the file name."
                                           : " The dialog box could not be created."));
  }
  late::GetOpenFileNameW.StandIn(nullptr);
  late::CommDlgExtendedError.StandIn(nullptr);
  EXPECT_EQ(chosen + title, "keptkept");

  EXPECT_EQ(handed.lStructSize, OPENFILENAME_SIZE_VERSION_400W);
  EXPECT_EQ(handed.hwndOwner, form_->hwnd());
  EXPECT_EQ(handed_filter, L"所有文件(*.*)\0*.*\0\0"s);
  EXPECT_EQ(handed.lpstrCustomFilter, nullptr);
  EXPECT_EQ(handed.nFilterIndex, 1u);
  // Room for the longest path and the longest name, NULs only.
  EXPECT_EQ(handed_file, std::wstring(32768, L'\0'));
  EXPECT_EQ(handed_file_title, std::wstring(256, L'\0'));
  EXPECT_EQ(std::wstring(handed.lpstrInitialDir), L"");
  EXPECT_EQ(handed_title, L"打开文件");
  EXPECT_EQ(handed.Flags, DWORD{OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY});
  EXPECT_EQ(handed.Flags, 0x1804u);
  EXPECT_EQ(std::tuple(handed.hInstance, handed.lpstrDefExt, handed.lpfnHook, handed.lCustData),
            std::tuple(HINSTANCE{}, LPCWSTR{}, LPOFNHOOKPROC{}, LPARAM{}));
}

}  // namespace
}  // namespace orvanta::win32
