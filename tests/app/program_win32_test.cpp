// Orvanta.exe as a whole, started as Windows starts it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/task_file_bytes.h"
#include "ui/win32/form_controls.h"
#include "ui/win32/late_bound.h"
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

  // Has the running program load `dll` by name, as a shell extension or a
  // system DLL it calls would, from a thread started in it.
  void LoadInIt(const std::wstring& dll) const {
    const std::size_t size = (dll.size() + 1) * sizeof(wchar_t);
    void* name = VirtualAllocEx(process_.hProcess, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
    WriteProcessMemory(process_.hProcess, name, dll.c_str(), size, nullptr);
    auto* load = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "LoadLibraryW")));
    HANDLE thread = CreateRemoteThread(process_.hProcess, nullptr, 0, load, name, 0, nullptr);
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
  }

  // The first dialog or message box to open within ten seconds (the
  // program's: tests run one at a time), told to close; its title, or "".
  std::string CloseDialog() const {
    wchar_t title[64] = {};
    for (int tries = 0; tries < 100; ++tries, Sleep(100)) {
      HWND box = FindWindowW(L"#32770", nullptr);
      if (!box || !IsWindowVisible(box)) continue;
      GetWindowTextW(box, title, 64);
      PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
      break;
    }
    return Narrow(title);
  }

 private:
  PROCESS_INFORMATION process_{};
  HWND window_ = nullptr;
};

// The program copied into `downloads`, with the planted DLL beside it as
// `dll`, as an attacker leaves one beside a downloaded exe.
std::wstring CopiedBesidePlantedDll(const TempFolder& downloads, const char* dll) {
  const std::wstring exe = Widen(PathToUtf8(downloads / "Orvanta.exe"));
  EXPECT_TRUE(CopyFileW(ProgramPath().c_str(), exe.c_str(), TRUE));
  EXPECT_TRUE(CopyFileW((TestFolder() + L"planted.dll").c_str(), (downloads / dll).c_str(), TRUE));
  return exe;
}

// Started from a Downloads folder where a "comdlg32.dll" waits beside it,
// the program opens its dialog with the system's. Wine would take the
// system's own in any case; told to prefer a DLL found on the search path,
// it loads the planted one unless the program narrowed that path.
TEST(Program, LoadsNoDllPlantedBesideIt) {
  TempFolder downloads;
  const std::wstring exe = CopiedBesidePlantedDll(downloads, "comdlg32.dll");
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

// What the program loads by name once started finds nothing beside it:
// it narrowed its DLL search before anything else. A function it binds late
// comes from the system folder even where that could not be narrowed (read
// back in this process, where "planted.dll" lies beside the test).
TEST(Program, TakesItsDllsFromTheSystemFolderOnly) {
  TempFolder downloads;
  StartedProgram(CopiedBesidePlantedDll(downloads, "planted.dll"), L"").LoadInIt(L"planted.dll");
  EXPECT_FALSE(std::filesystem::exists(downloads / "planted-loaded"));

  DeleteFileW((TestFolder() + L"planted-loaded").c_str());
  LateBound<int()> beside_the_test{L"planted.dll", "DllMain"};
  EXPECT_EQ(beside_the_test.get(), nullptr);
  EXPECT_FALSE(std::filesystem::exists(TestFolder() + L"planted-loaded"));
}

}  // namespace
}  // namespace orvanta::win32
