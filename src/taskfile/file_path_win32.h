// A file's path on Windows: UTF-16, as every wide Win32 call takes it.
#pragma once

#include <filesystem>
#include <string>
#include <utility>

namespace orvanta {

inline constexpr wchar_t kPathSeparators[] = L"\\/";

class FilePath {
 public:
  using value_type = wchar_t;
  using string_type = std::wstring;

  FilePath() = default;
  FilePath(std::wstring native) : native_(std::move(native)) {}
  FilePath(const wchar_t* native) : native_(native) {}

  // For tests and tools, which work with std::filesystem; compiled only
  // where they are used, so the program itself never links it.
  FilePath(const std::filesystem::path& path) : native_(path.native()) {}
  operator std::filesystem::path() const { return native_; }

  const std::wstring& native() const { return native_; }
  const wchar_t* c_str() const { return native_.c_str(); }
  bool empty() const { return native_.empty(); }

  // Everything before the last separator; empty when there is none.
  FilePath parent_path() const {
    const std::size_t end = native_.find_last_of(kPathSeparators);
    return end == std::wstring::npos ? FilePath() : FilePath(native_.substr(0, end));
  }

  FilePath& operator+=(const FilePath& suffix) {
    native_ += suffix.native_;
    return *this;
  }

  friend bool operator==(const FilePath&, const FilePath&) = default;

 private:
  std::wstring native_;
};

}  // namespace orvanta
