// Stands for a DLL an attacker leaves beside a downloaded exe, under the
// name of one the exe loads late: once loaded, it leaves "planted-loaded"
// beside itself.
#include <windows.h>

#include <string>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  std::wstring path(MAX_PATH, L'\0');
  path.resize(GetModuleFileNameW(self, path.data(), MAX_PATH));
  path = path.substr(0, path.find_last_of(L'\\') + 1) + L"planted-loaded";
  CloseHandle(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  return TRUE;
}
