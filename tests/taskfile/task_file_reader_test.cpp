#include "taskfile/task_file_reader.h"

#include <gtest/gtest.h>

#include "support/memory_file.h"
#include "support/task_file_bytes.h"
#include "taskfile/ansi_text.h"

namespace orvanta {
namespace {

using testing::BuildTaskFile;
using testing::Int32Bytes;
using testing::MemoryFile;
using testing::TaskFileParts;

TaskFileContent Read(const std::string& bytes) {
  MemoryFile file(bytes);
  return ReadTaskFile(file);
}

template <class Outcome>
bool Is(const TaskFileContent& content) {
  return std::holds_alternative<Outcome>(content);
}

// Spelled out byte by byte: it checks the builder the other tests use too.
TEST(ReadTaskFile, ReadsTheSmallestFileWithoutAName) {
  const std::string bytes(
      "\3\0\0\0"
      "\0\0\0\0\0"
      "\0\0\0\1"
      "\0\0\0\0"
      "\0"
      "\3\0\0\0"
      "abc",
      25);
  ASSERT_EQ(BuildTaskFile({.header_filler = std::string(5, '\0'), .gap = '\0', .address = "abc"}),
            bytes);
  auto record = std::get<TaskRecord>(Read(bytes));
  EXPECT_EQ(record.NameLength * 10 + record.AddressLength, 3);
  EXPECT_FALSE(record.HasName);
  EXPECT_EQ(record.NameText + "|" + record.AddressText, "|abc");
}

TEST(ReadTaskFile, FindsNameAndAddressInEveryLayout) {
  for (const auto& [label, parts] : testing::TaskFileLayouts()) {
    SCOPED_TRACE(label);
    auto record = std::get<TaskRecord>(Read(BuildTaskFile(parts)));
    const std::int32_t name_length =
        parts.name_length.value_or(static_cast<std::int32_t>(parts.name.size()));
    EXPECT_EQ(record.NameLength, name_length);
    EXPECT_EQ(record.HasName, name_length > 0);
    EXPECT_EQ(record.NameText, AnsiBytesToText(parts.name));
    EXPECT_EQ(record.AddressLength, static_cast<std::int32_t>(parts.address.size()));
    EXPECT_EQ(record.AddressText, AnsiBytesToText(parts.address));
  }
}

TEST(ReadTaskFile, TellsWrongHeadersFromDamagedFiles) {
  const std::string good = BuildTaskFile({.name = "name", .address = "address"});
  for (auto [offset, value] : {std::pair{9, 1}, std::pair{0, 2}}) {  // the mark read as 1
    std::string wrong = good;
    wrong.replace(static_cast<std::size_t>(offset), 4, Int32Bytes(value));
    EXPECT_TRUE(Is<NotTaskFile>(Read(wrong))) << offset;
  }
  for (std::size_t size = 0; size < good.size(); ++size) {
    const TaskFileContent cut = Read(good.substr(0, size));
    EXPECT_TRUE(size < 13 ? Is<NotTaskFile>(cut) : Is<DamagedTaskFile>(cut)) << size;
  }
}

// MemoryFile fails any read past its bytes, so a reader that trusted the
// lengths would report an unreadable file, not a damaged one.
TEST(ReadTaskFile, CallsImpossibleLengthsDamagedWithoutReadingThem) {
  for (const TaskFileParts& parts : std::initializer_list<TaskFileParts>{
           {.name_length = 0x7FFFFFFF, .address = "a"},
           {.name = "n", .address_length = 0x7FFFFFFF, .address = "a"},
           {.name = "n", .address_length = 2, .address = "a"},
           {.name = "n", .address_length = -1, .address = "a"},
           {.name_length = 0x7FFFFFFF - 17, .address = "a"},
       }) {
    EXPECT_TRUE(Is<DamagedTaskFile>(Read(BuildTaskFile(parts))));
  }
  MemoryFile huge(BuildTaskFile({.address = "addr"}), std::uint64_t{1} << 40);
  EXPECT_EQ(std::get<TaskRecord>(ReadTaskFile(huge)).AddressText, "addr");  // nothing more read
}

TEST(ReadTaskFile, ReadsFilesByChineseNamesAndReportsThoseItCannot) {
  testing::TempFolder folder;
  testing::WriteBytes(folder / "电影.mkv.td.cfg", BuildTaskFile({.address = "http://h/f"}));
  EXPECT_EQ(std::get<TaskRecord>(ReadTaskFile(folder / "电影.mkv.td.cfg")).AddressText,
            "http://h/f");
  for (const auto& path : {folder / "missing.td.cfg", folder.path()}) {
    auto content = ReadTaskFile(path);
    ASSERT_TRUE(Is<UnreadableFile>(content));
    EXPECT_FALSE(std::get<UnreadableFile>(content).Reason.empty());
  }
}

}  // namespace
}  // namespace orvanta
