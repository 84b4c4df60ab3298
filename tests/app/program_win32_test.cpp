// Orvanta.exe as a whole, started as Windows starts it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/startup_win32.h"
#include "support/task_file_bytes.h"
#include "ui/win32/form_controls.h"
#include "ui/win32/wide_text.h"

namespace orvanta::win32 {
namespace {

using namespace testing;

// The program, found from this test's own place in the build.
std::wstring ProgramPath() {
  std::wstring self(MAX_PATH, L'\0');
  self.resize(GetModuleFileNameW(nullptr, self.data(), MAX_PATH));
  return self.substr(0, self.find_last_of(L'\\') + 1) + Widen(ORVANTA_EXE_FROM_TEST);
}

// A file dropped on the exe, or opened with it from Explorer, arrives as an
// argument; Hangul has no place in code page 936, so only a wide command
// line carries it whole.
TEST(Program, OpensTheFileItIsStartedWith) {
  TempFolder folder;
  const std::string path =
      folder.MakeTaskFile("다운로드.td.cfg", {.name = "n", .address = "http://from/argument"});
  std::wstring command = L"\"" + ProgramPath() + L"\" \"" + Widen(path) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &process));
  HWND window = nullptr;  // the only one: tests run one at a time
  for (int tries = 0; !window && tries < 100; ++tries, Sleep(100))
    window = FindWindowW(L"OrvantaForm1", nullptr);
  wchar_t address[64] = {};
  SendMessageW(GetDlgItem(window, ControlId(form::Control::kText1)), WM_GETTEXT, 64,
               reinterpret_cast<LPARAM>(address));
  PostMessageW(window, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0)
    TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  EXPECT_EQ(Narrow(address), "http://from/argument");
}

// planted.dll lies beside this test as it would beside Orvanta.exe in a
// Downloads folder.
TEST(Program, LoadsNoDllPlantedBesideIt) {
  HMODULE planted = LoadLibraryW(L"planted.dll");
  ASSERT_TRUE(planted) << "without the start-up code, the DLL beside the exe loads";
  FreeLibrary(planted);
  ASSERT_TRUE(LoadDllsFromSystemFolderOnly());
  EXPECT_EQ(LoadLibraryW(L"planted.dll"), nullptr);
  EXPECT_TRUE(LoadLibraryW(L"comdlg32.dll")) << "the system's own DLLs still load";
}

}  // namespace
}  // namespace orvanta::win32
