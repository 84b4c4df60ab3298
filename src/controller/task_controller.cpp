#include "controller/task_controller.h"

#include <algorithm>
#include <cstdint>
#include <variant>

#include "controller/user_texts.h"
#include "taskfile/address_rewrite.h"
#include "taskfile/ansi_text.h"
#include "taskfile/task_file_reader.h"
#include "taskfile/unicode_text.h"

namespace orvanta {
namespace {

constexpr std::size_t kTaskFileSuffixLength = 7;  // ".td.cfg"
constexpr std::string_view kTaskFileEnding = "td.cfg";

// The separators are ASCII, so no other character may stand for one.
bool IsPathSeparator(char32_t c) {
  const std::basic_string_view<FilePath::value_type> separators = kPathSeparators;
  return c < 0x80 && separators.find(static_cast<FilePath::value_type>(c)) != separators.npos;
}

// Unicode's space separators, U+0020 and U+3000 among them.
bool IsSpace(char32_t c) {
  return c == U' ' || c == U'\u00A0' || c == U'\u1680' || (c >= U'\u2000' && c <= U'\u200A') ||
         c == U'\u202F' || c == U'\u205F' || c == U'\u3000';
}

// Characters that draw nothing and only steer how text is laid out.
bool IsFormatCharacter(char32_t c) {
  return c == U'\u00AD' || c == U'\u061C' || c == U'\u180E' || (c >= U'\u200B' && c <= U'\u200F') ||
         (c >= U'\u202A' && c <= U'\u202E') || (c >= U'\u2060' && c <= U'\u206F') ||
         (c >= U'\uFE00' && c <= U'\uFE0F') || c == U'\uFEFF';
}

// What a paste or a key adds around an address: line ends, tabs, and the
// spaces and zero-width characters a web page carries along.
bool IsTrimmed(char32_t c) {
  return IsSpace(c) || c == U'\t' || c == U'\r' || c == U'\n' || c == U'\u200B' || c == U'\u2060' ||
         c == U'\uFEFF';
}

// Shown as the user sees it, or by its code point where it draws nothing:
// "U+" and four or more hex digits.
std::string Named(char32_t c) {
  if ((IsSpace(c) && c != U' ') || IsFormatCharacter(c)) {
    std::string digits;
    for (auto rest = static_cast<std::uint32_t>(c); rest > 0 || digits.size() < 4; rest >>= 4) {
      digits.insert(digits.begin(), "0123456789ABCDEF"[rest & 0xF]);
    }
    return "U+" + digits;
  }
  return CodePointsToUtf8(std::u32string_view(&c, 1));
}

// No address holds one: a line break or tab inside is a paste gone wrong.
bool IsControlCharacter(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == U'\u2028' || c == U'\u2029';
}

std::vector<std::string> EachNamed(const std::u32string& characters) {
  std::vector<std::string> named;
  for (char32_t c : characters) named.push_back(Named(c));
  return named;
}

}  // namespace

TaskController::TaskController(TaskView& view, FileSystem& file_system)
    : view_(view), file_system_(file_system) {}

void TaskController::Start() { view_.SetModifyEnabled(false); }

void TaskController::LoadTaskFile(const std::string& path) { Load(PathFromUtf8(path)); }

void TaskController::Load(const FilePath& path) {
  state_.TaskFilePath = path;
  TaskFileContent content = ReadTaskFile(path, file_system_);

  if (auto* record = std::get_if<TaskRecord>(&content)) {
    state_.TaskLoaded = TaskLengths{record->NameLength, record->AddressLength};
    view_.SetTaskNameText(record->HasName ? record->NameText
                                          : DisplayNameFromPath(PathToUtf8(path)));
    view_.SetAddressText(record->AddressText);
    view_.SetModifyEnabled(true);
    return;
  }

  if (std::holds_alternative<NotTaskFile>(content)) view_.ShowMessage(text::kNotTaskFile);
  if (std::holds_alternative<DamagedTaskFile>(content)) view_.ShowMessage(text::kDamaged);
  if (auto* unreadable = std::get_if<UnreadableFile>(&content)) {
    view_.ShowMessage(text::Unreadable(unreadable->error));
  }
  MarkNotLoaded();
}

void TaskController::OpenChosenFile() {
  ClearBoxes();
  std::optional<std::string> chosen = view_.ChooseTaskFile();
  if (!chosen) {
    view_.SetModifyEnabled(false);
    return;
  }
  LoadTaskFile(*chosen);
}

void TaskController::DropFiles(const std::vector<std::string>& paths) {
  ClearBoxes();
  bool loaded_any = false;
  for (const std::string& path : paths) {
    if (!HasTaskFileEnding(path)) continue;
    LoadTaskFile(path);
    loaded_any = true;
  }
  // The boxes no longer show the task: Modify must not change it unseen.
  if (!loaded_any) MarkNotLoaded();
}

void TaskController::OpenGivenFiles(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    if (path.empty()) continue;
    ClearBoxes();
    LoadTaskFile(path);
  }
}

