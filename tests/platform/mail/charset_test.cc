// Charset labels, code pages and conversion to UTF-16.
#include "platform/mail/charset.h"

#include <gtest/gtest.h>

#include <gmime/gmime.h>
#include <iconv.h>

#include "platform/mail/gmime_util.h"
#include "platform/text/utf.h"

namespace mail {
namespace {

class MailCharsetTest : public ::testing::Test {
 protected:
  void SetUp() override { EnsureGMimeInitialized(); }
  static std::string Decode(std::string_view bytes, std::string_view cs, bool* lossy = nullptr) {
    DecodedText t;
    EXPECT_TRUE(DecodeCharset(bytes, cs, &t)) << cs;
    if (lossy) *lossy = t.lossy;
    return text::Utf16ToUtf8(t.text);
  }
};

TEST_F(MailCharsetTest, LabelSpellingsMeetOneName) {
  EXPECT_EQ(NormalizeCharset("ISO8859_1"), "iso-8859-1");
  EXPECT_EQ(NormalizeCharset("\"ISO-8859-15\""), "iso-8859-15");
  EXPECT_EQ(NormalizeCharset("cp1251"), "windows-1251");
  EXPECT_EQ(NormalizeCharset("x-cp1250"), "windows-1250");
  EXPECT_EQ(NormalizeCharset("Windows-1252"), "windows-1252");
  EXPECT_EQ(NormalizeCharset("x-sjis"), "shift_jis");
  EXPECT_EQ(NormalizeCharset("ks_c_5601"), "ks_c_5601-1987");
  EXPECT_EQ(NormalizeCharset("utf8"), "utf-8");
}

TEST_F(MailCharsetTest, CodePagesOfOutlookExpressCharsets) {
  EXPECT_EQ(CodePageForCharset("iso-8859-1"), 28591u);
  EXPECT_EQ(CodePageForCharset("ISO-8859-2"), 28592u);
  EXPECT_EQ(CodePageForCharset("windows-1252"), 1252u);
  EXPECT_EQ(CodePageForCharset("koi8-r"), 20866u);
  EXPECT_EQ(CodePageForCharset("iso-2022-jp"), 50220u);
  EXPECT_EQ(CodePageForCharset("Shift_JIS"), 932u);
  EXPECT_EQ(CodePageForCharset("gb2312"), 936u);
  EXPECT_EQ(CodePageForCharset("gb18030"), 54936u);
  EXPECT_EQ(CodePageForCharset("big5"), 950u);
  EXPECT_EQ(CodePageForCharset("euc-kr"), 51949u);
  EXPECT_EQ(CodePageForCharset("utf-8"), 65001u);
  EXPECT_EQ(CodePageForCharset("utf-7"), 65000u);
  EXPECT_EQ(CodePageForCharset("x-unknown"), 0u);
  EXPECT_EQ(CharsetForCodePage(1251), "windows-1251");
  EXPECT_EQ(CharsetForCodePage(932), "shift_jis");
  EXPECT_EQ(CharsetForCodePage(12345), "");
}

TEST_F(MailCharsetTest, DecodesMultiByteAndStatefulSets) {
  EXPECT_EQ(Decode("\x93\xfa\x96\x7b", "shift_jis"), "日本");
  EXPECT_EQ(Decode("\x1b$B;z\x1b(B", "iso-2022-jp"), "字");
  EXPECT_EQ(Decode("\xc4\xe3\xba\xc3", "gb2312"), "你好");
  EXPECT_EQ(Decode("\xa4\xa4\xa4\xe5", "big5"), "中文");
  EXPECT_EQ(Decode("\xf3\xcf\xd7", "koi8-r"), "Сов");
  EXPECT_EQ(Decode("+AOQ-", "utf-7"), "ä");
  EXPECT_EQ(Decode("\x81\x30\x85\x33", "gb18030"), "\xc2\xae");  // U+00AE as four bytes
  EXPECT_EQ(Decode("\x1b$)A\x0eVPND\x0f", "iso-2022-cn"), "中文");  // GB 2312 shifted in
  EXPECT_EQ(Decode("\xd6\xd0\xce\xc4", "euc-cn"), "中文");
  EXPECT_EQ(Decode("\xa4\xa4\xa4\xe5", "x-x-big5"), "中文");
}

TEST_F(MailCharsetTest, WindowsUndefinedBytesSurviveAsC1Controls) {
  bool lossy = true;
  std::string s = Decode("a\x81z\x80", "windows-1252", &lossy);
  EXPECT_FALSE(lossy);
  EXPECT_EQ(s, "a\xc2\x81z\xe2\x82\xac");
  // ISO-8859-1 is read as its Windows superset, as Windows mail relies on.
  EXPECT_EQ(Decode("\x93q\x94", "iso-8859-1"), "“q”");
}

// The common charsets are read without iconv; what comes out must be what
// iconv (with the C1 rule for Windows' undefined bytes) gives.
TEST_F(MailCharsetTest, ShortcutsAgreeWithIconv) {
  auto via_iconv = [](std::string_view bytes, const char* from) {
    iconv_t cd = g_mime_iconv_open("UTF-16LE", from);
    std::u16string out;
    for (char c : bytes) {  // one byte at a time, so undefined ones show
      char in_byte = c;
      char* in = &in_byte;
      size_t in_left = 1;
      char16_t unit[4] = {};
      char* o = reinterpret_cast<char*>(unit);
      size_t o_left = sizeof unit;
      if (iconv(cd, &in, &in_left, &o, &o_left) == static_cast<size_t>(-1)) {
        out.push_back(static_cast<unsigned char>(c));
      } else {
        out.append(unit, (sizeof unit - o_left) / 2);
      }
    }
    g_mime_iconv_close(cd);
    return out;
  };
  std::string every;
  for (int b = 1; b < 256; ++b) every.push_back(static_cast<char>(b));
  for (const char* cs : {"windows-1252", "iso-8859-1", "us-ascii"}) {
    DecodedText t;
    ASSERT_TRUE(DecodeCharset(every, cs, &t));
    EXPECT_EQ(t.text, via_iconv(every, "CP1252")) << cs;
    EXPECT_FALSE(t.lossy);
  }
  // ASCII text in other ASCII-compatible sets; the ISO-2022 sets are not.
  EXPECT_EQ(Decode("plain text", "koi8-r"), "plain text");
  EXPECT_EQ(Decode("\x1b$B;z\x1b(B", "iso-2022-jp"), "字");
  EXPECT_EQ(Decode("+AOQ-", "utf-7"), "ä");
  // Valid UTF-8 of every length, and sequences that only look valid.
  EXPECT_EQ(Decode("a\xc3\xa4\xe2\x82\xac\xf0\x9f\x98\x80", "utf-8"), "a\xc3\xa4\xe2\x82\xac\xf0\x9f\x98\x80");
  bool lossy = false;
  EXPECT_EQ(Decode("\xc0\xafx", "utf-8", &lossy), "\xef\xbf\xbd\xef\xbf\xbdx");  // overlong '/'
  EXPECT_TRUE(lossy);
  lossy = false;
  Decode("\xed\xa0\x80", "utf-8", &lossy);  // a surrogate
  EXPECT_TRUE(lossy);
  lossy = false;
  Decode("ok\xe2\x82", "utf-8", &lossy);  // cut short
  EXPECT_TRUE(lossy);
}

TEST_F(MailCharsetTest, InvalidBytesAreReplacedAndReported) {
  bool lossy = false;
  EXPECT_EQ(Decode("ok\xff\xfe", "utf-8", &lossy), "ok\xef\xbf\xbd\xef\xbf\xbd");
  EXPECT_TRUE(lossy);
  lossy = false;
  Decode("\x82", "shift_jis", &lossy);  // lead byte cut off at the end
  EXPECT_TRUE(lossy);
}

TEST_F(MailCharsetTest, UnknownCharsetIsRefused) {
  DecodedText t;
  EXPECT_FALSE(DecodeCharset("x", "x-no-such-charset", &t));
}

TEST_F(MailCharsetTest, UnlabelledTextUsesDefaults) {
  TextDefaults d;
  d.default_code_page = 1251;
  std::string note;
  EXPECT_EQ(ChooseCharset("plain", "", d, &note), "us-ascii");
  EXPECT_TRUE(note.empty());
  EXPECT_EQ(ChooseCharset("\xcf\xf0\xe8", "", d, &note), "windows-1251");
  EXPECT_FALSE(note.empty());
  EXPECT_EQ(ChooseCharset("caf\xc3\xa9", "", d, nullptr), "utf-8");
  d.guess_utf8 = false;
  EXPECT_EQ(ChooseCharset("caf\xc3\xa9", "", d, nullptr), "windows-1251");
  // 8-bit text under a us-ascii label, and unknown labels, fall back too.
  EXPECT_EQ(ChooseCharset("\xcf", "us-ascii", d, nullptr), "windows-1251");
  note.clear();
  EXPECT_EQ(ChooseCharset("\xcf", "x-klingon", d, &note), "windows-1251");
  EXPECT_NE(note.find("x-klingon"), std::string::npos);
  EXPECT_EQ(text::Utf16ToUtf8(DecodeText("\xcf\xf0\xe8", "", d).text), "При");
}

}  // namespace
}  // namespace mail
