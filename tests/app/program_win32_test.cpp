// Orvanta.exe as a whole, started as Windows starts it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/startup_win32.h"
#include "support/task_file_bytes.h"
#include "ui/win32/late_bound.h"
#include "ui/win32/form_controls.h"
#include "ui/win32/wide_text.h"

namespace orvanta::win32 {
namespace {

using namespace testing;

// This test's folder in the build, where the program's place is known from.
std::wstring TestFolder() {
  std::wstring self(MAX_PATH, L'\0');
  self.resize(GetModuleFileNameW(nullptr, self.data(), MAX_PATH));
  return self.substr(0, self.find_last_of(L'\\') + 1);
}

// The program, found from there.
std::wstring ProgramPath() { return TestFolder() + Widen(ORVANTA_EXE_FROM_TEST); }

// The program as the user starts it, until the test ends: closed through its
// window, or ended when it does not close. Tests run one at a time, so its
// window is the only one of its class.
class StartedProgram {
 public:
  StartedProgram(const std::wstring& exe, const std::wstring& argument) {
    std::wstring command = L"\"" + exe + L"\" \"" + argument + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process_)) {
      return;
    }
    for (int tries = 0; !window_ && tries < 100; ++tries, Sleep(100))
      window_ = FindWindowW(L"OrvantaForm1", nullptr);
  }
  // Closed as the user closes it: the program must end with its window.
  ~StartedProgram() {
    PostMessageW(window_, WM_CLOSE, 0, 0);
    const bool ended = WaitForSingleObject(process_.hProcess, 10000) == WAIT_OBJECT_0;
    EXPECT_TRUE(ended || !window_) << "the program outlived its window";
    if (!ended) TerminateProcess(process_.hProcess, 1);
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
  }

  HWND Control(form::Control control) const { return GetDlgItem(window_, ControlId(control)); }

  // The first dialog or message box of the program to open within ten
  // seconds, told to close; its title, or "" when none opened.
  std::string CloseDialog() const {
    wchar_t title[64] = {};
    for (int tries = 0; tries < 100; ++tries, Sleep(100)) {
      for (HWND box = nullptr; (box = FindWindowExW(nullptr, box, L"#32770", nullptr));) {
        DWORD owner = 0;
        GetWindowThreadProcessId(box, &owner);
        if (owner != process_.dwProcessId || !IsWindowVisible(box)) continue;
        GetWindowTextW(box, title, 64);
        PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
        return Narrow(title);
      }
    }
    return "";
  }

 private:
  PROCESS_INFORMATION process_{};
  HWND window_ = nullptr;
};

// A file dropped on the exe, or opened with it from Explorer, arrives as an
// argument; Hangul has no place in code page 936, so only a wide command
// line carries it whole.
TEST(Program, OpensTheFileItIsStartedWith) {
  TempFolder folder;
  const std::string path =
      folder.MakeTaskFile("다운로드.td.cfg", {.name = "n", .address = "http://from/argument"});
  StartedProgram program(ProgramPath(), Widen(path));
  wchar_t address[64] = {};
  SendMessageW(program.Control(form::Control::kText1), WM_GETTEXT, 64,
               reinterpret_cast<LPARAM>(address));
  EXPECT_EQ(Narrow(address), "http://from/argument");
}

// Started from a Downloads folder where a "comdlg32.dll" waits beside it,
// the program opens its dialog with the system's. Wine would take the
// system's own in any case; told to prefer a DLL found on the search path,
// it loads the planted one unless the program narrowed that path.
TEST(Program, LoadsNoDllPlantedBesideIt) {
  TempFolder downloads;
  const std::wstring exe = Widen(PathToUtf8(downloads / "Orvanta.exe"));
  ASSERT_TRUE(CopyFileW(ProgramPath().c_str(), exe.c_str(), TRUE));
  ASSERT_TRUE(CopyFileW((TestFolder() + L"planted.dll").c_str(),
                        (downloads / "comdlg32.dll").c_str(), TRUE));
  const wchar_t overrides[] = L"Software\\Wine\\AppDefaults\\Orvanta.exe\\DllOverrides";
  const wchar_t native_first[] = L"native,builtin";
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, overrides, L"comdlg32", REG_SZ, native_first,
                            sizeof native_first),
            ERROR_SUCCESS);
  std::string dialog;
  {
    StartedProgram program(exe, L"");
    PostMessageW(program.Control(form::Control::kCommand2), BM_CLICK, 0, 0);
    dialog = program.CloseDialog();
  }
  RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\Orvanta.exe");
  EXPECT_FALSE(std::filesystem::exists(downloads / "planted-loaded"));
  EXPECT_EQ(dialog, "打开文件");
}

// The same, read back in this process, where "planted.dll" lies beside the
// exe: a function bound late comes from the system folder even where the
// search could not be narrowed, and once narrowed, the search passes the
// exe's folder by.
TEST(Program, TakesItsDllsFromTheSystemFolderOnly) {
  const std::wstring marker = TestFolder() + L"planted-loaded";
  DeleteFileW(marker.c_str());
  LateBound<int()> beside_the_exe{L"planted.dll", "DllMain"};
  EXPECT_EQ(beside_the_exe.get(), nullptr);
  LoadDllsFromSystemFolderOnly();
  EXPECT_EQ(LoadLibraryW(L"planted.dll"), nullptr);
  EXPECT_FALSE(std::filesystem::exists(marker));
}

}  // namespace
}  // namespace orvanta::win32
