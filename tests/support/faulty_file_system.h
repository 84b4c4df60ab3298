// The system's file system with a switch: the operation numbered `fail_at`
// fails, or from the one numbered `crash_at` on every operation fails
// without effect, as when the program dies there. Operations are counted
// across the file system and every file it opened.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "taskfile/file_system.h"

namespace orvanta::testing {

class FaultyFileSystem final : public FileSystem {
 public:
  std::optional<int> fail_at;
  std::optional<int> crash_at;
  // How a crash halfway through ReplaceKeepingBackup leaves the old file: with
  // the backup as a second name, or moved there (no hard links, Windows).
  bool backup_by_moving = false;

  // "OpenForUpdate", "ReadAt", "Append", "Sync", "Close", "RenameReplacing"...
  // one entry for every operation tried, the failed ones included.
  const std::vector<std::string>& operations() const { return operations_; }

  // After a crash: cuts every file written here back to what its last
  // successful Sync made durable, as the disk would after a power loss.
  void LoseUnsyncedWrites();

  // Counts an operation; false when it is to fail.
  bool Allow(const std::string& name);
  void RecordSynced(const std::filesystem::path& path, std::uint64_t size);

  Result<FilePath> ResolveLinks(const FilePath& path) override;
  bool Exists(const FilePath& path) override;  // a query: never fails
  Result<std::unique_ptr<ReadableFile>> OpenForReading(const FilePath& path) override;
  Result<std::unique_ptr<ReadableFile>> OpenForUpdate(const FilePath& path) override;
  Result<std::unique_ptr<WritableFile>> CreateNew(const FilePath& path,
                                                  const FilePath& like) override;
  // Counts as two operations, the backup and the rename, so a crash can
  // fall between them.
  Status ReplaceKeepingBackup(const FilePath& target, const FilePath& replacement,
                              const FilePath& backup) override;
  Status RenameReplacing(const FilePath& from, const FilePath& to) override;
  Status Remove(const FilePath& path) override;
  Status SyncFolderOf(const FilePath& path) override;

 private:
  bool Crashed() const;
  void FollowRename(const std::filesystem::path& from, const std::filesystem::path& to);

  std::vector<std::string> operations_;
  std::map<std::filesystem::path, std::uint64_t> synced_sizes_;
};

inline const SystemError kInjectedFailure{"injected failure"};

}  // namespace orvanta::testing
