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
#include "ui/user_session.h"
#include "ui/win32/late_bound.h"
#include "ui/win32/module1.h"
#include "ui/win32/wide_text.h"

namespace orvanta::win32 {
namespace {

using namespace testing;
using form::Control;
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

// The user's hand at the end of a drag: it goes on over the box twice, so
// that the box sees the drag enter and move, then lets go.
class LetGoOverTheBox final : public IDropSource {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    *object = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDropSource) ? this : nullptr;
    return *object ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }  // lives on the stack
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL, DWORD) override {
    return ++asked_ > 2 ? DRAGDROP_S_DROP : S_OK;
  }
  HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }

 private:
  int asked_ = 0;
};

// Drags `data` in `format` onto the middle of `box` as another program does:
// the system's own data object (the clipboard's) and its own DoDragDrop,
// which finds the box under the mouse and calls what it registered.
void DragOnto(HWND box, UINT format, HGLOBAL data) {
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  SetClipboardData(format, data);
  CloseClipboard();
  IDataObject* dragged = nullptr;
  ASSERT_EQ(OleGetClipboard(&dragged), S_OK);
  RECT area;
  GetWindowRect(box, &area);
  SetCursorPos((area.left + area.right) / 2, (area.top + area.bottom) / 2);
  LetGoOverTheBox hand;
  DWORD effect = DROPEFFECT_NONE;
  DoDragDrop(dragged, &hand, DROPEFFECT_COPY, &effect);
  dragged->Release();
}

HGLOBAL MakeText(const std::string& text) {
  const std::wstring wide = Widen(text);
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (wide.size() + 1) * sizeof(wchar_t));
  memcpy(GlobalLock(memory), wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
  GlobalUnlock(memory);
  return memory;
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
  void TearDown() override { form_.reset(); }

 public:  // the user session's window at hand
  std::string FocusedName() {
    for (const form::ControlLayout& control : form::kControls) {
      if (Item(control.control) == GetFocus()) return control.name;
    }
    return "none";
  }
  void PressTab() {
    MSG tab{};
    tab.hwnd = GetFocus(), tab.message = WM_KEYDOWN, tab.wParam = VK_TAB;
    EXPECT_TRUE(form_->HandleDialogKeys(tab));
  }
  void Focus(Control control) { SetFocus(Item(control)); }
  void Click(Control button) { SendMessageW(Item(button), BM_CLICK, 0, 0); }
  // Old programs' drops go where WS_EX_ACCEPTFILES is; OLE drags to a
  // window registered as a drop target, which OLE marks with a property.
  bool TakesDrops(Control control) {
    const LONG styles =
        GetWindowLongW(Item(control), GWL_EXSTYLE) | GetWindowLongW(form_->hwnd(), GWL_EXSTYLE);
    return (styles & WS_EX_ACCEPTFILES) || GetPropW(Item(control), L"OleDropTargetInterface");
  }
  // The system hands an old program's drop only to a window that takes files.
  void DropOnAddressBox(const std::vector<std::string>& paths) {
    HWND box = Item(Control::kText1);
    if (!(GetWindowLongW(box, GWL_EXSTYLE) & WS_EX_ACCEPTFILES)) return;
    SendMessageW(box, WM_DROPFILES, WPARAM(MakeDrop(paths)), 0);
  }
  void DragFiles(Control box, const std::vector<std::string>& paths) {
    DragOnto(Item(box), CF_HDROP, MakeDrop(paths));
  }
  void DragLink(Control box, const std::string& link) {
    DragOnto(Item(box), CF_UNICODETEXT, MakeText(link));
  }
  // As the message loop hands a key to the window; the keypad's Enter is
  // Return with the extended-key flag.
  void PressEnter(bool keypad) {
    MSG enter{};
    enter.hwnd = GetFocus(), enter.message = WM_KEYDOWN, enter.wParam = VK_RETURN;
    enter.lParam = keypad ? LPARAM(1) << 24 : 0;
    EXPECT_TRUE(form_->HandleDialogKeys(enter));
  }
  void TypeAndPressEnter(const std::string& text) {
    SetWindowTextW(Item(Control::kText2), Widen(text).c_str());
    SendMessageW(Item(Control::kText2), EM_SETSEL, 100, 100);
    SendMessageW(Item(Control::kText2), WM_CHAR, VK_RETURN, 0);  // adds "\r\n"
  }
  std::string Text(Control box) { return TextOf(Item(box)); }
  std::string LastMessage() { return last_message_; }

 protected:
  HWND Item(Control control) { return GetDlgItem(form_->hwnd(), ControlId(control)); }

  TempFolder folder_;
  std::optional<std::string> chosen_;
  bool high_contrast_ = false;
  std::string last_message_;
  std::unique_ptr<Form1> form_;
};

