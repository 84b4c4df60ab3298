// Task files for tests, built byte by byte, and the files they live in.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>

#include "taskfile/file_system.h"
#include "taskfile/unicode_text.h"

namespace orvanta::testing {

// Every member has a default, so that a designated initializer may leave
// any out: GCC warns of a member left out that has none.
struct TaskFileParts {
  std::string header_filler = std::string(5, '\x5A');  // offsets 4 to 8, never examined
  std::optional<std::int32_t> name_length = {};        // defaults to name's size
  std::string name = {};                               // ANSI bytes
  char gap = '\x47';
  std::optional<std::int32_t> address_length = {};  // defaults to address's size
  std::string address = {};                         // ANSI bytes
  std::string remainder = {};

  std::int32_t NameLength() const { return name_length.value_or(std::int32_t(name.size())); }
  std::int32_t AddressLength() const {
    return address_length.value_or(std::int32_t(address.size()));
  }
};

// Little-endian, written out here so that a fault in the program's own
// encoding cannot cancel out in the tests.
inline std::string Int32Bytes(std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  return {char(bits), char(bits >> 8), char(bits >> 16), char(bits >> 24)};
}

inline std::string BuildTaskFile(const TaskFileParts& parts) {
  return Int32Bytes(3) + parts.header_filler + std::string("\0\0\0\1", 4) +
         Int32Bytes(parts.NameLength()) + parts.name + parts.gap +
         Int32Bytes(parts.AddressLength()) + parts.address + parts.remainder;
}

// Empty when nothing goes by that name.
inline std::string ReadBytes(const std::filesystem::path& path) {
  std::ostringstream bytes;
  bytes << std::ifstream(path, std::ios::binary).rdbuf();
  return std::move(bytes).str();
}

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
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
  // Writes a task file made of `parts` into the folder; returns its UTF-8 path.
  std::string MakeTaskFile(const std::string& utf8_name,
                           const TaskFileParts& parts = {.name = "n", .address = "a"}) const {
    WriteBytes(*this / utf8_name, BuildTaskFile(parts));
    return PathToUtf8(*this / utf8_name);
  }

 private:
  std::filesystem::path path_;
};

}  // namespace orvanta::testing
