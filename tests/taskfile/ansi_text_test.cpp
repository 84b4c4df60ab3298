#include "taskfile/ansi_text.h"

#include <gtest/gtest.h>

#include "taskfile/unicode_text.h"

namespace orvanta {
namespace {

// These run where the ANSI code page is 936: everywhere but Windows, and
// under Wine with a zh_CN locale.

TEST(AnsiText, DecodesEachBadByteAsOneReplacementCharacter) {
  for (auto [bytes, text] :
       {std::pair{"http://\xCF\xC2\xD4\xD8/\xCE\xC4\xBC\xFE.zip", "http://下载/文件.zip"},
        {"a\xFF!", "a\uFFFD!"},
        {"a\xCF", "a\uFFFD"},  // a lead byte cut off at the end
        {"\xCF ", "\uFFFD "},  // one followed by a byte that cannot follow it
        {"\xFF\xFF\xCF\xC2", "\uFFFD\uFFFD下"}}) {
    EXPECT_EQ(AnsiBytesToText(bytes), text) << text;
  }
}

// Each character without an exact place in the code page becomes one "?",
// and is named once among those that did.
TEST(AnsiText, EncodesEachUnmappableCharacterAsOneQuestionMark) {
  for (auto [text, bytes, unencodable] :
       {std::tuple{"http://下载/文件.zip", "http://\xCF\xC2\xD4\xD8/\xCE\xC4\xBC\xFE.zip", U""},
        {"a😀b😀", "a?b?", U"😀"},           // outside the BMP: one "?", not two
        {"x\u0E01y", "x?y", U"\u0E01"},   // Thai
        {"ő â²", "? ??", U"őâ²"},         // best fit would give "o", "a", "2"
        {"a\xFF!", "a?!", U"\uFFFD"}}) {  // malformed UTF-8
    const AnsiEncoding encoded = EncodeAnsi(text);
    EXPECT_EQ(encoded.bytes.bytes(), bytes) << text;
    EXPECT_TRUE(encoded.unencodable == unencodable) << text;
  }
}

TEST(UnicodeText, ConvertsBetweenUtf8AndUtf16AndPaths) {
  EXPECT_EQ(Utf8ToUtf16("a下😀"), u"a下😀");
  EXPECT_EQ(Utf16ToUtf8(u"a下😀"), "a下😀");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, u'\xD800')), "\uFFFD");
  EXPECT_EQ(Utf8ToCodePoints("\xE4\xB8"), U"\uFFFD\uFFFD");  // cut-off sequence
  EXPECT_EQ(Utf8ToCodePoints("\xC0\xAF"), U"\uFFFD\uFFFD");  // overlong "/"
  const std::string name = "下载/电影.td.cfg";
  EXPECT_EQ(PathToUtf8(PathFromUtf8(name)), name);
  EXPECT_EQ(PathToUtf8(std::filesystem::path(PathFromUtf8(name)).filename()), "电影.td.cfg");
}

}  // namespace
}  // namespace orvanta
