// Tests of text conversion, name folding and environment expansion.
#include <gtest/gtest.h>

#include <memory>

#include "platform/registry/environment.h"
#include "platform/registry/text.h"

namespace registry {
namespace {

TEST(TextTest, LittleEndianBytesDropAnOddLastByte) {
  EXPECT_EQ(LeBytesToUtf16(std::string("A\0B\0C", 5)), u"AB");
  EXPECT_EQ(Utf16ToLeBytes(u"A\u20ac"), std::string("A\0\xac\x20", 4));
}

TEST(TextTest, FoldsLettersOfCommonScripts) {
  EXPECT_TRUE(EqualsIgnoreCase("Outlook Express", "OUTLOOK express"));
  EXPECT_TRUE(EqualsIgnoreCase("\xc3\x89t\xc3\xa9", "\xc3\xa9T\xc3\x89"));    // Été / éTÉ
  EXPECT_TRUE(EqualsIgnoreCase("\xd0\x98\xd0\xbc\xd1\x8f", "\xd0\xb8\xd0\x9c\xd0\xaf"));  // Имя
  EXPECT_FALSE(EqualsIgnoreCase("a", "b"));
  EXPECT_EQ(FoldCase("\xc3\x97"), "\xc3\x97");  // the multiplication sign has no case
  EXPECT_EQ(FoldCase("A\xc0\xc3\x89\xff"), "a\xc0\xc3\xa9\xff");    // invalid bytes stay as they are
}

TEST(CodePageTest, Windows1252MapsWhatItHoldsAndReplacesTheRest) {
  std::unique_ptr<CodePage> cp;
  ASSERT_TRUE(CodePage::Open(CodePage::kDefaultName, &cp).ok());
  EXPECT_EQ(cp->FromUtf16(u"Caf\u00e9 \u20ac"), "Caf\xe9 \x80");
  EXPECT_EQ(cp->FromUtf16(u"\u0418\u043c\u044f"), "???");
  EXPECT_EQ(cp->FromUtf16(u"\U0001F600x"), "?x");  // one '?' per character, not per unit
  EXPECT_EQ(cp->FromUtf16(std::u16string(u"a\0b", 3)), std::string("a\0b", 3));
  EXPECT_EQ(cp->ToUtf8("Caf\xe9 \x80"), "Caf\xc3\xa9 \xe2\x82\xac");
  EXPECT_EQ(cp->FromUtf8("\xc3\xa9"), "\xe9");
}

TEST(CodePageTest, OtherCodePagesAndUnknownNames) {
  std::unique_ptr<CodePage> cp;
  ASSERT_TRUE(CodePage::Open("CP1251", &cp).ok());
  EXPECT_EQ(cp->FromUtf16(u"\u0418\u043c\u044f"), "\xc8\xec\xff");
  EXPECT_EQ(cp->ToUtf8("\xc8\xec\xff"), "\xd0\x98\xd0\xbc\xd1\x8f");
  Status s = CodePage::Open("NO-SUCH-CODEPAGE", &cp);
  EXPECT_EQ(s.code(), Status::Code::kInvalidArgument);
  EXPECT_NE(s.message().find("NO-SUCH-CODEPAGE"), std::string::npos);
}

TEST(EnvironmentTest, ExpandsKnownNamesWithoutRegardToCase) {
  Environment env;
  env.Set("USERPROFILE", "C:\\users\\bob");
  env.Set("Empty", "");
  env.Set("Loop", "%USERPROFILE%");
  EXPECT_EQ(env.Expand("%UserProfile%\\Local"), "C:\\users\\bob\\Local");
  EXPECT_EQ(env.Expand("a%empty%b"), "ab");
  EXPECT_EQ(env.Expand("%LOOP%"), "%USERPROFILE%");  // one pass only
  EXPECT_EQ(env.Expand("%NOPE%\\x"), "%NOPE%\\x");
  EXPECT_EQ(env.Expand("%NOPE%USERPROFILE%"), "%NOPE%USERPROFILE%");
  EXPECT_EQ(env.Expand("100% sure"), "100% sure");
  EXPECT_EQ(env.Expand("%%"), "%%");
  EXPECT_EQ(env.Expand("no variables"), "no variables");
}

TEST(EnvironmentTest, SetKeepsFirstSpellingAndSetDefaultDoesNotReplace) {
  Environment env;
  env.Set("windir", "C:\\windows");
  env.Set("WINDIR", "D:\\win");
  env.SetDefault("WinDir", "E:\\x");
  auto vars = env.Variables();
  ASSERT_EQ(vars.size(), 1u);
  EXPECT_EQ(vars[0].first, "windir");
  EXPECT_EQ(vars[0].second, "D:\\win");
  EXPECT_EQ(env.GetOr("missing"), "");
}

}  // namespace
}  // namespace registry
