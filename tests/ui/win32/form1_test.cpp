#include "ui/win32/form1.h"

#include <windows.h>

#include <commctrl.h>
#include <dlgs.h>
#include <gtest/gtest.h>
#include <shlobj.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>

#include "support/task_file_bytes.h"
#include "taskfile/unicode_text.h"
#include "ui/form_layout.h"
#include "ui/win32/module1.h"
#include "ui/win32/wide_text.h"

namespace orvanta::win32 {
namespace {

using testing::BuildTaskFile;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

std::string TextOf(HWND window) {
  // The length may be larger than the text, for a window made with ANSI text.
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)), L'\0');
  text.resize(static_cast<std::size_t>(
      GetWindowTextW(window, text.data(), static_cast<int>(text.size() + 1))));
  return Narrow(text);
}

// Plays the user at modal windows: on a thread of its own it hands every
// dialog window that the test's thread shows to `handle`, which must close it.
class ModalHandler {
 public:
  explicit ModalHandler(std::function<void(HWND)> handle)
      : ui_thread_(GetCurrentThreadId()), handle_(std::move(handle)), thread_([this] { Run(); }) {}
  ~ModalHandler() {
    stop_ = true;
    thread_.join();
  }

 private:
  void Run() {
    std::set<HWND> handled;
    while (!stop_) {
      std::vector<HWND> dialogs;
      EnumThreadWindows(ui_thread_, Collect, reinterpret_cast<LPARAM>(&dialogs));
      for (HWND dialog : dialogs) {
        if (handled.insert(dialog).second) handle_(dialog);
      }
      Sleep(10);
    }
  }

  static BOOL CALLBACK Collect(HWND window, LPARAM dialogs) {
    if (ClassOf(window) == L"#32770" && IsWindowVisible(window)) {
      reinterpret_cast<std::vector<HWND>*>(dialogs)->push_back(window);
    }
    return TRUE;
  }

  DWORD ui_thread_;
  std::function<void(HWND)> handle_;
  std::atomic<bool> stop_ = false;
  std::thread thread_;
};

struct ShownMessage {
  std::string title, text;
  int visible_buttons = 0;
  bool has_icon = false;
};

// Closes every message box with OK, keeping what it showed.
class MessageRecorder {
 public:
  MessageRecorder() : handler_([this](HWND box) { Record(box); }) {}

  std::vector<ShownMessage> messages() {
    std::lock_guard lock(mutex_);
    return messages_;
  }

