#include "taskfile/ansi_text.h"

#include <gtest/gtest.h>

#include "taskfile/unicode_text.h"

namespace orvanta {
namespace {

// These run where the ANSI code page is 936: everywhere but Windows, and
// under Wine with a zh_CN locale.

TEST(AnsiText, RoundTripsChineseAndAscii) {
  const std::string bytes = "http://\xCF\xC2\xD4\xD8/\xCE\xC4\xBC\xFE.zip";
  EXPECT_EQ(AnsiBytesToText(bytes), "http://下载/文件.zip");
  EXPECT_EQ(TextToAnsiBytes("http://下载/文件.zip"), bytes);
  EXPECT_EQ(TextToAnsiBytes(""), "");
  EXPECT_EQ(AnsiBytesToText(""), "");
}

TEST(AnsiText, DecodesEachBadByteAsOneReplacementCharacter) {
  EXPECT_EQ(AnsiBytesToText("a\xFF"
                            "b"),
            "a\uFFFDb");
  // A lead byte cut off at the end, and one followed by a byte that cannot
  // follow it: the byte after is decoded on its own.
  EXPECT_EQ(AnsiBytesToText("a\xCF"), "a\uFFFD");
  EXPECT_EQ(AnsiBytesToText("\xCF "), "\uFFFD ");
  EXPECT_EQ(AnsiBytesToText("\xFF\xFF\xCF\xC2"), "\uFFFD\uFFFD下");
}

TEST(AnsiText, EncodesEachUnmappableCharacterAsOneQuestionMark) {
  EXPECT_EQ(TextToAnsiBytes("a😀b"), "a?b");       // outside the BMP: one "?", not two
  EXPECT_EQ(TextToAnsiBytes("x\u0E01y"), "x?y");  // Thai
  EXPECT_EQ(TextToAnsiBytes("ő"), "?");           // best fit would give "o"
  EXPECT_EQ(TextToAnsiBytes("a\xFF"
                            "b"),
            "a?b");  // malformed UTF-8
}

TEST(UnicodeText, ConvertsBetweenUtf8AndUtf16) {
  EXPECT_EQ(Utf8ToUtf16("a下😀"), u"a下😀");
  EXPECT_EQ(Utf16ToUtf8(u"a下😀"), "a下😀");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, u'\xD800')), "\uFFFD");
  EXPECT_EQ(Utf8ToCodePoints("\xE4\xB8"), U"\uFFFD\uFFFD");  // cut-off sequence
  EXPECT_EQ(Utf8ToCodePoints("\xC0\xAF"), U"\uFFFD\uFFFD");  // overlong "/"
}

TEST(UnicodeText, MakesPathsFromUtf8OnEverySystem) {
  const std::string name = "下载/电影.td.cfg";
  EXPECT_EQ(PathToUtf8(PathFromUtf8(name)), name);
  EXPECT_EQ(PathToUtf8(std::filesystem::path(PathFromUtf8(name)).filename()), "电影.td.cfg");
}

}  // namespace
}  // namespace orvanta
