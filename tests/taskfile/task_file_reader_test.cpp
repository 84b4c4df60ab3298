#include "taskfile/task_file_reader.h"

#include <gtest/gtest.h>

#include "support/task_file_bytes.h"
#include "taskfile/ansi_text.h"

namespace orvanta {
namespace {

using namespace testing;

TaskFileContent Read(const std::string& bytes) {
  MemoryFile file(bytes);
  return ReadTaskFile(file);
}

template <class Outcome>
bool Is(const TaskFileContent& content) {
  return std::holds_alternative<Outcome>(content);
}

TEST(ReadTaskFile, FindsNameAndAddressInEveryLayout) {
  // Spelled out byte by byte once, to check the builder: tag 3, five bytes,
  // mark 00 00 00 01, name length 0, gap, address length 3, address.
  ASSERT_EQ(BuildTaskFile({.header_filler = std::string(5, '\0'), .gap = '\0', .address = "abc"}),
            std::string("\3\0\0\0\0\0\0\0\0\0\0\0\1\0\0\0\0\0\3\0\0\0abc", 25));
  for (const auto& [label, parts] : TaskFileLayouts()) {
    SCOPED_TRACE(label);
    auto record = std::get<TaskRecord>(Read(BuildTaskFile(parts)));
    EXPECT_EQ(record.NameLength, parts.NameLength());
    EXPECT_EQ(record.HasName, parts.NameLength() > 0);
    EXPECT_EQ(record.NameText, AnsiBytesToText(parts.name));
    EXPECT_EQ(record.AddressLength, parts.AddressLength());
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

}  // namespace
}  // namespace orvanta
