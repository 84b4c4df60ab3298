#include "taskfile/task_file_reader.h"

#include <array>
#include <optional>
#include <span>

#include "taskfile/ansi_text.h"
#include "taskfile/task_file_layout.h"

namespace orvanta {
namespace {

// Reads fields of a file. A field that does not fit in the file is not
// there: its read gives nothing, and Failure() says the file is damaged.
class FieldReader {
 public:
  explicit FieldReader(ReadableFile& file) : file_(file) {}

  bool Holds(std::uint64_t offset, std::uint64_t count) const {
    return offset <= file_.Size() && count <= file_.Size() - offset;
  }

  std::optional<std::int32_t> Int32At(std::uint64_t offset) {
    std::array<char, layout::kInt32Size> bytes{};
    if (!Read(offset, bytes)) return std::nullopt;
    return layout::LoadInt32(bytes.data());
  }

  std::optional<std::string> TextAt(std::uint64_t offset, std::uint64_t count) {
    if (!Holds(offset, count)) return std::nullopt;
    std::string bytes(static_cast<std::size_t>(count), '\0');
    if (!Read(offset, bytes)) return std::nullopt;
    return AnsiBytesToText(bytes);
  }

  // Why the last read gave nothing.
  TaskFileLayout Failure() const {
    if (unreadable_) return *unreadable_;
    return DamagedTaskFile{};
  }

 private:
  bool Read(std::uint64_t offset, std::span<char> out) {
    if (!Holds(offset, out.size())) return false;
    Status status = file_.ReadAt(offset, out);
    if (!status.ok()) unreadable_ = UnreadableFile{status.error()};
    return status.ok();
  }

  ReadableFile& file_;
  std::optional<UnreadableFile> unreadable_;
};

// Both header fields are read before either is tested.
TaskFileLayout ReadHeaderAndLengths(FieldReader& reader) {
  const std::optional<std::int32_t> tag = reader.Int32At(layout::kFormatTagOffset);
  const std::optional<std::int32_t> mark = reader.Int32At(layout::kFormatMarkOffset);
  if (std::holds_alternative<UnreadableFile>(reader.Failure())) return reader.Failure();
  if (!tag || !mark) return NotTaskFile{};  // too short to hold them
  if (*tag != layout::kFormatTag || *mark != layout::kFormatMark) return NotTaskFile{};

  const std::optional<std::int32_t> name_length = reader.Int32At(layout::kNameLengthOffset);
  if (!name_length) return reader.Failure();
  const std::optional<std::int32_t> address_length =
      reader.Int32At(layout::AddressLengthOffset(*name_length));
  if (!address_length) return reader.Failure();
  const TaskLengths lengths{*name_length, *address_length};

  if (lengths.AddressLength < 0 ||
      !reader.Holds(layout::AddressOffset(lengths.NameLength),
                    static_cast<std::uint64_t>(lengths.AddressLength))) {
    return DamagedTaskFile{};
  }
  return lengths;
}

// A failed read's outcome as what ReadTaskFile returns.
TaskFileContent AsContent(TaskFileLayout failure) {
  if (auto* unreadable = std::get_if<UnreadableFile>(&failure)) return std::move(*unreadable);
  if (std::holds_alternative<NotTaskFile>(failure)) return NotTaskFile{};
  return DamagedTaskFile{};
}

}  // namespace

TaskFileLayout ReadTaskLengths(ReadableFile& file) {
  FieldReader reader(file);
  return ReadHeaderAndLengths(reader);
}

TaskFileContent ReadTaskFile(ReadableFile& file) {
  FieldReader reader(file);
  TaskFileLayout layout = ReadHeaderAndLengths(reader);
  const auto* lengths = std::get_if<TaskLengths>(&layout);
  if (!lengths) return AsContent(std::move(layout));

  TaskRecord record;
  record.NameLength = lengths->NameLength;
  record.AddressLength = lengths->AddressLength;
  record.HasName = record.NameLength > 0;
  if (record.HasName) {
    std::optional<std::string> name =
        reader.TextAt(layout::kNameOffset, layout::NamePart(record.NameLength));
    if (!name) return AsContent(reader.Failure());
    record.NameText = std::move(*name);
  }
  std::optional<std::string> address = reader.TextAt(
      layout::AddressOffset(record.NameLength), static_cast<std::uint64_t>(record.AddressLength));
  if (!address) return AsContent(reader.Failure());
  record.AddressText = std::move(*address);
  return record;
}

TaskFileContent ReadTaskFile(const FilePath& path, FileSystem& file_system) {
  auto file = file_system.OpenForReading(path);
  if (!file.ok()) return UnreadableFile{file.error()};
  return ReadTaskFile(*file.value());
}

}  // namespace orvanta