void TaskController::ModifyAddress() {
  if (!state_.TaskLoaded) return;
  std::string typed = view_.GetNewAddressText();
  if (typed.empty()) return;
  std::string address = TrimSpaces(typed);
  view_.SetNewAddressText(address);
  // Writing an empty address would throw away the task's only download link.
  if (address.empty()) return;
  const std::u32string characters = Utf8ToCodePoints(address);
  if (std::any_of(characters.begin(), characters.end(), IsControlCharacter)) {
    view_.ShowMessage(text::kControlCharacter);
    return;
  }
  const AnsiEncoding encoded = EncodeAnsi(address);
  if (!encoded.unencodable.empty()) {
    view_.ShowMessage(text::Unencodable(EachNamed(encoded.unencodable)));
    return;
  }

  RewriteReport report =
      RewriteAddress(state_.TaskFilePath, *state_.TaskLoaded, encoded.bytes, file_system_);
  const std::optional<RewriteError>& error = report.error;
  if (error && error->step == RewriteStep::kCheckUnchanged) {
    view_.ShowMessage(text::kChangedSinceLoaded);
    MarkNotLoaded();
    return;
  }
  if (error) {
    view_.ShowMessage(text::ModifyFailed(*error));
  } else {
    Load(state_.TaskFilePath);
    view_.ShowMessage(text::kModified);
  }
  if (!report.kept_backup.empty()) {
    view_.ShowMessage(text::KeptOldBackup(PathToUtf8(report.kept_backup)));
  }
}

void TaskController::ClearBoxes() {
  view_.SetAddressText("");
  view_.SetNewAddressText("");
  view_.SetTaskNameText("");
}

void TaskController::MarkNotLoaded() {
  state_.TaskLoaded.reset();
  view_.SetModifyEnabled(false);
}

std::string DisplayNameFromPath(const std::string& path) {
  std::u32string characters = Utf8ToCodePoints(path);
  std::size_t start = characters.size();
  while (start > 0 && !IsPathSeparator(characters[start - 1])) --start;
  std::size_t length = characters.size() - start;
  if (length < kTaskFileSuffixLength) return "";
  return CodePointsToUtf8(
      std::u32string_view(characters).substr(start, length - kTaskFileSuffixLength));
}

std::string TrimSpaces(const std::string& text) {
  std::u32string characters = Utf8ToCodePoints(text);
  std::size_t begin = 0, end = characters.size();
  while (begin < end && IsTrimmed(characters[begin])) ++begin;
  while (end > begin && IsTrimmed(characters[end - 1])) --end;
  if (begin == 0 && end == characters.size()) return text;
  return CodePointsToUtf8(std::u32string_view(characters).substr(begin, end - begin));
}

bool HasTaskFileEnding(const std::string& path) {
  // The ending is ASCII, so comparing bytes compares the last six characters.
  return path.ends_with(kTaskFileEnding);
}

}  // namespace orvanta
