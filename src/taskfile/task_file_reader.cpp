#include "taskfile/task_file_reader.h"

#include <array>

#include "taskfile/ansi_text.h"
#include "taskfile/task_file_layout.h"

namespace orvanta {
namespace {

// Reads fields of a file; a field is read only after Fits() said it is there.
class FieldReader {
 public:
  explicit FieldReader(ReadableFile& file) : file_(file) {}

  bool Fits(std::uint64_t offset, std::uint64_t count) const {
    return offset <= file_.Size() && count <= file_.Size() - offset;
  }

  Status Int32At(std::uint64_t offset, std::int32_t& value) {
    std::array<char, layout::kInt32Size> bytes{};
    Status status = file_.ReadAt(offset, bytes);
    if (status.ok()) value = layout::LoadInt32(bytes.data());
    return status;
  }

  Status TextAt(std::uint64_t offset, std::uint64_t count, std::string& text) {
    std::string bytes(static_cast<std::size_t>(count), '\0');
    Status status = file_.ReadAt(offset, bytes);
    if (status.ok()) text = AnsiBytesToText(bytes);
    return status;
  }

 private:
  ReadableFile& file_;
};

// Both header fields are read before either is tested.
TaskFileLayout ReadHeaderAndLengths(FieldReader& reader) {
  if (!reader.Fits(0, layout::kNameLengthOffset)) return NotTaskFile{};
  std::int32_t tag = 0, mark = 0;
  Status status = reader.Int32At(layout::kFormatTagOffset, tag);
  if (status.ok()) status = reader.Int32At(layout::kFormatMarkOffset, mark);
  if (!status.ok()) return UnreadableFile{status.message()};
  if (tag != layout::kFormatTag || mark != layout::kFormatMark) return NotTaskFile{};

  TaskLengths lengths;
  if (!reader.Fits(layout::kNameLengthOffset, layout::kInt32Size)) return DamagedTaskFile{};
  status = reader.Int32At(layout::kNameLengthOffset, lengths.NameLength);
  if (!status.ok()) return UnreadableFile{status.message()};

  std::uint64_t length_offset = layout::AddressLengthOffset(lengths.NameLength);
  if (!reader.Fits(length_offset, layout::kInt32Size)) return DamagedTaskFile{};
  status = reader.Int32At(length_offset, lengths.AddressLength);
  if (!status.ok()) return UnreadableFile{status.message()};

  if (lengths.AddressLength < 0 ||
      !reader.Fits(layout::AddressOffset(lengths.NameLength),
                   static_cast<std::uint64_t>(lengths.AddressLength))) {
    return DamagedTaskFile{};
  }
  return lengths;
}

}  // namespace

TaskFileLayout ReadTaskLengths(ReadableFile& file) {
  FieldReader reader(file);
  return ReadHeaderAndLengths(reader);
}

TaskFileContent ReadTaskFile(ReadableFile& file) {
  FieldReader reader(file);
  TaskFileLayout layout = ReadHeaderAndLengths(reader);
  if (auto* failure = std::get_if<NotTaskFile>(&layout)) return *failure;
  if (auto* failure = std::get_if<DamagedTaskFile>(&layout)) return *failure;
  if (auto* failure = std::get_if<UnreadableFile>(&layout)) return std::move(*failure);
  const auto* lengths = std::get_if<TaskLengths>(&layout);

  TaskRecord record;
  record.NameLength = lengths->NameLength;
  record.AddressLength = lengths->AddressLength;
  record.HasName = record.NameLength > 0;
  Status status;
  if (record.HasName) {
    status =
        reader.TextAt(layout::kNameOffset, layout::NamePart(record.NameLength), record.NameText);
  }
  if (status.ok()) {
    status = reader.TextAt(layout::AddressOffset(record.NameLength),
                           static_cast<std::uint64_t>(record.AddressLength), record.AddressText);
  }
  if (!status.ok()) return UnreadableFile{status.message()};
  return record;
}

TaskFileContent ReadTaskFile(const FilePath& path, FileSystem& file_system) {
  auto file = file_system.OpenForReading(path);
  if (!file.ok()) return UnreadableFile{file.error().message};
  return ReadTaskFile(*file.value());
}

}  // namespace orvanta
