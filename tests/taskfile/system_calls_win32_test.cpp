// What a real rewrite asks of Windows, recorded below the file system
// layer: this program's import table is patched so that its calls to these
// kernel32 functions reach recorders, which write them down and pass them
// on. Only their order shows that the content would survive a power cut.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/task_file_bytes.h"
#include "taskfile/address_rewrite.h"
#include "taskfile/unicode_text.h"

namespace orvanta {
namespace {

std::vector<std::string>* journal = nullptr;  // written while set

std::string Utf8(const std::wstring& text) {
  return Utf16ToUtf8(std::u16string(text.begin(), text.end()));
}

void Note(const std::string& call) {
  if (journal) journal->push_back(call);
}

// Points this program's import of `name` at `stand_in`; `original` gets the
// function it pointed at before.
template <class Function>
void Redirect(const char* name, Function* stand_in, Function*& original) {
  original = nullptr;
  auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
  auto* headers = reinterpret_cast<IMAGE_NT_HEADERS*>(
      base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const auto& imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (auto* dll = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       dll->Name; ++dll) {
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->FirstThunk);
    for (; names->u1.AddressOfData; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      auto* named = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<char*>(named->Name), name) != 0) continue;
      DWORD protection = 0;
      VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &protection);
      original = reinterpret_cast<Function*>(slots->u1.Function);
      slots->u1.Function = reinterpret_cast<ULONG_PTR>(stand_in);
      VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
    }
  }
}

decltype(&FlushFileBuffers) flush;
decltype(&ReplaceFileW) replace;
decltype(&MoveFileExW) move;
decltype(&DeleteFileW) remove;

BOOL WINAPI NoteFlush(HANDLE file) {
  std::wstring path(32768, L'\0');
  path.resize(GetFinalPathNameByHandleW(file, path.data(), 32768, FILE_NAME_NORMALIZED));
  Note("flush " + Utf8(path));
  return flush(file);
}
BOOL WINAPI NoteReplace(LPCWSTR target, LPCWSTR replacement, LPCWSTR backup, DWORD flags,
                        LPVOID exclude, LPVOID reserved) {
  Note("replace " + Utf8(target) + " " + Utf8(replacement) + " " + Utf8(backup));
  return replace(target, replacement, backup, flags, exclude, reserved);
}
BOOL WINAPI NoteMove(LPCWSTR from, LPCWSTR to, DWORD flags) {
  Note("move " + Utf8(from) + " " + Utf8(to));
  return move(from, to, flags);
}
BOOL WINAPI NoteDelete(LPCWSTR path) {
  Note("delete " + Utf8(path));
  return remove(path);
}

// The new file is flushed before it replaces the task file, and the backup,
// the old content's other name, goes only after that.
TEST(SystemCallsWin32, FlushTheNewFileBeforeItReplacesTheTaskFile) {
  Redirect("FlushFileBuffers", NoteFlush, flush);
  Redirect("ReplaceFileW", NoteReplace, replace);
  Redirect("MoveFileExW", NoteMove, move);
  Redirect("DeleteFileW", NoteDelete, remove);
  ASSERT_TRUE(flush && replace && move && remove);
  testing::TempFolder folder;
  const FilePath task =
      PathFromUtf8(folder.MakeTaskFile("a.td.cfg", {.name = "n", .address = "old"}));
  // Each in the form without a length limit, which Wine would not insist on.
  auto long_form = [](const FilePath& path) { return "\\\\?\\" + Utf8(path.native()); };
  const std::string task_form = long_form(task);
  const std::string temporary = long_form(TemporaryPathFor(task));
  const std::string backup = long_form(BackupPathFor(task));
  std::vector<std::string> calls;
  journal = &calls;
  const RewriteReport report = RewriteAddress(task, {1, 3}, AnsiBytes("new"));
  journal = nullptr;
  ASSERT_FALSE(report.error);
  EXPECT_THAT(calls, ::testing::ElementsAre("flush " + temporary,
                                            "replace " + task_form + " " + temporary + " " + backup,
                                            "delete " + backup));
}

}  // namespace
}  // namespace orvanta
