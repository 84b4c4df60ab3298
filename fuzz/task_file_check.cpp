#include "fuzz/task_file_check.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "taskfile/address_rewrite.h"
#include "taskfile/ansi_text.h"
#include "taskfile/task_file_reader.h"
#include "taskfile/unicode_text.h"

namespace orvanta::testing {
namespace {

// Bytes in memory: a read that reaches past them fails, as one past a real
// file's end would.
class MemoryFile final : public ReadableFile {
 public:
  explicit MemoryFile(std::string_view bytes) : bytes_(bytes) {}

  std::uint64_t Size() const override { return bytes_.size(); }
  Status ReadAt(std::uint64_t offset, std::span<char> out) override {
    if (offset > bytes_.size() || out.size() > bytes_.size() - offset) {
      return SystemError{ErrorKind::kEndOfFile};
    }
    std::copy_n(bytes_.data() + offset, out.size(), out.data());
    return {};
  }

 private:
  std::string_view bytes_;
};

// Little-endian, as every length of the layout.
std::int32_t Int32At(const std::string& bytes, std::uint64_t offset) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) {
    value = value << 8 | static_cast<unsigned char>(bytes[offset + static_cast<unsigned>(i)]);
  }
  return static_cast<std::int32_t>(value);
}

void Require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "task file check failed: %s\n", what);
  std::abort();
}

}  // namespace

void CheckTaskFileBytes(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  MemoryFile file(bytes);
  TaskFileContent content = ReadTaskFile(file);
  // Reads of a memory file cannot fail but by reaching past its end.
  Require(!std::holds_alternative<UnreadableFile>(content), "read past the end");

  // The layout worked out again here, not with the reader's own code, so the
  // two cannot share a mistake: tag 3, five bytes, the mark 00 00 00 01, the
  // name's length and the name, a gap byte, the address's length and the
  // address; lengths are little-endian.
  auto int32_at = [&](std::uint64_t offset) { return Int32At(bytes, offset); };
  const bool header = size >= 13 && int32_at(0) == 3 && int32_at(9) == 0x01000000;
  Require(header != std::holds_alternative<NotTaskFile>(content), "header test");
  std::int32_t name_length = 0, address_length = -1;
  std::uint64_t name_size = 0, address_at = 0;
  if (header && size >= 17) {
    name_length = int32_at(13);
    name_size = static_cast<std::uint64_t>(std::max(name_length, 0));
    address_at = 17 + name_size + 1 + 4;
    if (address_at <= size) address_length = int32_at(address_at - 4);
  }
  const bool fits = address_length >= 0 && address_at + std::uint64_t(address_length) <= size;
  Require(fits == std::holds_alternative<TaskRecord>(content), "lengths checked against size");

  if (const auto* record = std::get_if<TaskRecord>(&content)) {
    Require(record->NameLength == name_length && record->AddressLength == address_length,
            "lengths");
    Require(record->HasName == (name_length > 0), "HasName");
    Require(record->NameText == AnsiBytesToText(bytes.substr(17, name_size)), "name");
    Require(record->AddressText == AnsiBytesToText(bytes.substr(address_at, address_length)),
            "address");
  }
}

void CheckRewriteOf(const std::string& bytes, const std::string& path) {
  MemoryFile file(bytes);
  const TaskFileContent content = ReadTaskFile(file);
  const auto* record = std::get_if<TaskRecord>(&content);
  if (!record) return;
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  const std::string address = "http://new/\xCF\xC2\xD4\xD8";
  const RewriteReport report = RewriteAddress(
      PathFromUtf8(path), {record->NameLength, record->AddressLength}, AnsiBytes(address));
  Require(!report.error, "rewrite");
  std::ostringstream stored;
  stored << std::ifstream(path, std::ios::binary).rdbuf();

  const std::uint64_t name_size = static_cast<std::uint64_t>(std::max(Int32At(bytes, 13), 0));
  const std::uint64_t length_at = 17 + name_size + 1;
  const std::uint64_t rest_at =
      length_at + 4 + static_cast<std::uint64_t>(Int32At(bytes, length_at));
  std::string expected =
      bytes.substr(0, length_at) + std::string(4, '\0') + address + bytes.substr(rest_at);
  expected[length_at] = static_cast<char>(address.size());
  Require(stored.str() == expected, "rewritten bytes");
}

}  // namespace orvanta::testing
