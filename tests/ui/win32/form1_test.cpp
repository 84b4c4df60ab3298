// What only the Win32 window can get wrong; the controller test has the rest.
#include "ui/win32/form1.h"

#include <windows.h>

#include <cderr.h>
#include <gtest/gtest.h>
#include <shlobj.h>

#include <cstring>
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

// Memory the system may hand on, holding `bytes` and then `text`, NUL-ended.
HGLOBAL Global(const std::string& bytes, const std::wstring& text) {
  const std::size_t text_size = (text.size() + 1) * sizeof(wchar_t);
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size() + text_size);
  auto* start = static_cast<char*>(GlobalLock(memory));
  memcpy(start, bytes.data(), bytes.size());
  memcpy(start + bytes.size(), text.c_str(), text_size);
  GlobalUnlock(memory);
  return memory;
}

// Files as Explorer hands them over: wide paths, each NUL-ended, then a NUL.
HGLOBAL MakeDrop(const std::vector<std::string>& paths) {
  const DROPFILES header{sizeof(DROPFILES), {}, FALSE, TRUE};
  std::wstring list;
  for (const std::string& path : paths) list += Widen(path) + L'\0';
  return Global(std::string(reinterpret_cast<const char*>(&header), sizeof header), list);
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

class Form1Test : public ::testing::Test {
 protected:
  void SetUp() override {
    form_ = Form1::Create(GetModuleHandleW(nullptr), [this](HWND) { return chosen_; });
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
  // As the message loop hands a key to the window; the keypad's Enter is
  // Return with the extended-key flag.
  void PressKey(WPARAM key, LPARAM flags = 0) {
    MSG down{GetFocus(), WM_KEYDOWN, key, flags, 0, {}};
    EXPECT_TRUE(form_->HandleDialogKeys(down));
  }
  void PressTab() { PressKey(VK_TAB); }
  void PressEnter(bool keypad) { PressKey(VK_RETURN, keypad ? LPARAM(1) << 24 : 0); }
  void Focus(Control control) { SetFocus(Item(control)); }
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
    DragOnto(Item(box), CF_UNICODETEXT, Global("", Widen(link)));
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

TEST_F(Form1Test, PlaysTheUserSessionBothWindowsShare) {
  auto user = HandleModals([this](HWND box) {
    last_message_ = TextOf(box) + ": " + TextOf(GetDlgItem(box, 0xFFFF));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  });
  EXPECT_EQ(PlayUserSession(*this, folder_, chosen_), kUserSessionSeen);
}

// What the dialog is handed where Windows reads it and where it once went
// wrong; the file chosen handed back whole, and a failure other than Cancel
// told as the dialog's error.
OPENFILENAMEW handed;
std::wstring handed_filter, handed_file, handed_file_title;
constexpr DWORD kChosen = ~DWORD{0};  // the dialog returns a file
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
  if (dialog_error != kChosen) return FALSE;
  wcscpy(dialog->lpstrFile, L"C:\\下载\\다운로드.td.cfg");
  wcscpy(dialog->lpstrFileTitle, L"다운로드.td.cfg");
  return TRUE;
}

TEST_F(Form1Test, OpenDialogIsHandedTheRecordAndToldFailures) {
  late::GetOpenFileNameW.StandIn(RecordDialog);
  late::CommDlgExtendedError.StandIn(RecordedDialogError);
  std::string shown;
  auto user = HandleModals([&](HWND box) {
    shown = TextOf(box) + ": " + TextOf(GetDlgItem(box, 0xFFFF));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  });
  std::string chosen, title;
  for (DWORD error : {kChosen, DWORD{0}, DWORD{FNERR_BUFFERTOOSMALL}, DWORD{CDERR_DIALOGFAILURE}}) {
    dialog_error = error;
    const bool failed = error != kChosen && error != 0;  // not chosen, not cancelled
    shown.clear();
    EXPECT_EQ(ShowOpenDialog(form_->hwnd(), "", "", chosen, title), error == kChosen);
    EXPECT_EQ(chosen + "|" + title, "C:\\下载\\다운로드.td.cfg|다운로드.td.cfg");
    for (int i = 0; i < 100 && shown.empty() && failed; ++i) Sleep(10);
    EXPECT_EQ(shown, !failed ? ""
                             : "mnuFileOpenDialog_Click: Error: " + std::to_string(error) +
                                   (error == FNERR_BUFFERTOOSMALL
                                        ? " The buffer is too small for the file name."
                                        : " The dialog box could not be created."));
  }
  late::GetOpenFileNameW.StandIn(nullptr);
  late::CommDlgExtendedError.StandIn(nullptr);

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
