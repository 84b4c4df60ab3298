// The names of the files a rewrite puts beside a task file: the task file's
// name with a suffix. Where that would be longer than the file system lets
// a name be, the task file's name is cut short in front of the suffix and a
// hash of the whole name keeps it apart from every other task's; a name that
// fits is never changed. Lengths count the system's own units: bytes of
// UTF-8 on POSIX, UTF-16 units on Windows.
#pragma once

#include <cstddef>
#include <string_view>

#include "taskfile/file_path.h"
#include "taskfile/file_system.h"

namespace orvanta {

// `suffix` is ASCII and starts with ".", so that the result never ends in
// "td.cfg" and is never taken for a task file.
FilePath SidePath(const FilePath& task_file, std::string_view suffix, std::size_t max_name_length);

// The backup: ".bak", or ".bak.1", ".bak.2"... for a backup kept from an
// earlier rewrite (`number` above 0).
FilePath BackupPathFor(const FilePath& task_file, FileSystem& file_system = SystemFileSystem(),
                       int number = 0);

// Where the new content is written before it replaces the task file.
FilePath TemporaryPathFor(const FilePath& task_file, FileSystem& file_system = SystemFileSystem());

}  // namespace orvanta
