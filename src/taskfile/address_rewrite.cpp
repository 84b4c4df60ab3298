#include "taskfile/address_rewrite.h"

#include <algorithm>
#include <array>
#include <limits>
#include <memory>
#include <vector>

#include "taskfile/task_file_layout.h"
#include "taskfile/task_file_reader.h"

namespace orvanta {
namespace {

// Large enough that copying runs at disk speed, small enough that memory use
// stays flat whatever the size of the file.
constexpr std::uint64_t kCopyChunk = 1 << 20;

RewriteError Failed(RewriteStep step, std::string reason) { return {step, std::move(reason)}; }

bool Matches(const TaskFileLayout& layout, std::int32_t name_length, std::int32_t address_length) {
  const auto* lengths = std::get_if<TaskLengths>(&layout);
  return lengths != nullptr && lengths->NameLength == name_length &&
         lengths->AddressLength == address_length;
}

// Opens the task file, for writing so that a read-only or locked file is
// refused before anything is touched, and checks that it still holds the
// lengths it was loaded with.
std::optional<RewriteError> OpenUnchanged(FileSystem& file_system,
                                          const std::filesystem::path& task_file,
                                          std::int32_t name_length, std::int32_t address_length,
                                          std::unique_ptr<ReadableFile>& file) {
  auto opened = file_system.OpenForUpdate(task_file);
  if (!opened.ok()) return Failed(RewriteStep::kOpenTaskFile, opened.error().message);
  file = std::move(opened.value());
  TaskFileLayout layout = ReadTaskLengths(*file);
  if (auto* unreadable = std::get_if<UnreadableFile>(&layout)) {
    return Failed(RewriteStep::kOpenTaskFile, unreadable->Reason);
  }
  if (!Matches(layout, name_length, address_length)) {
    return Failed(RewriteStep::kCheckUnchanged, "the task file changed since it was loaded");
  }
  return std::nullopt;
}

Status CopyRange(ReadableFile& source, std::uint64_t offset, std::uint64_t count,
                 WritableFile& target) {
  std::vector<char> buffer(static_cast<std::size_t>(std::min(count, kCopyChunk)));
  while (count > 0) {
    std::span<char> chunk(buffer.data(), static_cast<std::size_t>(std::min(count, kCopyChunk)));
    if (Status status = source.ReadAt(offset, chunk); !status.ok()) return status;
    if (Status status = target.Append(chunk); !status.ok()) return status;
    offset += chunk.size();
    count -= chunk.size();
  }
  return {};
}

// Writes the new task file from the old content: everything before the
// address length, the new length and address, then everything after the old
// address.
std::optional<RewriteError> WriteNewFile(FileSystem& file_system,
                                         const std::filesystem::path& task_file,
                                         const std::filesystem::path& backup,
                                         ReadableFile& old_content, std::int32_t name_length,
                                         std::int32_t address_length, std::string_view new_address,
                                         bool& created) {
  const std::uint64_t kept_prefix = layout::AddressLengthOffset(name_length);
  const std::uint64_t old_address_end =
      layout::AddressOffset(name_length) + static_cast<std::uint64_t>(address_length);
  const std::uint64_t old_size = old_content.Size();

  auto target = file_system.CreateNew(task_file, backup);
  if (!target.ok()) return Failed(RewriteStep::kCreateTaskFile, target.error().message);
  created = true;
  WritableFile& out = *target.value();

  std::array<char, layout::kInt32Size> length_field{};
  layout::StoreInt32(static_cast<std::int32_t>(new_address.size()), length_field.data());
  Status status = CopyRange(old_content, 0, kept_prefix, out);
  if (status.ok()) status = out.Append(length_field);
  if (status.ok()) status = out.Append(new_address);
  if (status.ok()) {
    status = CopyRange(old_content, old_address_end, old_size - old_address_end, out);
  }
  if (!status.ok()) return Failed(RewriteStep::kCopyContent, status.message());

  // The backup may go only once the new file is known to be on the disk.
  if (status = out.Sync(); status.ok()) status = out.Close();
  if (status.ok()) status = file_system.SyncFolderOf(task_file);
  if (!status.ok()) return Failed(RewriteStep::kFlushTaskFile, status.message());
  return std::nullopt;
}

// Puts the old content back under the task file's name.
void Restore(FileSystem& file_system, const std::filesystem::path& task_file,
             const std::filesystem::path& backup, bool created, RewriteError& error) {
  if (created) (void)file_system.Remove(task_file);
  Status status = file_system.RenameReplacing(backup, task_file);
  if (!status.ok()) {
    error.restored = false;
    error.reason += "\n" + status.message();
    return;
  }
  (void)file_system.SyncFolderOf(task_file);
}

}  // namespace

std::filesystem::path BackupPathFor(const std::filesystem::path& task_file) {
  std::filesystem::path backup = task_file;
  backup += ".bak";
  return backup;
}

std::optional<RewriteError> RewriteAddress(const std::filesystem::path& task_file,
                                           std::int32_t name_length, std::int32_t address_length,
                                           std::string_view new_address, FileSystem& file_system) {
  if (new_address.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    return Failed(RewriteStep::kCopyContent, "the new address is too long");
  }
  std::unique_ptr<ReadableFile> old_content;
  if (auto error =
          OpenUnchanged(file_system, task_file, name_length, address_length, old_content)) {
    return error;
  }

  // A rename rather than a copy: the old content moves to the backup in one
  // step, costs no disk space, and moving it back cannot run out of space.
  // The file stays open meanwhile, so what is copied is what was checked.
  const std::filesystem::path backup = BackupPathFor(task_file);
  if (Status status = file_system.RenameReplacing(task_file, backup); !status.ok()) {
    return Failed(RewriteStep::kMoveToBackup, status.message());
  }

  bool created = false;
  auto error = WriteNewFile(file_system, task_file, backup, *old_content, name_length,
                            address_length, new_address, created);
  old_content.reset();  // Windows keeps the name of an open file it deletes
  if (error) {
    Restore(file_system, task_file, backup, created, *error);
    return error;
  }

  // The new file is whole and durable; a backup that will not go away is
  // replaced by the next rewrite.
  (void)file_system.Remove(backup);
  return std::nullopt;
}

}  // namespace orvanta
