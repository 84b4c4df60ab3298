// The few file operations the reader and the rewrite need, behind an
// interface so tests can fail or cut off any one of them.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include "taskfile/file_path.h"

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

  // The file `path` finally names once every symbolic link (a reparse-point
  // link on Windows) is followed; `path` itself when it is no link.
  virtual Result<FilePath> ResolveLinks(const FilePath& path) = 0;

  // Whether anything, file, folder or link, goes by that name.
  virtual bool Exists(const FilePath& path) = 0;

  // Fails for anything but a regular file.
  virtual Result<std::unique_ptr<ReadableFile>> OpenForReading(const FilePath& path) = 0;

  // As OpenForReading, but fails where the file could not be written now
  // (read-only, locked by another program).
  virtual Result<std::unique_ptr<ReadableFile>> OpenForUpdate(const FilePath& path) = 0;

  // Creates `path`, which must not exist yet, with the permissions and owner
  // `like` has.
  virtual Result<std::unique_ptr<WritableFile>> CreateNew(const FilePath& path,
                                                          const FilePath& like) = 0;

  // Gives the complete file `replacement` the name `target`; the file that
  // went by `target` stays reachable as `backup`, which must not exist.
  // `target` names the old file or the new one at every instant, except on
  // file systems that cannot give a file two names: there the old file moves
  // to `backup` first, and for a moment `target` names nothing. On failure
  // the names are as they were, or, where even undoing failed, the old file
  // is at `backup`.
  virtual Status ReplaceKeepingBackup(const FilePath& target, const FilePath& replacement,
                                      const FilePath& backup) = 0;

  // Renames in one step, replacing whatever file `to` names.
  virtual Status RenameReplacing(const FilePath& from, const FilePath& to) = 0;

  virtual Status Remove(const FilePath& path) = 0;

  // Makes the renames and creations in the folder holding `path` durable.
  // Nothing to do where the system does that on its own.
  virtual Status SyncFolderOf(const FilePath& path) = 0;
};

// The operating system's file system.
FileSystem& SystemFileSystem();

}  // namespace orvanta
