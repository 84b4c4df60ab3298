// Validates a task file and extracts its name and download address.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "taskfile/file_path.h"
#include "taskfile/file_system.h"

namespace orvanta {

// A task file that passed every check. Texts are UTF-8.
struct TaskRecord {
  std::int32_t NameLength = 0;     // as stored, 0 or negative when there is no name
  std::int32_t AddressLength = 0;  // as stored, never negative
  bool HasName = false;
  std::string NameText;
  std::string AddressText;
};

// The header is not that of a task file (this covers files under 13 bytes).
struct NotTaskFile {};

// The header is right, but the name or address runs past the end of the
// file, or AddressLength is negative.
struct DamagedTaskFile {};

// The path could not be opened or read: missing, a folder, no permission...
struct UnreadableFile {
  SystemError error;
};

using TaskFileContent = std::variant<TaskRecord, NotTaskFile, DamagedTaskFile, UnreadableFile>;

// The two length fields of a task file whose name and address fit in it.
// A rewrite is handed those the task was loaded with, and goes ahead only
// while the file still holds them.
struct TaskLengths {
  std::int32_t NameLength = 0;
  std::int32_t AddressLength = 0;
  friend bool operator==(const TaskLengths&, const TaskLengths&) = default;
};

using TaskFileLayout = std::variant<TaskLengths, NotTaskFile, DamagedTaskFile, UnreadableFile>;

// Reads the header, the name and the address, never the rest, so its cost
// does not grow with the file. Each declared length is checked against the
// file's size before anything is allocated for it. Leaves no file open.
TaskFileContent ReadTaskFile(const FilePath& path, FileSystem& file_system = SystemFileSystem());

// The same, over a file already open.
TaskFileContent ReadTaskFile(ReadableFile& file);

// Reads and checks the header and both lengths, but neither text.
TaskFileLayout ReadTaskLengths(ReadableFile& file);

}  // namespace orvanta
