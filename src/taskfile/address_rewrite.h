// Replaces the download address stored in a task file, keeping every other
// byte. The new content is written to a temporary file beside the task file
// and only then takes the task file's name; meanwhile the old content is
// also reachable as the backup (side_files.h names both).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "taskfile/ansi_text.h"
#include "taskfile/file_path.h"
#include "taskfile/file_system.h"
#include "taskfile/side_files.h"
#include "taskfile/task_file_reader.h"

namespace orvanta {

enum class RewriteStep {
  kCheckAddress,       // the new address is longer than a length field can say
  kOpenTaskFile,       // the task file could not be opened for a rewrite
  kCheckUnchanged,     // it no longer holds the lengths it was loaded with
  kSetAsideOldBackup,  // a backup left by an earlier change could not be kept
  kCreateNewFile,      // creating the temporary file for the new content; the error's
                       // subject is its folder
  kKeepAttributes,     // the new file could not carry the task file's ACL or attributes
  kCopyContent,        // reading the task file or writing the new content
  kFlushNewFile,       // making the new content durable
  kCheckNotWritten,    // another program wrote the task file meanwhile
  kReplaceTaskFile,    // giving the new content the task file's name
};

struct RewriteError {
  RewriteStep step;
  SystemError error;
  // Set only when putting the old content back failed as well: it is then
  // whole at `backup`.
  std::optional<SystemError> not_restored;
  FilePath backup;
};

struct RewriteReport {
  std::optional<RewriteError> error;  // none: the new address is stored
  // Where a backup left by an earlier, interrupted change was kept, because
  // it held a whole task file that differs from the one being changed.
  // Empty when there was none to keep.
  FilePath kept_backup;
};

// Writes `new_address` in place of the old address.
// `as_loaded` holds the lengths the last ReadTaskFile of this file returned,
// which say where the address is; when the file no longer holds them nothing
// is touched and the step is kCheckUnchanged. A symbolic link is followed:
// the file it names is rewritten and the link stays.
//
// One rewrite of a task file runs at a time: a second, from this program or
// another, is refused while the first runs. While another program has the
// task file open for writing, or opens it for writing before the new content
// is durable, nothing is replaced: the error is ErrorKind::kInUse, and the
// task file is the one that program writes.
//
// The task file's name holds the complete old or the complete new content
// at every instant, and the old content is also at the backup until the new
// content is durable. On any error the task file keeps its old bytes and no
// backup remains (unless `not_restored` is set). On success no backup remains,
// unless the system refused to delete it once the new content was in place.
RewriteReport RewriteAddress(const FilePath& task_file, const TaskLengths& as_loaded,
                             const AnsiBytes& new_address,
                             FileSystem& file_system = SystemFileSystem());

}  // namespace orvanta
