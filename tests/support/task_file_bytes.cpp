#include "support/task_file_bytes.h"

#include <fstream>
#include <random>
#include <stdexcept>

#include "taskfile/task_file_layout.h"
#include "taskfile/unicode_text.h"

namespace orvanta::testing {

std::string Int32Bytes(std::int32_t value) {
  std::string bytes(4, '\0');
  layout::StoreInt32(value, bytes.data());
  return bytes;
}

std::string BuildTaskFile(const TaskFileParts& parts) {
  auto name_length = parts.name_length.value_or(static_cast<std::int32_t>(parts.name.size()));
  auto address_length =
      parts.address_length.value_or(static_cast<std::int32_t>(parts.address.size()));
  return Int32Bytes(3) + parts.header_filler + std::string("\0\0\0\1", 4) +
         Int32Bytes(name_length) + parts.name + parts.gap + Int32Bytes(address_length) +
         parts.address + parts.remainder;
}

const std::vector<NamedLayout>& TaskFileLayouts() {
  static const std::vector<NamedLayout> layouts = {
      {"four-byte name", {.name = "abcd", .address = std::string(30, 'o'), .remainder = "r"}},
      {"no name", {.name_length = 0, .gap = '\xEE', .address = "ftp://x", .remainder = "tail"}},
      // A negative length stores no name; the value itself stays.
      {"negative name length", {.name_length = -5, .gap = '\xEE', .address = "ftp://x"}},
      {"any header filler", {.header_filler = "\xFF\x01\x02\x03\x04", .address = "u"}},
      {"empty address", {.name = "n", .address = "", .remainder = "r"}},
      {"code page 936", {.name = "\xCF\xC2\xD4\xD8", .address = "http://h/\xCE\xC4\xBC\xFE"}},
      // Longer than a copy chunk (1 MiB), and not a multiple of it.
      {"large remainder", {.name = "n", .address = "a", .remainder = PatternBytes(3'500'001)}},
      {"large name", {.name = PatternBytes(2'100'000, 7), .address = "a"}},
  };
  return layouts;
}

std::string PatternBytes(std::size_t count, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(count, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random() & 0xFF);
  return bytes;
}

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes(static_cast<std::size_t>(std::filesystem::file_size(path)), '\0');
  if (!in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()))) {
    throw std::runtime_error("cannot read " + PathToUtf8(path));
  }
  return bytes;
}

void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) throw std::runtime_error("cannot write " + PathToUtf8(path));
}

TempFolder::TempFolder() {
  std::random_device seed;
  std::filesystem::path base = std::filesystem::temp_directory_path();
  for (;;) {
    path_ = base / ("orvanta-test-" + std::to_string(seed()));
    if (std::filesystem::create_directory(path_)) return;
  }
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path TempFolder::operator/(const std::string& utf8_name) const {
  return path_ / PathFromUtf8(utf8_name);
}

}  // namespace orvanta::testing
