#include "taskfile/task_file_reader.h"

#include <gtest/gtest.h>

#include "support/memory_file.h"
#include "support/task_file_bytes.h"

namespace orvanta {
namespace {

using testing::BuildTaskFile;
using testing::Int32Bytes;
using testing::MemoryFile;
using testing::TaskFileParts;
using testing::TempFolder;

TaskFileContent Read(const std::string& bytes) {
  MemoryFile file(bytes);
  return ReadTaskFile(file);
}

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
  auto record = std::get<TaskRecord>(Read(bytes));
  EXPECT_EQ(record.NameLength, 0);
  EXPECT_FALSE(record.HasName);
  EXPECT_EQ(record.NameText, "");
  EXPECT_EQ(record.AddressLength, 3);
  EXPECT_EQ(record.AddressText, "abc");
}

struct LayoutCase {
  const char* label;
  TaskFileParts parts;
  std::int32_t name_length;
  std::string name_text;
  std::string address_text;
};

void PrintTo(const LayoutCase& c, std::ostream* out) { *out << c.label; }

class ReadTaskFileLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(ReadTaskFileLayout, FindsNameAndAddress) {
  const LayoutCase& c = GetParam();
  auto record = std::get<TaskRecord>(Read(BuildTaskFile(c.parts)));
  EXPECT_EQ(record.NameLength, c.name_length);
  EXPECT_EQ(record.HasName, c.name_length > 0);
  EXPECT_EQ(record.NameText, c.name_text);
  EXPECT_EQ(record.AddressLength, static_cast<std::int32_t>(c.parts.address.size()));
  EXPECT_EQ(record.AddressText, c.address_text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadTaskFileLayout,
    ::testing::Values(
        LayoutCase{
            "FourByteName", {.name = "abcd", .address = "http://a/b"}, 4, "abcd", "http://a/b"},
        LayoutCase{"ZeroNameLength", {.name_length = 0, .address = "ftp://x"}, 0, "", "ftp://x"},
        // A negative length stores no name; the value itself is passed on.
        LayoutCase{
            "NegativeNameLength", {.name_length = -5, .address = "ftp://x"}, -5, "", "ftp://x"},
        LayoutCase{"AnyHeaderFiller",
                   {.header_filler = "\xFF\x01\x02\x03\x04", .address = "u"},
                   0,
                   "",
                   "u"},
        LayoutCase{"EmptyAddress", {.name = "n", .address = ""}, 1, "n", ""},
        LayoutCase{"Cp936Text",
                   {.name = "\xCF\xC2\xD4\xD8", .address = "http://h/\xCE\xC4\xBC\xFE"},
                   4,
                   "下载",
                   "http://h/文件"},
        LayoutCase{"RemainderIgnored",
                   {.name = "n", .address = "a", .remainder = std::string(100000, '\3')},
                   1,
                   "n",
                   "a"}),
    [](const auto& info) { return info.param.label; });

TEST(ReadTaskFile, RejectsWrongHeaders) {
  const std::string good = BuildTaskFile({.address = "a"});
  std::string mark_is_one = good;
  mark_is_one.replace(9, 4, Int32Bytes(1));
  std::string tag_is_two = good;
  tag_is_two.replace(0, 4, Int32Bytes(2));

  EXPECT_TRUE(std::holds_alternative<NotTaskFile>(Read(mark_is_one)));
  EXPECT_TRUE(std::holds_alternative<NotTaskFile>(Read(tag_is_two)));
  for (std::size_t size = 0; size < 13; ++size) {
    EXPECT_TRUE(std::holds_alternative<NotTaskFile>(Read(good.substr(0, size)))) << size;
  }
}

TEST(ReadTaskFile, CallsEveryTruncationOfAGoodFileDamaged) {
  const std::string good = BuildTaskFile({.name = "name", .address = "address"});
  for (std::size_t size = 13; size < good.size(); ++size) {
    EXPECT_TRUE(std::holds_alternative<DamagedTaskFile>(Read(good.substr(0, size)))) << size;
  }
}

TEST(ReadTaskFile, CallsImpossibleLengthsDamagedWithoutReadingThem) {
  // MemoryFile fails any read past its bytes, so a reader that trusted the
  // lengths would report an unreadable file, not a damaged one.
  for (const TaskFileParts& parts : std::initializer_list<TaskFileParts>{
           {.name_length = 0x7FFFFFFF, .address = "a"},
           {.name = "n", .address_length = 0x7FFFFFFF, .address = "a"},
           {.name = "n", .address_length = 2, .address = "a"},
           {.name = "n", .address_length = -1, .address = "a"},
           {.name_length = 0x7FFFFFFF - 17, .address = "a"},
       }) {
    EXPECT_TRUE(std::holds_alternative<DamagedTaskFile>(Read(BuildTaskFile(parts))));
  }
}

TEST(ReadTaskFile, NeverReadsTheRemainder) {
  const std::string head = BuildTaskFile({.name = "n", .address = "addr"});
  MemoryFile file(head, std::uint64_t{1} << 40);  // claims a terabyte more
  EXPECT_EQ(std::get<TaskRecord>(ReadTaskFile(file)).AddressText, "addr");
}

TEST(ReadTaskFile, ReportsPathsThatCannotBeRead) {
  TempFolder folder;
  for (const auto& path : {folder / "missing.td.cfg", folder.path()}) {
    auto content = ReadTaskFile(path);
    ASSERT_TRUE(std::holds_alternative<UnreadableFile>(content));
    EXPECT_FALSE(std::get<UnreadableFile>(content).Reason.empty());
  }
}

TEST(ReadTaskFile, ReadsAFileWithAChineseName) {
  TempFolder folder;
  const auto path = folder / "电影.mkv.td.cfg";
  testing::WriteBytes(path, BuildTaskFile({.address = "http://h/f"}));
  EXPECT_EQ(std::get<TaskRecord>(ReadTaskFile(path)).AddressText, "http://h/f");
}

}  // namespace
}  // namespace orvanta
