// Replaces the download address stored in a task file, keeping every other
// byte. The new content is written to a temporary file beside the task file
// and only then takes the task file's name; meanwhile the old content is
// also reachable as the backup (the task file's path + ".bak").
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include "taskfile/file_path.h"

#include "taskfile/file_system.h"

namespace orvanta {

enum class RewriteStep {
  kOpenTaskFile,       // the task file could not be opened for writing
  kCheckUnchanged,     // it no longer holds the lengths it was loaded with
  kSetAsideOldBackup,  // a backup left by an earlier change could not be kept
  kCreateNewFile,      // creating the temporary file for the new content
  kCopyContent,        // reading the task file or writing the new content
  kFlushNewFile,       // making the new content durable
  kReplaceTaskFile,    // giving the new content the task file's name
};

struct RewriteError {
  RewriteStep step;
  std::string reason;  // the system's words
  // False only when putting the old content back failed as well: it is then
  // whole at `backup`.
  bool restored = true;
  FilePath backup;
};

struct RewriteReport {
  std::optional<RewriteError> error;  // none: the new address is stored
  // Where a backup left by an earlier, interrupted change was kept, because
  // it held a whole task file that differs from the one being changed.
  // Empty when there was none to keep.
  FilePath kept_backup;
};

FilePath BackupPathFor(const FilePath& task_file);

// Where the new content is written before it replaces the task file.
FilePath TemporaryPathFor(const FilePath& task_file);

// Writes `new_address` (ANSI bytes) in place of the old address.
// `name_length` and `address_length` are those the last ReadTaskFile of this
// file returned; when the file no longer matches them nothing is touched and
// the step is kCheckUnchanged. A symbolic link is followed: the file it
// names is rewritten and the link stays.
//
// The task file's name holds the complete old or the complete new content
// at every instant, and the old content is also at the backup until the new
// content is durable. On any error the task file keeps its old bytes and no
// backup remains (unless `restored` is false). On success no backup remains,
// unless the system refused to delete it once the new content was in place.
RewriteReport RewriteAddress(const FilePath& task_file, std::int32_t name_length,
                             std::int32_t address_length, std::string_view new_address,
                             FileSystem& file_system = SystemFileSystem());

}  // namespace orvanta
