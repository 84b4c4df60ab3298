#include "fuzz/task_file_check.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/task_file_bytes.h"
#include "taskfile/task_file_layout.h"
#include "taskfile/task_file_reader.h"

namespace orvanta::testing {
namespace {

void Require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "task file check failed: %s\n", what);
  std::abort();
}

}  // namespace

void CheckTaskFileBytes(const std::uint8_t* data, std::size_t size) {
  MemoryFile file(std::string(reinterpret_cast<const char*>(data), size));
  TaskFileContent content = ReadTaskFile(file);

  // Reads of a memory file cannot fail but by reaching past its end.
  Require(!std::holds_alternative<UnreadableFile>(content), "read past the end");
  const bool header = size >= 13 && layout::LoadInt32(reinterpret_cast<const char*>(data)) == 3 &&
                      layout::LoadInt32(reinterpret_cast<const char*>(data) + 9) == 0x01000000;
  Require(header != std::holds_alternative<NotTaskFile>(content), "header test");

  if (const auto* record = std::get_if<TaskRecord>(&content)) {
    Require(record->AddressLength >= 0, "negative address length");
    Require(record->HasName == (record->NameLength > 0), "HasName");
    Require(layout::AddressOffset(record->NameLength) +
                    static_cast<std::uint64_t>(record->AddressLength) <=
                size,
            "address past the end");
    Require(record->HasName || record->NameText.empty(), "name text without a name");
  }
}

}  // namespace orvanta::testing
