#include "taskfile/long_path_win32.h"

#include <windows.h>

namespace orvanta {

std::wstring LongPathForm(const FilePath& path) {
  const std::wstring& given = path.native();
  if (given.empty() || given.starts_with(L"\\\\?\\") || given.starts_with(L"\\\\.\\")) {
    return given;
  }
  const DWORD size = GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
  std::wstring full(size, L'\0');
  const DWORD length = GetFullPathNameW(given.c_str(), size, full.data(), nullptr);
  if (length == 0 || length >= size) return given;
  full.resize(length);
  if (full.starts_with(L"\\\\?\\") || full.starts_with(L"\\\\.\\")) return full;
  if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

FilePath UsualPathForm(const std::wstring& path) {
  if (path.starts_with(L"\\\\?\\UNC\\")) return L"\\\\" + path.substr(8);
  if (path.starts_with(L"\\\\?\\")) return path.substr(4);
  return path;
}

}  // namespace orvanta
