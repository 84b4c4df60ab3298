#include "ui/win32/module1.h"

#include <cderr.h>
#include <commdlg.h>

#include <cstddef>
#include <string_view>

#include "ui/form_layout.h"
#include "ui/win32/late_bound.h"
#include "ui/win32/wide_text.h"

namespace orvanta::win32 {
namespace {

// OPENFILENAME_SIZE_VERSION_400W, spelled so that the compiler can check it.
static_assert(sizeof(void*) != 4 || offsetof(OPENFILENAMEW, lpTemplateName) + sizeof(LPCWSTR) == 76,
              "the 32-bit dialog record is 76 bytes long");

// In UTF-16 units, as the wide record counts them, the closing NUL
// included: the longest path Windows allows, and the longest name.
constexpr DWORD kPathBufferSize = 32768;
constexpr DWORD kNameBufferSize = 256;

const char* DescribeDialogError(DWORD code) {
  switch (code) {
    case CDERR_DIALOGFAILURE:
      return "The dialog box could not be created.";
    case CDERR_STRUCTSIZE:
      return "The structure size is invalid.";
    case CDERR_INITIALIZATION:
      return "The dialog box could not be initialized.";
    case CDERR_NOTEMPLATE:
      return "The dialog template is missing.";
    case CDERR_NOHINSTANCE:
      return "The instance handle is missing.";
    case CDERR_LOADSTRFAILURE:
      return "A string could not be loaded.";
    case CDERR_FINDRESFAILURE:
      return "A resource could not be found.";
    case CDERR_LOADRESFAILURE:
      return "A resource could not be loaded.";
    case CDERR_LOCKRESFAILURE:
      return "A resource could not be locked.";
    case CDERR_MEMALLOCFAILURE:
      return "Memory could not be allocated.";
    case CDERR_MEMLOCKFAILURE:
      return "Memory could not be locked.";
    case CDERR_NOHOOK:
      return "The hook procedure is missing.";
    case CDERR_REGISTERMSGFAIL:
      return "A window message could not be registered.";
    case FNERR_SUBCLASSFAILURE:
      return "The list box could not be subclassed.";
    case FNERR_INVALIDFILENAME:
      return "The file name is invalid.";
    case FNERR_BUFFERTOOSMALL:
      return "The buffer is too small for the file name.";
  }
  return "The dialog box could not be shown.";
}

// Pairs of description and pattern separated by NULs, ending in two NULs.
std::wstring WideFilter(const std::string& filter) {
  using std::string_literals::operator""s;
  std::wstring wide = Widen(filter.empty() ? form::kAllFilesName + "(*.*)\0*.*"s : filter);
  while (!wide.empty() && wide.back() == L'\0') wide.pop_back();
  return wide + std::wstring(2, L'\0');
}

void ShowDialogError(HWND owner, DWORD number, const char* description) {
  std::string message = "Error: " + std::to_string(number) + " " + description;
  MessageBoxW(owner, Widen(message).c_str(), L"mnuFileOpenDialog_Click", MB_OK);
}

// The text before the buffer's first NUL; empty when it has none.
std::string TextBeforeNul(const std::wstring& buffer) {
  std::size_t end = buffer.find(L'\0');
  return end == std::wstring::npos ? std::string()
                                   : Narrow(std::wstring_view(buffer).substr(0, end));
}

}  // namespace

bool ShowOpenDialog(HWND owner, const std::string& suggested_name, const std::string& filter,
                    std::string& path, std::string& file_title) {
  const std::wstring wide_filter = WideFilter(filter);
  const std::wstring title = Widen(form::kOpenDialogTitle);
  std::wstring file_buffer = Widen(suggested_name).substr(0, kPathBufferSize - 1);
  file_buffer.resize(kPathBufferSize, L'\0');
  std::wstring title_buffer(kNameBufferSize, L'\0');
  const wchar_t empty[] = L"";

  // The wide dialog: a name outside the ANSI code page (Hangul on a Chinese
  // Windows, say) comes back whole instead of with "?" in it.
  OPENFILENAMEW dialog{};
  // The record without the three fields Windows 2000 added, which only
  // switch on its places bar: 76 bytes in a 32-bit program, 136 in a 64-bit
  // one, where a literal 76 makes the dialog refuse to open.
  dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = wide_filter.c_str();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = file_buffer.data();
  dialog.nMaxFile = kPathBufferSize;
  dialog.lpstrFileTitle = title_buffer.data();
  dialog.nMaxFileTitle = kNameBufferSize;
  dialog.lpstrInitialDir = empty;
  dialog.lpstrTitle = title.c_str();
  dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;

  auto* open_dialog = late::GetOpenFileNameW.get();
  auto* dialog_error = late::CommDlgExtendedError.get();
  if (!open_dialog || !dialog_error) {
    ShowDialogError(owner, GetLastError(), "The dialog library could not be loaded.");
    return false;
  }
  if (!open_dialog(&dialog)) {
    // 0 is Cancel; anything else the user must hear of, or a chosen file
    // would seem to vanish.
    if (const DWORD error = dialog_error(); error != 0) {
      ShowDialogError(owner, error, DescribeDialogError(error));
    }
    return false;
  }
  path = TextBeforeNul(file_buffer);
  file_title = TextBeforeNul(title_buffer);
  return true;
}

}  // namespace orvanta::win32
