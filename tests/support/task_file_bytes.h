// Task files for tests, built byte by byte, and the files they live in.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "taskfile/address_rewrite.h"
#include "taskfile/task_file_layout.h"
#include "taskfile/unicode_text.h"

namespace orvanta::testing {

struct TaskFileParts {
  std::string header_filler = std::string(5, '\x5A');  // offsets 4 to 8, never examined
  std::optional<std::int32_t> name_length;             // defaults to name's size
  std::string name;                                    // ANSI bytes
  char gap = '\x47';
  std::optional<std::int32_t> address_length;  // defaults to address's size
  std::string address;                         // ANSI bytes
  std::string remainder;

  std::int32_t NameLength() const {
    return name_length.value_or(static_cast<std::int32_t>(name.size()));
  }
  std::int32_t AddressLength() const {
    return address_length.value_or(static_cast<std::int32_t>(address.size()));
  }
};

inline std::string Int32Bytes(std::int32_t value) {
  std::string bytes(4, '\0');
  layout::StoreInt32(value, bytes.data());
  return bytes;
}

inline std::string BuildTaskFile(const TaskFileParts& parts) {
  return Int32Bytes(3) + parts.header_filler + std::string("\0\0\0\1", 4) +
         Int32Bytes(parts.NameLength()) + parts.name + parts.gap +
         Int32Bytes(parts.AddressLength()) + parts.address + parts.remainder;
}

// Rewrites the task file at `path`, which holds `parts`, as after loading it.
inline RewriteReport RewriteAsLoaded(const std::filesystem::path& path, const TaskFileParts& parts,
                                     std::string_view address,
                                     FileSystem& file_system = SystemFileSystem()) {
  return RewriteAddress(path, parts.NameLength(), parts.AddressLength(), address, file_system);
}

// `count` bytes that repeat no short pattern, so a misplaced copy shows.
inline std::string PatternBytes(std::size_t count, unsigned seed = 1) {
  std::mt19937 random(seed);
  std::string bytes(count, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random() & 0xFF);
  return bytes;
}

// The layouts that the reader and the rewrite must both get right.
struct NamedLayout {
  const char* label;
  TaskFileParts parts;
};
inline const std::vector<NamedLayout>& TaskFileLayouts() {
  static const std::vector<NamedLayout> layouts = {
      {"four_byte_name", {.name = "abcd", .address = std::string(30, 'o'), .remainder = "r"}},
      {"no_name", {.name_length = 0, .gap = '\xEE', .address = "ftp://x", .remainder = "tail"}},
      // A negative length stores no name; the value itself stays.
      {"negative_name_length", {.name_length = -5, .gap = '\xEE', .address = "ftp://x"}},
      {"any_header_filler", {.header_filler = "\xFF\x01\x02\x03\x04", .address = "u"}},
      {"empty_address", {.name = "n", .address = "", .remainder = "r"}},
      {"code_page_936", {.name = "\xCF\xC2\xD4\xD8", .address = "http://h/\xCE\xC4\xBC\xFE"}},
      // Longer than a copy chunk (1 MiB), and not a multiple of it.
      {"large_remainder", {.name = "n", .address = "a", .remainder = PatternBytes(3'500'001)}},
      {"large_name", {.name = PatternBytes(2'100'000, 7), .address = "a"}},
  };
  return layouts;
}

// Bytes in memory: a read that reaches past them fails, as one past a real
// file's end would.
class MemoryFile final : public ReadableFile {
 public:
  explicit MemoryFile(std::string bytes) : bytes_(std::move(bytes)) {}

  std::uint64_t Size() const override { return bytes_.size(); }
  Status ReadAt(std::uint64_t offset, std::span<char> out) override {
    if (offset > bytes_.size() || out.size() > bytes_.size() - offset) {
      return SystemError{"read past the bytes held"};
    }
    std::copy_n(bytes_.data() + offset, out.size(), out.data());
    return {};
  }

 private:
  std::string bytes_;
};

inline std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes(static_cast<std::size_t>(std::filesystem::file_size(path)), '\0');
  if (!in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()))) {
    throw std::runtime_error("cannot read " + PathToUtf8(path));
  }
  return bytes;
}

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) throw std::runtime_error("cannot write " + PathToUtf8(path));
}

// A fresh folder, removed with everything in it at the end of the test.
class TempFolder {
 public:
  TempFolder() {
    std::random_device seed;
    do {
      path_ = std::filesystem::temp_directory_path() / ("orvanta-test-" + std::to_string(seed()));
    } while (!std::filesystem::create_directory(path_));
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& utf8_name) const {
    return path_ / PathFromUtf8(utf8_name);
  }

 private:
  std::filesystem::path path_;
};

}  // namespace orvanta::testing
