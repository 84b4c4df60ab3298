// The few file operations the reader and the rewrite need, behind an
// interface so tests can fail or cut off any one of them.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "taskfile/file_path.h"
#include "taskfile/status.h"

namespace orvanta {

// What changes whenever a file is written, as each system keeps it. Taken
// through an open file before and after a copy, it tells whether another
// program wrote the file meanwhile; where times are coarse (exFAT keeps
// whole seconds) it may not, which is why it is never the only check.
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

  // Fills all of `out` from `offset`; an error when the file ends sooner.
  virtual Status ReadAt(std::uint64_t offset, std::span<char> out) = 0;
};

// The task file as a rewrite holds it, from before its content is copied
// until the new content has its name and is durable. While it is held, no
// second rewrite of the same task file starts, in this program or another,
// of this user or another.
class HeldTaskFile : public ReadableFile {
 public:
  // Fails, with ErrorKind::kInUse, once another program has opened the file for
  // writing or written it since it was opened here. Cheap enough to ask
  // between chunks of a copy; where the system makes that program wait until
  // the holder lets go (a lease, on Linux), asking is also what lets it go on
  // soon.
  virtual Status CheckNoWriter() = 0;

  // Holds the file `replacement` names as well, so that a second rewrite that
  // finds it under the task file's name is refused until this one ends.
  virtual Status HoldAlso(const FilePath& replacement) = 0;

  // Called right before the replace. Windows replaces no open file: there
  // the file is closed, and the replace itself fails while a program has it
  // open. Elsewhere it stays held, so CheckNoWriter after the replace still
  // sees a program that opened the old file meanwhile.
  virtual void LetGoBeforeReplace() = 0;
};

class WritableFile {
 public:
  virtual ~WritableFile() = default;

  virtual Status Append(std::span<const char> bytes) = 0;

  // Returns once everything appended is on the disk.
  virtual Status Sync() = 0;

  virtual Status Close() = 0;

  // Gives the file what `like` carries beside its bytes, owner and mode:
  // access control lists and extended attributes. Fails, naming what could
  // not be kept, rather than hand fewer people access than before.
  virtual Status CopyExtraAttributesFrom(const FilePath& like) = 0;
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

  // Opens and holds a task file for a rewrite that will replace it by a new
  // file. Fails, with ErrorKind::kInUse, while another program has the file open
  // for writing or another rewrite holds it; with ErrorKind::kWritersUnknown
  // where that cannot be known. Fails too where the file could not be
  // written (read-only), or where a new file in its place could not be given
  // to the same people: another user's file in a folder that lets only
  // owners replace files, or a file whose owner or group the new file could
  // not keep without someone losing access.
  virtual Result<std::unique_ptr<HeldTaskFile>> OpenForRewrite(const FilePath& path) = 0;

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
