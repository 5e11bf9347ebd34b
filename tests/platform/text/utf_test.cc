// Tests of UTF-8 / UTF-16 conversion at the edges: characters of every
// length, surrogates paired and alone, and each kind of malformed UTF-8.
#include "platform/text/utf.h"

#include <gtest/gtest.h>

#include <string>

namespace text {
namespace {

const std::u16string kR(1, u'\uFFFD');  // one replacement character
const std::string kR8 = "\xEF\xBF\xBD";

TEST(UtfTest, CharactersOfEveryLengthRoundTrip) {
  // A, e-acute, euro sign, U+FFFF, a 4-byte emoji and U+10FFFF.
  const std::string utf8 = "A\xC3\xA9\xE2\x82\xAC\xEF\xBF\xBF\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF";
  bool valid = false;
  const std::u16string utf16 = Utf8ToUtf16(utf8, &valid);
  EXPECT_TRUE(valid);
  EXPECT_EQ(utf16, u"A\u00E9\u20AC\uFFFF\U0001F600\U0010FFFF");
  EXPECT_EQ(utf16.size(), 8u);  // the two 4-byte characters are surrogate pairs
  EXPECT_EQ(Utf16ToUtf8(utf16), utf8);
  EXPECT_EQ(Utf8ToUtf16(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
  // The code points either side of the surrogate block are ordinary characters.
  EXPECT_TRUE(IsValidUtf8("\xED\x9F\xBF\xEE\x80\x80"));  // U+D7FF, U+E000
  EXPECT_TRUE(IsValidUtf8(""));
}

TEST(UtfTest, LoneSurrogatesBecomeReplacementCharacters) {
  EXPECT_EQ(Utf16ToUtf8(u"\xD83D\xDE00"), "\xF0\x9F\x98\x80");  // a pair
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xD83D}), kR8);            // high at the end
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xD83D, u'x'}), kR8 + "x");  // high, then no low
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xDE00, u'x'}), kR8 + "x");  // low alone
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xDE00, 0xD83D}), kR8 + kR8);  // wrong order
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xD83D, 0xD83D, 0xDE00}), kR8 + "\xF0\x9F\x98\x80");
}

TEST(UtfTest, EachByteOfAMalformedSequenceBecomesOneReplacement) {
  struct Case {
    std::string in;
    std::u16string out;
  } cases[] = {
      {"\xC0\xAF", kR + kR},                       // overlong '/'
      {"\xE0\x80\x80", kR + kR + kR},              // overlong NUL
      {"\xF0\x82\x82\xAC", kR + kR + kR + kR},     // overlong euro sign
      {"\xED\xA0\x80", kR + kR + kR},              // a surrogate encoded as UTF-8
      {"\xF4\x90\x80\x80", kR + kR + kR + kR},     // above U+10FFFF
      {"\xF8\x88\x80\x80\x80", kR + kR + kR + kR + kR},  // 5-byte form
      {"\x80x\xBF", kR + u"x" + kR},               // stray continuation bytes
      {"\xFE\xFF", kR + kR},
      {"a\xE2\x82", u"a" + kR + kR},               // cut short at the end
      {"\xE2\x82" "a", kR + kR + u"a"},            // cut short by the next character
      {"\xF0\x9F\x98", kR + kR + kR},
      {"\xC3\xC3\xA9", kR + u"\u00E9"},            // reading resumes at the next byte
  };
  for (const Case& c : cases) {
    bool valid = true;
    EXPECT_EQ(Utf8ToUtf16(c.in, &valid), c.out) << testing::PrintToString(c.in);
    EXPECT_FALSE(valid);
    EXPECT_FALSE(IsValidUtf8(c.in));
    const std::string fixed = MakeValidUtf8(c.in);
    EXPECT_EQ(fixed, Utf16ToUtf8(c.out));
    EXPECT_TRUE(IsValidUtf8(fixed));
  }
}

TEST(UtfTest, MakeValidKeepsValidTextAsItIs) {
  const std::string mixed = "Gr\xC3\xBC\xC3\x9F" "e \xF0\x9F\x98\x80 \xEF\xBF\xBD";
  EXPECT_EQ(MakeValidUtf8(mixed), mixed);
  EXPECT_EQ(MakeValidUtf8(std::string("a\0\xE9", 3)), std::string("a\0", 2) + kR8);  // Latin-1
}

TEST(UtfTest, SingleCharacters) {
  char32_t cp = 0;
  EXPECT_EQ(DecodeUtf8("x\xF0\x9F\x98\x80", 1, &cp), 4u);
  EXPECT_EQ(cp, U'\U0001F600');
  EXPECT_EQ(DecodeUtf8("\xE2\x82", 0, &cp), 0u);
  std::string s;
  AppendUtf8(0xD800, &s);
  AppendUtf8(0x110000, &s);
  EXPECT_EQ(s, kR8 + kR8);
  std::u16string u;
  AppendUtf16(0xDFFF, &u);
  AppendUtf16(U'\U0001F600', &u);
  EXPECT_EQ(u, kR + u"\U0001F600");
}

}  // namespace
}  // namespace text
