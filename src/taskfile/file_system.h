// The few file operations the reader and the rewrite need, behind an
// interface so tests can fail or cut off any one of them.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "taskfile/file_path.h"
#include "taskfile/status.h"

namespace orvanta {

// What changes whenever a file is written. Taken through an open file
// before and after a long operation, it tells whether another program wrote
// the file meanwhile.
struct FileVersion {
  std::uint64_t size = 0;
  std::int64_t modified = 0;  // the last write, in the system's finest unit
  std::int64_t changed = 0;   // the last change of any kind, where the system keeps it
  friend bool operator==(const FileVersion&, const FileVersion&) = default;
};

class ReadableFile {
 public:
  virtual ~ReadableFile() = default;

  // As it was when the file was opened.
  virtual std::uint64_t Size() const = 0;

  // As the file is now.
  virtual Result<FileVersion> Version() = 0;

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

  // As OpenForReading, for a rewrite that will replace the file by a new
  // one. Fails, with the reason reason::kInUse, while another program has
  // the file open for writing; on Windows none can open it for writing or
  // rename it while it stays open here. Fails too where the file could not
  // be written (read-only), or where a new file in its place could not be
  // given to the same people: another user's file in a folder that lets only
  // owners replace files, or one whose owner the new file could not keep
  // without that owner or its group losing access.
  virtual Result<std::unique_ptr<ReadableFile>> OpenForRewrite(const FilePath& path) = 0;

  // Creates `path`, which must not exist yet, with the permissions, owner
  // and group `like` has, as far as this user may give them (see
  // OpenForRewrite).
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

  // The longest name a file may have in the folder holding `path`, in the
  // units of FilePath's native string (bytes on POSIX, UTF-16 on Windows).
  virtual std::size_t MaxNameLength(const FilePath& path) = 0;

  // Makes the renames and creations in the folder holding `path` durable.
  // Nothing to do where the system does that on its own.
  virtual Status SyncFolderOf(const FilePath& path) = 0;
};

// The operating system's file system.
FileSystem& SystemFileSystem();

}  // namespace orvanta