 private:
  static BOOL CALLBACK Inspect(HWND child, LPARAM shown_message) {
    auto* shown = reinterpret_cast<ShownMessage*>(shown_message);
    if (!IsWindowVisible(child)) return TRUE;
    if (ClassOf(child) == L"Button") ++shown->visible_buttons;
    bool icon = (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
    if (ClassOf(child) == L"Static" && icon && SendMessageW(child, STM_GETICON, 0, 0)) {
      shown->has_icon = true;
    }
    return TRUE;
  }

  void Record(HWND box) {
    ShownMessage shown;
    shown.title = TextOf(box);
    shown.text = TextOf(GetDlgItem(box, 0xFFFF));
    EnumChildWindows(box, Inspect, reinterpret_cast<LPARAM>(&shown));
    {
      std::lock_guard lock(mutex_);
      messages_.push_back(shown);
    }
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  }

  std::mutex mutex_;
  std::vector<ShownMessage> messages_;
  ModalHandler handler_;
};

class Form1Test : public ::testing::Test {
 protected:
  void SetUp() override {
    form_ = Form1::Create(GetModuleHandleW(nullptr), [this](HWND) { return chosen_; });
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
  void Click(const char* button) { SendMessageW(Control(button), BM_CLICK, 0, 0); }

  std::string MakeTaskFile(const std::string& name, const testing::TaskFileParts& parts) {
    auto path = folder_ / name;
    WriteBytes(path, BuildTaskFile(parts));
    return PathToUtf8(path);
  }

  TempFolder folder_;
  std::optional<std::string> chosen_;
  std::unique_ptr<Form1> form_;
};

RECT ClientRectOf(HWND control) {
  RECT rect;
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

TEST_F(Form1Test, ControlsStandWhereTheyBelongAt96Dpi) {
  RECT client;
  GetClientRect(form_->hwnd(), &client);
  EXPECT_EQ(client.right, 462);
  EXPECT_EQ(client.bottom, 345);
  for (const form::ControlLayout& layout : form::kControls) {
    SCOPED_TRACE(layout.name);
    HWND control = Control(layout.name);
    RECT rect = ClientRectOf(control);
    EXPECT_EQ(rect.left, layout.left / 15);
    EXPECT_EQ(rect.top, layout.top / 15);
    EXPECT_EQ(rect.right - rect.left, layout.width / 15);
    EXPECT_EQ(rect.bottom - rect.top, layout.height / 15);
    EXPECT_EQ(TextOf(control), layout.text);
    if (layout.kind == form::ControlKind::kTextBox) {
      LONG style = GetWindowLongW(control, GWL_STYLE);
      EXPECT_TRUE(style & ES_MULTILINE);
      EXPECT_TRUE(style & WS_VSCROLL);
    }
  }
}

TEST_F(Form1Test, OpensCentredEmptyWithModifyDisabledAndFocusInTheAddressBox) {
  RECT window, work;
  GetWindowRect(form_->hwnd(), &window);
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  EXPECT_NEAR(window.left - work.left, work.right - window.right, 1);
  EXPECT_NEAR(window.top - work.top, work.bottom - window.bottom, 1);
  EXPECT_EQ(TextOf(form_->hwnd()).substr(0, 10), "Orvanta - ");
  EXPECT_FALSE(IsWindowEnabled(Control("Command1")));
  EXPECT_TRUE(IsWindowEnabled(Control("Command2")));
  EXPECT_EQ(GetFocus(), Control("Text1"));
}

TEST_F(Form1Test, GreysTheBoxesThatShowTheFile) {
  HDC dc = GetDC(form_->hwnd());
  for (const char* name : {"Text1", "Text2", "Text3"}) {
    auto brush = reinterpret_cast<HBRUSH>(SendMessageW(form_->hwnd(), WM_CTLCOLOREDIT,
                                                       reinterpret_cast<WPARAM>(dc),
                                                       reinterpret_cast<LPARAM>(Control(name))));
    LOGBRUSH colour{};
    GetObjectW(brush, sizeof colour, &colour);
    EXPECT_EQ(colour.lbColor == RGB(224, 224, 224), std::string(name) != "Text2") << name;
  }
  ReleaseDC(form_->hwnd(), dc);
}

// The focus after each of five Tab keys, as IsDialogMessage moves it.
std::vector<std::string> TabOrder(Form1& form) {
  std::vector<std::string> order;
  SetFocus(form.Control("Text1"));
  for (int i = 0; i < 5; ++i) {
    MSG tab{GetFocus(), WM_KEYDOWN, VK_TAB, 0, 0, {}};
    EXPECT_TRUE(form.HandleDialogKeys(tab));
    for (const auto& layout : form::kControls) {
      if (form.Control(layout.name) == GetFocus()) order.push_back(layout.name);
    }
  }
  return order;
}

TEST_F(Form1Test, TabMovesTheFocusInOrder) {
  EXPECT_EQ(TabOrder(*form_),
            (std::vector<std::string>{"Text2", "Text3", "Command2", "Text1", "Text2"}));
  chosen_ = MakeTaskFile("a.td.cfg", {.address = "a"});
  Click("Command2");
  EXPECT_EQ(TabOrder(*form_),
            (std::vector<std::string>{"Text2", "Command1", "Text3", "Command2", "Text1"}));
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

TEST_F(Form1Test, LoadsFilesDroppedOnTheAddressBoxOnly) {
  const std::string chinese = MakeTaskFile("电影.mkv.td.cfg", {.address = "http://h/one"});
  const std::string hangul = MakeTaskFile("영화.td.cfg", {.address = "http://h/two"});
  const std::string other = MakeTaskFile("other.txt", {.address = "three"});

  SendMessageW(Control("Text1"), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({chinese})), 0);
  EXPECT_EQ(TextOf(Control("Text3")), "电影.mkv");
  EXPECT_EQ(TextOf(Control("Text1")), "http://h/one");

  SendMessageW(Control("Text1"), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({other, hangul})),
               0);
  EXPECT_EQ(TextOf(Control("Text3")), "영화");
  EXPECT_EQ(TextOf(Control("Text1")), "http://h/two");

  SendMessageW(Control("Text1"), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({other})), 0);
  EXPECT_EQ(TextOf(Control("Text1")) + TextOf(Control("Text3")), "");
  EXPECT_TRUE(IsWindowEnabled(Control("Command1")));

