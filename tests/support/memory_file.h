// A task file held in memory.
#pragma once

#include <algorithm>
#include <string>

#include "taskfile/file_system.h"

namespace orvanta::testing {

// Bytes in memory that may claim to be longer than they are: every read that
// reaches past the bytes held fails, as a read past a real file's end would.
class MemoryFile final : public ReadableFile {
 public:
  explicit MemoryFile(std::string bytes, std::uint64_t claimed_size = 0)
      : bytes_(std::move(bytes)), size_(std::max<std::uint64_t>(claimed_size, bytes_.size())) {}

  std::uint64_t Size() const override { return size_; }

  Status ReadAt(std::uint64_t offset, std::span<char> out) override {
    if (offset > bytes_.size() || out.size() > bytes_.size() - offset) {
      return SystemError{"read past the bytes held"};
    }
    std::copy_n(bytes_.data() + offset, out.size(), out.data());
    return {};
  }

 private:
  std::string bytes_;
  std::uint64_t size_;
};

}  // namespace orvanta::testing
