// Header-field rules, identifiers, file names, HTML text and encoding checks.
#include <gtest/gtest.h>

#include "platform/mail/charset.h"
#include "platform/mail/encoding_check.h"
#include "platform/mail/envelope.h"
#include "platform/mail/entry_id.h"
#include "platform/mail/file_names.h"
#include "platform/mail/header_fields.h"
#include "platform/mail/html_text.h"
#include "platform/text/utf.h"

namespace mail {
namespace {

TEST(MailSubjectTest, PrefixIsOneToThreeLettersColonBlank) {
  struct Case {
    std::u16string subject, prefix, normalized;
  } cases[] = {
      {u"RE: Lunch", u"RE: ", u"Lunch"},
      {u"Fw: RE: Lunch", u"Fw: ", u"RE: Lunch"},
      {u"AW: Termin", u"AW: ", u"Termin"},
      {u"Отв: Привет", u"Отв: ", u"Привет"},
      {u"Lunch", u"", u"Lunch"},
      {u"Note: x", u"", u"Note: x"},   // four letters
      {u"12: x", u"", u"12: x"},       // digits
      {u"RE:x", u"", u"RE:x"},         // no blank
      {u"R E: x", u"", u"R E: x"},     // blank inside
      {u"", u"", u""},
  };
  for (const auto& c : cases) {
    SubjectParts p = SplitSubject(c.subject);
    EXPECT_EQ(p.prefix, c.prefix) << text::Utf16ToUtf8(c.subject);
    EXPECT_EQ(p.normalized, c.normalized) << text::Utf16ToUtf8(c.subject);
  }
}

TEST(MailPriorityTest, ImportanceHeaderWinsThenTheOthers) {
  PriorityHeaders h;
  EXPECT_FALSE(ImportanceFromHeaders(h).has_value());
  h.x_priority = "1 (Highest)";
  EXPECT_EQ(ImportanceFromHeaders(h), 2);
  EXPECT_EQ(PriorityFromHeaders(h), 1);
  h.x_priority = "5 (Lowest)";
  EXPECT_EQ(ImportanceFromHeaders(h), 0);
  EXPECT_EQ(PriorityFromHeaders(h), -1);
  h.x_priority = "3";
  EXPECT_EQ(ImportanceFromHeaders(h), 1);
  EXPECT_EQ(PriorityFromHeaders(h), 0);
  h.x_msmail_priority = "High";
  EXPECT_EQ(ImportanceFromHeaders(h), 2);
  h.importance = " low ";
  EXPECT_EQ(ImportanceFromHeaders(h), 0);
  h.priority = "urgent";
  EXPECT_EQ(PriorityFromHeaders(h), 1);
  h.priority = "Non-Urgent";
  EXPECT_EQ(PriorityFromHeaders(h), -1);
  h = PriorityHeaders();
  h.x_priority = "9";
  EXPECT_FALSE(ImportanceFromHeaders(h).has_value());
}

TEST(MailPriorityTest, Sensitivity) {
  EXPECT_EQ(SensitivityFromHeader("Personal"), 1);
  EXPECT_EQ(SensitivityFromHeader("private"), 2);
  EXPECT_EQ(SensitivityFromHeader("Company-Confidential"), 3);
  EXPECT_FALSE(SensitivityFromHeader("secret").has_value());
  EXPECT_FALSE(SensitivityFromHeader("").has_value());
}

TEST(MailHeaderBlockTest, EndsAtFirstEmptyLine) {
  HeaderBlock b = FindHeaderBlock("A: 1\r\nB: 2\r\n\r\nbody\r\n\r\nmore");
  EXPECT_EQ(b.headers, "A: 1\r\nB: 2\r\n");
  EXPECT_EQ(b.body_offset, 14u);
  b = FindHeaderBlock("A: 1\nB: 2\n\nbody");
  EXPECT_EQ(b.headers, "A: 1\nB: 2\n");
  EXPECT_EQ(b.body_offset, 11u);
  b = FindHeaderBlock("A: 1\r\nB: 2");
  EXPECT_EQ(b.headers, "A: 1\r\nB: 2");
  EXPECT_EQ(b.body_offset, 10u);
  b = FindHeaderBlock("\r\nbody");
  EXPECT_EQ(b.headers, "");
  EXPECT_EQ(b.body_offset, 2u);
}

TEST(MailHeaderBlockTest, PlainBlockSplitsIntoFieldsAsWritten) {
  auto fields = SplitPlainHeaderBlock("Subject: a\r\n b\r\nX-Id:1\r\nCc:\r\n");
  ASSERT_TRUE(fields);
  ASSERT_EQ(fields->size(), 3u);
  EXPECT_EQ((*fields)[0].name, "Subject");
  EXPECT_EQ((*fields)[0].value, " a\r\n b\r\n");
  EXPECT_EQ((*fields)[0].text, "Subject: a\r\n b\r\n");
  EXPECT_EQ((*fields)[1].value, "1\r\n");
  EXPECT_EQ((*fields)[2].value, "\r\n");
  // Anything a full parse has to judge.
  for (const char* block : {"", "From someone Mon Jan 1\nTo: a\n", " cont\nTo: a\n", "To : a\n", "To: a\n \n",
                            "To: a\rb\n", "To: a", "T\xF6: a\n", ": a\n"}) {
    SCOPED_TRACE(block);
    EXPECT_FALSE(SplitPlainHeaderBlock(block));
  }
}

// Plain lists are read without GMime; they and the rest must read as
// GMime's parser reads them.
TEST(MailAddressListTest, ReadsAsGMimeDoes) {
  const char* const kValues[] = {
      "ann@example.com",
      " Ann Lee <ann@example.com>, bob@example.org\r\n",
      "\"Ann Lee\" <ann.lee@mail.example.com>,<bob@example.org> , Carl 2 <c-d_e+f@x.example.net>",
      "<ann@example.com>",
      "Ann  Lee <ann@example.com>",        // two blanks: not plain
      "\"Lee, Ann\" <ann@example.com>",    // a comma in quotes
      "ann@localhost, bob@example.org",    // no dot in the domain
      "Team: ann@example.com, bob@example.org;",
      "ann@example.com (Ann)",
      "Ann <ann@example.com",
      "ann@example.com,,bob@example.org",
      "",
  };
  for (const char* v : kValues) {
    const std::vector<Address> got = ParseAddressList(v), want = ParseAddressListWithGMime(v);
    ASSERT_EQ(got.size(), want.size()) << v;
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].name, want[i].name) << v;
      EXPECT_EQ(got[i].address, want[i].address) << v;
    }
  }
  ASSERT_EQ(ParseAddressList(" Ann Lee <ann@example.com>, bob@example.org").size(), 2u);
  EXPECT_EQ(ParseAddressList("\"Ann Lee\" <ann@example.com>")[0].name, u"Ann Lee");
}