  for (const auto& layout : form::kControls) {
    bool accepts = GetWindowLongW(Control(layout.name), GWL_EXSTYLE) & WS_EX_ACCEPTFILES;
    EXPECT_EQ(accepts, std::string(layout.name) == "Text1") << layout.name;
  }
  EXPECT_FALSE(GetWindowLongW(form_->hwnd(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
}

TEST_F(Form1Test, ModifyRewritesTheFileAndSaysSo) {
  chosen_ = MakeTaskFile("a.td.cfg", {.name = "n", .address = "old", .remainder = "tail"});
  Click("Command2");
  SetWindowTextW(Control("Text2"), L"  http://new/文件  ");
  MessageRecorder recorder;
  Click("Command1");

  auto messages = recorder.messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "修改完成...");
  EXPECT_EQ(messages[0].title, "Orvanta");
  EXPECT_EQ(messages[0].visible_buttons, 1);
  EXPECT_FALSE(messages[0].has_icon);
  EXPECT_EQ(TextOf(Control("Text2")), "http://new/文件");
  EXPECT_EQ(TextOf(Control("Text1")), "http://new/文件");
  EXPECT_EQ(
      ReadBytes(PathFromUtf8(*chosen_)),
      BuildTaskFile({.name = "n", .address = "http://new/\xCE\xC4\xBC\xFE", .remainder = "tail"}));
}

// Answers the open-file dialog: types `path` into its name box and presses
// Open, or presses Cancel when `path` is empty.
class FileDialogUser {
 public:
  explicit FileDialogUser(std::string path)
      : handler_([this, path](HWND dialog) {
          {
            std::lock_guard lock(mutex_);
            title_ = TextOf(dialog);
          }
          if (path.empty()) {
            PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
            return;
          }
          HWND name_box =
              GetDlgItem(dialog, cmb13) ? GetDlgItem(dialog, cmb13) : GetDlgItem(dialog, edt1);
          SetWindowTextW(name_box, Widen(path).c_str());
          PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        }) {}

  std::string title() {
    std::lock_guard lock(mutex_);
    return title_;
  }

 private:
  std::mutex mutex_;
  std::string title_;
  ModalHandler handler_;
};

// Hangul has no place in code page 936: only the wide dialog returns it.
TEST_F(Form1Test, OpenDialogReturnsTheChosenFile) {
  for (const std::string name : {"下载.td.cfg", "다운로드.td.cfg"}) {
    const std::string path = MakeTaskFile(name, {.address = "a"});
    std::string chosen, title;
    FileDialogUser user(path);
    ASSERT_TRUE(ShowOpenDialog(form_->hwnd(), "", "", chosen, title));
    EXPECT_EQ(user.title(), "打开文件");
    EXPECT_EQ(PathFromUtf8(chosen), PathFromUtf8(path));
    EXPECT_EQ(title, name);
  }
}

TEST_F(Form1Test, OpenDialogCancelLeavesTheOutputs) {
  std::string chosen = "kept", title = "kept too";
  FileDialogUser user("");
  EXPECT_FALSE(ShowOpenDialog(form_->hwnd(), "", "", chosen, title));
  EXPECT_EQ(chosen, "kept");
  EXPECT_EQ(title, "kept too");
}

// MSAA names an edit box after the label standing just before it.
TEST_F(Form1Test, EachLabelStandsJustBeforeItsBox) {
  for (const auto& [box, label] :
       {std::pair{"Text1", "Label1"}, std::pair{"Text2", "Label2"}, std::pair{"Text3", "Label3"}}) {
    EXPECT_EQ(GetWindow(Control(box), GW_HWNDPREV), Control(label)) << box;
  }
}

struct Colours {
  COLORREF text, background;
  bool operator==(const Colours&) const = default;
};

// What the window tells `box` to draw with, as Windows asks it when painting.
Colours ColoursOf(HWND form, HWND box) {
  HDC dc = CreateCompatibleDC(nullptr);
  SendMessageW(form, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(box));
  Colours colours{GetTextColor(dc), GetBkColor(dc)};
  DeleteDC(dc);
  return colours;
}

Colours SystemColours() { return {GetSysColor(COLOR_WINDOWTEXT), GetSysColor(COLOR_WINDOW)}; }

TEST(Form1Colours, GreyBoxesAreBlackOnGreyUnlessHighContrastIsOn) {
  bool high_contrast = false;
  auto form = Form1::Create(GetModuleHandleW(nullptr), {}, [&] { return high_contrast; });
  ASSERT_TRUE(form);
  const Colours black_on_grey{RGB(0, 0, 0), RGB(0xE0, 0xE0, 0xE0)};
  HWND grey_box = form->Control("Text1"), plain_box = form->Control("Text2");
  EXPECT_EQ(ColoursOf(form->hwnd(), grey_box), black_on_grey);
  EXPECT_EQ(ColoursOf(form->hwnd(), plain_box), SystemColours());

  // Dark system colours: the grey keeps its black text.
  int elements[] = {COLOR_WINDOW, COLOR_WINDOWTEXT};
  COLORREF before[] = {GetSysColor(COLOR_WINDOW), GetSysColor(COLOR_WINDOWTEXT)};
  COLORREF dark[] = {RGB(0x20, 0x20, 0x20), RGB(0xEB, 0xEB, 0xEB)};
  ASSERT_TRUE(SetSysColors(2, elements, dark));
  EXPECT_EQ(ColoursOf(form->hwnd(), grey_box), black_on_grey);
  EXPECT_EQ(ColoursOf(form->hwnd(), plain_box), (Colours{dark[1], dark[0]}));

  // High contrast, switched on while the window is open: the user's colours.
  high_contrast = true;
  SendMessageW(form->hwnd(), WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
  EXPECT_EQ(ColoursOf(form->hwnd(), grey_box), (Colours{dark[1], dark[0]}));
  SetSysColors(2, elements, before);
  form.reset();
  MSG quit;
  PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
}

TEST_F(Form1Test, LaysOutAgainWhenTheDpiChanges) {
  auto font_height = [](HWND control) {
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font,
               &font);
    return std::abs(font.lfHeight);
  };
  const LONG height_at_96 = font_height(Control("Text2"));
  RECT suggested{10, 10, 10 + 710, 10 + 560};
  SendMessageW(form_->hwnd(), WM_DPICHANGED, MAKEWPARAM(144, 144),
               reinterpret_cast<LPARAM>(&suggested));
  RECT rect = ClientRectOf(Control("Text2"));
  EXPECT_EQ(rect.left, 12);
  EXPECT_EQ(rect.top, 312);
  EXPECT_EQ(rect.right - rect.left, 674);  // 6735 twips at 144 DPI, rounded
  EXPECT_GT(font_height(Control("Text2")), height_at_96);
  RECT window;
  GetWindowRect(form_->hwnd(), &window);
  EXPECT_EQ(window.right - window.left, 710);
}

}  // namespace
}  // namespace orvanta::win32
