// The few file operations the reader and the rewrite need, behind an
// interface so tests can fail or cut off any one of them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>

#include "taskfile/status.h"

namespace orvanta {

class ReadableFile {
 public:
  virtual ~ReadableFile() = default;

  virtual std::uint64_t Size() const = 0;

  // Fills all of `out` from `offset`; an error when the file ends sooner.
  virtual Status ReadAt(std::uint64_t offset, std::span<char> out) = 0;
};

class WritableFile {
 public:
  virtual ~WritableFile() = default;

  virtual Status Append(std::span<const char> bytes) = 0;

  // Returns once everything appended is on the disk.
  virtual Status Sync() = 0;

  virtual Status Close() = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Fails for anything but a regular file.
  virtual Result<std::unique_ptr<ReadableFile>> OpenForReading(
      const std::filesystem::path& path) = 0;

  // As OpenForReading, but fails where the file could not be written now
  // (read-only, locked by another program).
  virtual Result<std::unique_ptr<ReadableFile>> OpenForUpdate(
      const std::filesystem::path& path) = 0;

  // Creates `path`, which must not exist yet, with the permissions `like` has.
  virtual Result<std::unique_ptr<WritableFile>> CreateNew(const std::filesystem::path& path,
                                                          const std::filesystem::path& like) = 0;

  // Renames in one step, replacing whatever file `to` names.
  virtual Status RenameReplacing(const std::filesystem::path& from,
                                 const std::filesystem::path& to) = 0;

  virtual Status Remove(const std::filesystem::path& path) = 0;

  // Makes the renames and creations in the folder holding `path` durable.
  // Nothing to do where the system does that on its own.
  virtual Status SyncFolderOf(const std::filesystem::path& path) = 0;
};

// The operating system's file system.
FileSystem& SystemFileSystem();

}  // namespace orvanta