// Screen readers name each box after the label just before it.
TEST_F(Form1Test, NamesEachBoxAfterItsLabel) {
  for (auto [label, box] : {std::pair{Control::kLabel1, Control::kText1},
                            {Control::kLabel2, Control::kText2},
                            {Control::kLabel3, Control::kText3}}) {
    EXPECT_EQ(GetWindow(Item(box), GW_HWNDPREV), Item(label));
  }
}

// A message box's buttons are the children that answer as buttons; its icon
// the one that holds an icon.
TEST_F(Form1Test, PlaysTheUserSessionBothWindowsShare) {
  auto user = HandleModals([this](HWND box) {
    int buttons = 0, icons = 0;
    for (HWND child = nullptr; (child = FindWindowExW(box, child, nullptr, nullptr));) {
      if (!IsWindowVisible(child)) continue;
      buttons += (SendMessageW(child, WM_GETDLGCODE, 0, 0) & DLGC_BUTTON) != 0;
      icons += SendMessageW(child, STM_GETICON, 0, 0) != 0;
    }
    const bool plain = buttons == 1 && icons == 0;
    last_message_ = TextOf(box) + (plain ? " plain: " : ": ") + TextOf(GetDlgItem(box, 0xFFFF));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  });
  EXPECT_EQ(PlayUserSession(*this, folder_, chosen_), kUserSessionSeen);
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

// What the dialog is handed where Windows reads it and where it once went
// wrong, and a failure other than Cancel told as the dialog's error.
OPENFILENAMEW handed;
std::wstring handed_filter, handed_file, handed_file_title;
DWORD dialog_error = 0;

DWORD WINAPI RecordedDialogError() { return dialog_error; }

BOOL WINAPI RecordDialog(OPENFILENAMEW* dialog) {
  handed = *dialog;
  // Up to and with the two NULs that end the list.
  for (const wchar_t* c = dialog->lpstrFilter; !handed_filter.ends_with(L"\0\0"s); ++c) {
    handed_filter += *c;
  }
  handed_file.assign(dialog->lpstrFile, dialog->nMaxFile);
  handed_file_title.assign(dialog->lpstrFileTitle, dialog->nMaxFileTitle);
  return FALSE;
}

TEST_F(Form1Test, OpenDialogIsHandedTheRecordAndToldFailures) {
  late::GetOpenFileNameW.StandIn(RecordDialog);
  late::CommDlgExtendedError.StandIn(RecordedDialogError);
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

  // Without the fields of Windows 2000: 76 bytes in a 32-bit exe, 136 in a 64-bit one.
  EXPECT_EQ(handed.lStructSize, sizeof(void*) == 4 ? 76u : 136u);
  EXPECT_EQ(handed_filter, L"所有文件(*.*)\0*.*\0\0"s);
  // Room for the longest path and the longest name, NULs only.
  EXPECT_EQ(handed_file, std::wstring(32768, L'\0'));
  EXPECT_EQ(handed_file_title, std::wstring(256, L'\0'));
  EXPECT_EQ(handed.Flags, 0x1804u);  // must exist, path must exist, no read-only box
}

}  // namespace
}  // namespace orvanta::win32
