// Task files for tests, built byte by byte, and the files they live in.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace orvanta::testing {

struct TaskFileParts {
  std::string header_filler = std::string(5, '\x5A');  // offsets 4 to 8, never examined
  std::optional<std::int32_t> name_length;             // defaults to name's size
  std::string name;                                    // ANSI bytes
  char gap = '\x47';
  std::optional<std::int32_t> address_length;  // defaults to address's size
  std::string address;                         // ANSI bytes
  std::string remainder;
};

std::string Int32Bytes(std::int32_t value);
std::string BuildTaskFile(const TaskFileParts& parts);

// The layouts that the reader and the rewrite must both get right.
struct NamedLayout {
  const char* label;
  TaskFileParts parts;
};
const std::vector<NamedLayout>& TaskFileLayouts();

// `count` bytes that repeat no short pattern, so a misplaced copy shows.
std::string PatternBytes(std::size_t count, unsigned seed = 1);

std::string ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::string& bytes);

// A fresh folder, removed with everything in it at the end of the test.
class TempFolder {
 public:
  TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder();

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& utf8_name) const;

 private:
  std::filesystem::path path_;
};

}  // namespace orvanta::testing
