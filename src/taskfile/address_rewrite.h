// Replaces the download address stored in a task file, keeping every other
// byte, through a backup beside it (the task file's path + ".bak").
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "taskfile/file_system.h"

namespace orvanta {

enum class RewriteStep {
  kOpenTaskFile,    // the task file could not be opened for writing
  kCheckUnchanged,  // it no longer holds the lengths it was loaded with
  kMoveToBackup,    // renaming it to the backup
  kCreateTaskFile,  // creating it anew
  kCopyContent,     // reading the backup or writing the new file
  kFlushTaskFile,   // making the new file durable
};

struct RewriteError {
  RewriteStep step;
  std::string reason;  // the system's words
  // False only when putting the old file back failed as well: its content
  // is then whole in the backup.
  bool restored = true;
};

std::filesystem::path BackupPathFor(const std::filesystem::path& task_file);

// Writes `new_address` (ANSI bytes) in place of the old address.
// `name_length` and `address_length` are those the last ReadTaskFile of this
// file returned; when the file no longer matches them nothing is touched and
// the step is kCheckUnchanged.
//
// At every instant the complete old content is in the task file or in the
// backup. On any error the task file is left with its old bytes and no
// backup remains (unless `restored` is false). On success no backup remains,
// one left over from an earlier run included, unless the system refused to
// delete it after the new file was written in full.
std::optional<RewriteError> RewriteAddress(const std::filesystem::path& task_file,
                                           std::int32_t name_length, std::int32_t address_length,
                                           std::string_view new_address,
                                           FileSystem& file_system = SystemFileSystem());

}  // namespace orvanta
