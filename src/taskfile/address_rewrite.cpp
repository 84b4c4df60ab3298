#include "taskfile/address_rewrite.h"

#include <algorithm>
#include <array>
#include <limits>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "taskfile/side_files.h"
#include "taskfile/task_file_layout.h"
#include "taskfile/unicode_text.h"

namespace orvanta {
namespace {

// Large enough that copying runs at disk speed, small enough that memory use
// stays flat whatever the size of the file.
constexpr std::uint64_t kCopyChunk = 1 << 20;

RewriteError Failed(RewriteStep step, SystemError error) { return {step, std::move(error), {}, {}}; }

// Opens the task file for the rewrite, so that a read-only file, or one that
// another program holds for writing, is refused before anything is touched,
// and checks that it still holds the lengths it was loaded with.
std::optional<RewriteError> OpenUnchanged(FileSystem& file_system, const FilePath& task_file,
                                          const TaskLengths& as_loaded,
                                          std::unique_ptr<HeldTaskFile>& file) {
  auto opened = file_system.OpenForRewrite(task_file);
  if (!opened.ok()) return Failed(RewriteStep::kOpenTaskFile, opened.error());
  file = std::move(opened.value());
  TaskFileLayout layout = ReadTaskLengths(*file);
  if (auto* unreadable = std::get_if<UnreadableFile>(&layout)) {
    return Failed(RewriteStep::kOpenTaskFile, unreadable->error);
  }
  if (const auto* lengths = std::get_if<TaskLengths>(&layout); !lengths || *lengths != as_loaded) {
    return Failed(RewriteStep::kCheckUnchanged, {ErrorKind::kChangedSinceLoaded});
  }
  return std::nullopt;
}

// Asks before every chunk whether another program wants to write the task
// file, so that it is let go at once rather than after the whole copy.
std::optional<RewriteError> CopyRange(HeldTaskFile& source, std::uint64_t offset,
                                      std::uint64_t count, WritableFile& target) {
  std::vector<char> buffer(static_cast<std::size_t>(std::min(count, kCopyChunk)));
  while (count > 0) {
    std::span<char> chunk(buffer.data(), static_cast<std::size_t>(std::min(count, kCopyChunk)));
    if (Status status = source.CheckNoWriter(); !status.ok()) {
      return Failed(RewriteStep::kCheckNotWritten, status.error());
    }
    Status status = source.ReadAt(offset, chunk);
    if (status.ok()) status = target.Append(chunk);
    if (!status.ok()) return Failed(RewriteStep::kCopyContent, status.error());
    offset += chunk.size();
    count -= chunk.size();
  }
  return std::nullopt;
}

// Whether two open files hold the same bytes, read a chunk at a time; false
// when either cannot be read.
bool SameBytes(ReadableFile& a, ReadableFile& b) {
  if (a.Size() != b.Size()) return false;
  std::vector<char> left(static_cast<std::size_t>(std::min(a.Size(), kCopyChunk)));
  std::vector<char> right(left.size());
  for (std::uint64_t offset = 0; offset < a.Size(); offset += left.size()) {
    const auto count = static_cast<std::size_t>(std::min(a.Size() - offset, kCopyChunk));
    std::span<char> l(left.data(), count), r(right.data(), count);
    if (!a.ReadAt(offset, l).ok() || !b.ReadAt(offset, r).ok()) return false;
    if (!std::equal(l.begin(), l.end(), r.begin())) return false;
  }
  return true;
}

// A backup left by an earlier change that was cut short may be the only
// complete copy of that task. It may go only when it is the task file again
// or no whole task file at all; what cannot be read is kept.
bool MayReplaceOldBackup(FileSystem& file_system, ReadableFile& task, const FilePath& backup) {
  auto opened = file_system.OpenForReading(backup);
  if (!opened.ok()) return false;
  ReadableFile& old_backup = *opened.value();
  // The lengths say whether it is a whole task; SameBytes reads the rest.
  TaskFileLayout content = ReadTaskLengths(old_backup);
  if (std::holds_alternative<UnreadableFile>(content)) return false;
  if (!std::holds_alternative<TaskLengths>(content)) return true;
  return SameBytes(task, old_backup);
}

// Clears the backup's name for this rewrite: removes a left-over backup
// that holds nothing of value, or moves one that does to the first free
// numbered backup name and says where in `kept`.
std::optional<RewriteError> SetAsideOldBackup(FileSystem& file_system, ReadableFile& task,
                                              const FilePath& task_file, const FilePath& backup,
                                              FilePath& kept) {
  if (!file_system.Exists(backup)) return std::nullopt;
  if (MayReplaceOldBackup(file_system, task, backup)) {
    Status status = file_system.Remove(backup);
    if (!status.ok()) return Failed(RewriteStep::kSetAsideOldBackup, status.error());
    return std::nullopt;
  }
  for (int number = 1;; ++number) {
    FilePath candidate = BackupPathFor(task_file, file_system, number);
    if (file_system.Exists(candidate)) continue;
    Status status = file_system.RenameReplacing(backup, candidate);
    if (!status.ok()) return Failed(RewriteStep::kSetAsideOldBackup, status.error());
    kept = std::move(candidate);
    return std::nullopt;
  }
}

// Writes the new content to `temporary` and makes it durable: everything
// before the address length, the new length and address, then everything
// after the old address.
std::optional<RewriteError> WriteNewContent(FileSystem& file_system, const FilePath& temporary,
                                            const FilePath& task_file, HeldTaskFile& old_content,
                                            const TaskLengths& lengths,
                                            const AnsiBytes& new_address) {
  const std::uint64_t kept_prefix = layout::AddressLengthOffset(lengths.NameLength);
  const std::uint64_t old_address_end =
      layout::AddressOffset(lengths.NameLength) + static_cast<std::uint64_t>(lengths.AddressLength);
  const std::uint64_t old_size = old_content.Size();

  auto target = file_system.CreateNew(temporary, task_file);
  if (!target.ok()) {
    RewriteError error = Failed(RewriteStep::kCreateNewFile, target.error());
    error.error.subject = PathToUtf8(temporary.parent_path());
    return error;
  }
  WritableFile& out = *target.value();
  // Another rewrite holding the new file is at the task file too.
  Status status = old_content.HoldAlso(temporary);
  if (!status.ok()) return Failed(RewriteStep::kCheckNotWritten, status.error());
  if (status = out.CopyExtraAttributesFrom(task_file); !status.ok()) {
    return Failed(RewriteStep::kKeepAttributes, status.error());
  }

  std::array<char, layout::kInt32Size> length_field{};
  layout::StoreInt32(static_cast<std::int32_t>(new_address.size()), length_field.data());
  std::optional<RewriteError> error = CopyRange(old_content, 0, kept_prefix, out);
  if (!error) {
    status = out.Append(length_field);
    if (status.ok()) status = out.Append(new_address.bytes());
    if (!status.ok()) error = Failed(RewriteStep::kCopyContent, status.error());
  }
  if (!error) error = CopyRange(old_content, old_address_end, old_size - old_address_end, out);
  if (error) return error;

  if (status = out.Sync(); status.ok()) status = out.Close();
  if (!status.ok()) return Failed(RewriteStep::kFlushNewFile, status.error());
  // What another program wrote meanwhile would be lost with the old file.
  if (status = old_content.CheckNoWriter(); !status.ok()) {
    return Failed(RewriteStep::kCheckNotWritten, status.error());
  }
  return std::nullopt;
}

// Whether the new content had taken the task file's name when the rewrite
// failed.
enum class Replaced { kNo, kYes };

// After a failed replace: the old content goes back to the task file's name
// wherever it is only at the backup's.
void PutBackupBack(FileSystem& file_system, const FilePath& task_file, const FilePath& backup,
                   Replaced replaced, RewriteError& error) {
  if (replaced == Replaced::kNo && file_system.Exists(task_file)) return;
  Status status = file_system.RenameReplacing(backup, task_file);
  if (!status.ok()) {
    error.not_restored = status.error();
    error.backup = backup;
    return;
  }
  (void)file_system.SyncFolderOf(task_file);
}

// Puts the new content in the task file's place and makes that durable
// before the old content's last name, the backup, goes. A program that
// opened the old file for writing meanwhile gets it back under its name.
std::optional<RewriteError> Replace(FileSystem& file_system, const FilePath& task_file,
                                    const FilePath& temporary, const FilePath& backup,
                                    HeldTaskFile& old_content) {
  old_content.LetGoBeforeReplace();
  Status status = file_system.ReplaceKeepingBackup(task_file, temporary, backup);
  if (!status.ok()) {
    RewriteError error = Failed(RewriteStep::kReplaceTaskFile, status.error());
    (void)file_system.Remove(temporary);
    PutBackupBack(file_system, task_file, backup, Replaced::kNo, error);
    return error;
  }
  if (status = file_system.SyncFolderOf(task_file); !status.ok()) {
    RewriteError error = Failed(RewriteStep::kFlushNewFile, status.error());
    PutBackupBack(file_system, task_file, backup, Replaced::kYes, error);
    return error;
  }
  if (status = old_content.CheckNoWriter(); !status.ok()) {
    RewriteError error = Failed(RewriteStep::kCheckNotWritten, status.error());
    PutBackupBack(file_system, task_file, backup, Replaced::kYes, error);
    return error;
  }
  // A backup that will not go away is set aside by the next rewrite.
  (void)file_system.Remove(backup);
  return std::nullopt;
}

}  // namespace

RewriteReport RewriteAddress(const FilePath& task_file, const TaskLengths& as_loaded,
                             const AnsiBytes& new_address, FileSystem& file_system) {
  RewriteReport report;
  if (new_address.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    report.error = Failed(RewriteStep::kCheckAddress, {ErrorKind::kAddressTooLong});
    return report;
  }
  // Through a link, the file it names is what the download manager reads.
  auto resolved = file_system.ResolveLinks(task_file);
  if (!resolved.ok()) {
    report.error = Failed(RewriteStep::kOpenTaskFile, resolved.error());
    return report;
  }
  const FilePath& target = resolved.value();
  const FilePath backup = BackupPathFor(target, file_system);
  const FilePath temporary = TemporaryPathFor(target, file_system);

  // Copying from the very handle that was checked copies what was checked,
  // and holding it keeps every other rewrite of the file out until the end.
  std::unique_ptr<HeldTaskFile> old_content;
  report.error = OpenUnchanged(file_system, target, as_loaded, old_content);
  if (report.error) return report;

  // No rewrite but this one runs: one cut short left it, with nothing but
  // new content of its own.
  if (file_system.Exists(temporary)) (void)file_system.Remove(temporary);
  report.error = SetAsideOldBackup(file_system, *old_content, target, backup, report.kept_backup);
  if (report.error) return report;

  report.error =
      WriteNewContent(file_system, temporary, target, *old_content, as_loaded, new_address);
  if (report.error) {
    (void)file_system.Remove(temporary);
    return report;
  }
  report.error = Replace(file_system, target, temporary, backup, *old_content);
  return report;
}

}  // namespace orvanta
