#include "taskfile/side_files.h"

#include <cstdint>
#include <string>

namespace orvanta {
namespace {

using Native = FilePath::string_type;

// Whether a unit continues a character begun before it, so that a cut there
// would split the character: a UTF-8 continuation byte, or the second half
// of a UTF-16 surrogate pair.
template <class Unit>
constexpr bool ContinuesCharacter(Unit unit) {
  if constexpr (sizeof(Unit) == 1) {
    return (static_cast<unsigned char>(unit) & 0xC0) == 0x80;
  } else {
    return unit >= 0xDC00 && unit <= 0xDFFF;
  }
}

// FNV-1a over the units of `name`, as 16 hex digits.
Native HashDigits(const Native& name) {
  std::uint64_t hash = 0xCBF29CE484222325u;
  for (auto unit : name) {
    auto bits = static_cast<std::uint64_t>(static_cast<std::make_unsigned_t<decltype(unit)>>(unit));
    for (std::size_t byte = 0; byte < sizeof unit; ++byte) {
      hash = (hash ^ ((bits >> (8 * byte)) & 0xFF)) * 0x100000001B3u;
    }
  }
  Native digits(16, '0');
  for (std::size_t i = 16; i-- > 0; hash >>= 4) digits[i] = "0123456789abcdef"[hash & 0xF];
  return digits;
}

}  // namespace

FilePath SidePath(const FilePath& task_file, std::string_view suffix, std::size_t max_name_length) {
  const Native& path = task_file.native();
  const std::size_t name_start = path.find_last_of(kPathSeparators) + 1;  // 0 when none
  const std::size_t name_length = path.size() - name_start;
  const Native tail(suffix.begin(), suffix.end());
  if (name_length + tail.size() <= max_name_length) return path + tail;

  const Native mark = Native(1, '~') + HashDigits(path.substr(name_start));
  const std::size_t room = mark.size() + tail.size();
  std::size_t kept = max_name_length > room ? max_name_length - room : 0;
  while (kept > 0 && ContinuesCharacter(path[name_start + kept])) --kept;
  return path.substr(0, name_start + kept) + mark + tail;
}

FilePath BackupPathFor(const FilePath& task_file, FileSystem& file_system, int number) {
  std::string suffix = ".bak";
  if (number > 0) {
    suffix += '.';
    suffix += std::to_string(number);
  }
  return SidePath(task_file, suffix, file_system.MaxNameLength(task_file));
}

FilePath TemporaryPathFor(const FilePath& task_file, FileSystem& file_system) {
  return SidePath(task_file, ".orvanta-new", file_system.MaxNameLength(task_file));
}

}  // namespace orvanta
