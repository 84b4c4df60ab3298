#include <windows.h>

#include <string>

#include "taskfile/system_error.h"
#include "taskfile/unicode_text.h"

namespace orvanta {
namespace {

ErrorKind KindOf(std::int64_t code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH:
      return ErrorKind::kNotFound;
    case ERROR_ACCESS_DENIED:
      return ErrorKind::kAccessDenied;
    case ERROR_WRITE_PROTECT:
      return ErrorKind::kReadOnly;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ErrorKind::kNoSpace;
    case ERROR_FILENAME_EXCED_RANGE:
      return ErrorKind::kNameTooLong;
    default:
      return ErrorKind::kOther;
  }
}

// Without the trailing line end and full stop FormatMessage adds, so that
// the text reads well inside a longer message.
std::string SystemText(DWORD code) {
  wchar_t* text = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::u16string message;
  if (length > 0) message.assign(reinterpret_cast<const char16_t*>(text), length);
  LocalFree(text);
  while (!message.empty() && (message.back() == u'\n' || message.back() == u'\r' ||
                              message.back() == u' ' || message.back() == u'.')) {
    message.pop_back();
  }
  return Utf16ToUtf8(message);
}

}  // namespace

SystemError SystemErrorFrom(std::int64_t code) {
  return {KindOf(code), SystemText(static_cast<DWORD>(code)), code};
}

SystemError LastSystemError() { return SystemErrorFrom(GetLastError()); }

}  // namespace orvanta