TEST(MailEntryIdTest, OneOffLayout) {
  std::vector<uint8_t> id = MakeOneOffEntryId(u"Bob", u"SMTP", u"bob@x.org");
  ASSERT_EQ(id.size(), 4u + 16 + 2 + 2 + 2 * (4 + 5 + 10));
  const uint8_t provider[] = {0x81, 0x2B, 0x1F, 0xA4, 0xBE, 0xA3, 0x10, 0x19,
                              0x9D, 0x6E, 0x00, 0xDD, 0x01, 0x0F, 0x54, 0x02};
  EXPECT_TRUE(std::equal(provider, provider + 16, id.begin() + 4));
  EXPECT_EQ(id[22], 0x01);  // no rich info
  EXPECT_EQ(id[23], 0x80);  // Unicode
  EXPECT_EQ(id[24], 'B');
  EXPECT_EQ(id[25], 0);
  OneOffFields f;
  ASSERT_TRUE(ParseOneOffEntryId(id, &f));
  EXPECT_EQ(f.display_name, u"Bob");
  EXPECT_EQ(f.address_type, u"SMTP");
  EXPECT_EQ(f.address, u"bob@x.org");
  id.pop_back();
  EXPECT_FALSE(ParseOneOffEntryId(id, &f));
}

TEST(MailEntryIdTest, SearchKeyAndFlatEntryList) {
  std::vector<uint8_t> key = MakeSearchKey("SMTP", u"Bob@X.org");
  EXPECT_EQ(std::string(key.begin(), key.end()), std::string("SMTP:BOB@X.ORG\0", 15));
  std::vector<uint8_t> a(5, 0xAA), b(8, 0xBB);
  std::vector<uint8_t> list = MakeFlatEntryList({a, b});
  // count, size, then (4 + 5 padded to 12) and (4 + 8).
  ASSERT_EQ(list.size(), 8u + 12 + 12);
  EXPECT_EQ(list[0], 2);
  EXPECT_EQ(list[4], 24);
  EXPECT_EQ(list[8], 5);
  EXPECT_EQ(list[12], 0xAA);
  EXPECT_EQ(list[17], 0);  // padding
  EXPECT_EQ(list[20], 8);
  EXPECT_EQ(list[24], 0xBB);
}

TEST(MailFileNameTest, CleanAndExtension) {
  EXPECT_EQ(CleanFileName(u"C:\\Users\\x\\report.pdf"), u"report.pdf");
  EXPECT_EQ(CleanFileName(u"../a:b*c?.txt"), u"a_b_c_.txt");
  EXPECT_EQ(CleanFileName(u"  .hidden. "), u"hidden");
  EXPECT_EQ(FileExtension(u"archive.tar.gz"), u".gz");
  EXPECT_EQ(FileExtension(u"README"), u"");
  EXPECT_EQ(FileExtension(u".profile"), u"");
}

TEST(MailFileNameTest, ShortNamesAreUnique83) {
  std::set<std::u16string> taken;
  EXPECT_EQ(ShortFileName(u"notes.txt", &taken), u"NOTES.TXT");
  EXPECT_EQ(ShortFileName(u"notes.txt", &taken), u"NOTES~1.TXT");
  EXPECT_EQ(ShortFileName(u"Quarterly report.pdf", &taken), u"QUARTE~1.PDF");
  EXPECT_EQ(ShortFileName(u"Quarterly review.pdf", &taken), u"QUARTE~2.PDF");
  EXPECT_EQ(ShortFileName(u"page.html", &taken), u"PAGE~1.HTM");
  EXPECT_EQ(ShortFileName(u"日本.doc", &taken), u"ATTACH~1.DOC");
  for (const auto& n : taken) {
    size_t dot = n.find(u'.');
    EXPECT_LE(dot == std::u16string::npos ? n.size() : dot, 8u);
  }
  EXPECT_EQ(DefaultFileName("image/jpeg", 3), u"Untitled attachment 00003.jpg");
  EXPECT_EQ(DefaultFileName("message/rfc822", 1), u"Untitled attachment 00001.eml");
}

TEST(MailHtmlTextTest, TextOfTypicalMail) {
  EXPECT_EQ(HtmlToText(u"<html><head><title>t</title><style>p{}</style></head>"
                       u"<body><p>One &amp; two</p><p>Three&nbsp;four<br>five</p>"
                       u"<script>x()</script><!-- c --></body></html>"),
            u"One & two\r\nThree\u00A0four\r\nfive");
  EXPECT_EQ(HtmlToText(u"a   b\n\n c"), u"a b c");
  EXPECT_EQ(HtmlToText(u"&#8364;&#x20AC;&bogus; 1 < 2"), u"€€&bogus; 1 < 2");
  EXPECT_EQ(HtmlToText(u"<table><tr><td>a</td><td>b</td></tr></table>"), u"a b");
  EXPECT_EQ(HtmlToText(u"<STYLE>unterminated"), u"");
  EXPECT_EQ(HtmlToText(u"&#0;&#x110000;"), u"\uFFFD\uFFFD");
}

TEST(MailEncodingCheckTest, Base64) {
  EXPECT_EQ(CheckTransferEncoding("base64", "QUJD\r\nREVG\r\n"), "");
  EXPECT_EQ(CheckTransferEncoding("base64", "QUI=\r\n"), "");
  EXPECT_EQ(CheckTransferEncoding("base64", "QUI"), "");  // unpadded tail reads whole
  EXPECT_NE(CheckTransferEncoding("base64", "QU!D"), "");
  EXPECT_NE(CheckTransferEncoding("base64", "QUJDR"), "");
  EXPECT_NE(CheckTransferEncoding("base64", "QU=D"), "");
  EXPECT_EQ(CheckTransferEncoding("base64", "QUI=QUJD"), "");  // two blocks glued
  EXPECT_EQ(CheckTransferEncoding("7bit", "anything !!"), "");
}

TEST(MailEncodingCheckTest, QuotedPrintable) {
  EXPECT_EQ(CheckTransferEncoding("quoted-printable", "a=3Db=\r\nc=e9 =\n"), "");
  EXPECT_EQ(CheckTransferEncoding("quoted-printable", "soft break with blank= \r\nx="), "");
  EXPECT_NE(CheckTransferEncoding("quoted-printable", "bad =ZZ"), "");
  EXPECT_NE(CheckTransferEncoding("quoted-printable", "cut =4"), "");
}

}  // namespace
}  // namespace mail
