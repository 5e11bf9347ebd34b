// Header text decoded word by word: padded base64 words, characters split
// between words, names with encoded-words, RFC 2231 file names, fields
// given twice.
#include "platform/mail/encoded_words.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/mail/file_names.h"

#include "platform/mail/prop_ids.h"
#include "platform/text/utf.h"
#include "tests/platform/mail/mail_test_util.h"

namespace mail {
namespace {

using mail_test::Attachment;
using mail_test::ImportText;
using mail_test::Str;

std::string Decode(std::string_view raw, bool* lossy = nullptr) { return DecodeHeaderText(raw, TextDefaults{}, lossy); }

TEST(MailHeaderWordsTest, EachWordDecodedInFull) {
  // Eight adjacent words as a real mailer sent them, each base64 word
  // padded on its own, then an empty one.
  auto r = ImportText(
      "From: a@example.com\r\n"
      "Subject: =?UTF-8?B?TXlTdXJ2ZXk=?=\r\n =?UTF-8?B?LmNvbTogIFk=?=\r\n =?UTF-8?B?b3UgaGF2ZSA=?=\r\n"
      " =?UTF-8?B?YSBzdXJ2ZXk=?=\r\n =?UTF-8?B?IHdhaXRpbmc=?=\r\n =?UTF-8?B?ISAg?=\r\n"
      " =?UTF-8?Q?91123105?=\r\n =?UTF-8?B?" "?=\r\n\r\nbody\r\n");
  EXPECT_EQ(Str(r.msg.props, prop::kSubject), "MySurvey.com:  You have a survey waiting!  91123105");

  // Blanks between words go, blanks next to plain text stay.
  EXPECT_EQ(Decode("=?utf-8?Q?a?=  =?utf-8?Q?b?= c =?utf-8?Q?d_?=\te"), "ab c d \te");
}

TEST(MailHeaderWordsTest, SplitCharactersJoinOnlyAcrossTheirWords) {
  bool lossy = false;
  // U+4E2D in UTF-8 (E4 B8 AD) split after its first and second byte.
  EXPECT_EQ(Decode("=?utf-8?B?5Lg=?= =?utf-8?B?rWE=?=", &lossy), "中a");
  EXPECT_EQ(Decode("=?utf-8?Q?=E4?= =?utf-8?Q?=B8?= =?utf-8?Q?=AD?=", &lossy), "中");
  // Shift_JIS split between lead and trail byte.
  EXPECT_EQ(Decode("=?shift_jis?Q?=93?= =?shift_jis?Q?=8C?=", &lossy), "東");
  EXPECT_FALSE(lossy);
  // A truncated character before a word of another charset stays broken and
  // takes nothing from its neighbour.
  EXPECT_EQ(Decode("=?utf-8?Q?x=E4=B8?= =?iso-8859-1?Q?=E9?=", &lossy), "x\uFFFD\uFFFDé");
  EXPECT_TRUE(lossy);
}

TEST(MailHeaderWordsTest, UnknownCharsetsAndMalformedWords) {
  EXPECT_EQ(Decode("=?x-unknown?Q?caf=C3=A9?="), "café");      // valid UTF-8
  EXPECT_EQ(Decode("=?us-ascii?Q?caf=E9?= ok"), "café ok");    // 8-bit labelled ASCII
  EXPECT_EQ(Decode("=?utf-8?X?abc?= =?utf-8?Q?a b?= =?utf-8"), "=?utf-8?X?abc?= =?utf-8?Q?a b?= =?utf-8");
  EXPECT_EQ(Decode("Gr\xFC\xDF" "e =?utf-8?Q?x?="), "Grüße x");  // raw 8-bit in the default code page
}

TEST(MailHeaderWordsTest, NamesAndFileNames) {
  auto r = ImportText(
      "From: =?UTF-8?B?TcO8bGxlcg==?= =?UTF-8?B?LCBKb2hu?= <jm@example.com>\r\n"
      "To: \"=?utf-8?Q?A=22B?=\" <ab@example.com>, =?utf-8?B?5Lg=?= =?utf-8?B?rQ==?= <z@example.cn>\r\n"
      "Subject: s\r\nContent-Type: multipart/mixed; boundary=M\r\n\r\n"
      "--M\r\nContent-Type: text/plain\r\n\r\nbody\r\n"
      "--M\r\nContent-Type: application/octet-stream\r\n"
      "Content-Disposition: attachment;\r\n filename*0*=utf-8''%E4%B8; filename*1*=%AD;\r\n filename*2=\".txt\"\r\n"
      "\r\nx\r\n"
      "--M\r\nContent-Type: application/octet-stream;\r\n"
      " name=\"=?UTF-8?B?TXlTdXJ2ZXk=?= =?UTF-8?B?LnBkZg==?=\"\r\n\r\ny\r\n--M--\r\n");
  EXPECT_EQ(Str(r.msg.props, prop::kSentRepresentingName), "Müller, John");
  // Words inside an address are not decoded.
  EXPECT_EQ(DecodeAddressWords("=?utf-8?Q?x?=@example.com, a@=?utf-8?Q?y?=.org", TextDefaults{}),
            "=?utf-8?Q?x?=@example.com, a@=?utf-8?Q?y?=.org");
  EXPECT_EQ(Str(r.msg.props, prop::kDisplayTo), "A\"B; 中");
  EXPECT_NE(Attachment(r.msg, "中.txt"), nullptr);
  EXPECT_NE(Attachment(r.msg, "MySurvey.pdf"), nullptr);
  EXPECT_EQ(HeaderParameter("attachment; filename*=iso-8859-1'de'Gr%FC%DFe.txt", "FILENAME", TextDefaults{}),
            "Grüße.txt");
}

TEST(MailHeaderWordsTest, FieldGivenTwice) {
  // A field that may occur once takes its first occurrence; recipients of a
  // repeated list are all kept.
  auto r = ImportText(
      "From: First <first@example.com>\r\nFrom: Second <second@example.com>\r\n"
      "To: a@example.com\r\nTo: b@example.com\r\n"
      "Subject: the first\r\nSubject: the second\r\n\r\nbody\r\n");
  EXPECT_EQ(Str(r.msg.props, prop::kSubject), "the first");
  EXPECT_EQ(Str(r.msg.props, prop::kSentRepresentingName), "First");
  EXPECT_EQ(r.msg.recipients.size(), 2u);
}

// Every character set split into words, and the header forms mailers send:
// each file names the subject, sender name and file name it must give.
TEST(MailHeaderWordsTest, CorpusOfWords) {
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(mail_test::CorpusPath("words"))) {
    SCOPED_TRACE(entry.path().filename().string());
    std::string raw = mail_test::ReadFile(entry.path().string());
    auto expected = [&](const std::string& name) -> std::optional<std::string> {
      size_t at = raw.find("\r\nX-Expected-" + name + ": ");
      if (at == std::string::npos) return std::nullopt;
      at += name.size() + 14;
      std::string b64 = raw.substr(at, raw.find("\r\n", at) - at);
      gsize n = 0;
      guchar* d = g_base64_decode(b64.c_str(), &n);
      std::string out(reinterpret_cast<char*>(d), n);
      g_free(d);
      return out;
    };
    auto r = ImportText(raw);
    // Conflicting fields keep the original beside the message.
    EXPECT_EQ(r.report.unmapped.empty(), entry.path().filename() != "fields_twice.eml");
    EXPECT_EQ(Str(r.msg.props, prop::kSubject), expected("Subject"));
    EXPECT_EQ(Str(r.msg.props, prop::kSentRepresentingName), expected("Name"));
    if (auto file = expected("File")) {
      EXPECT_NE(Attachment(r.msg, text::Utf16ToUtf8(CleanFileName(text::Utf8ToUtf16(*file)))), nullptr) << *file;
    }
    ++files;
  }
  EXPECT_GE(files, 41);
}

}  // namespace
}  // namespace mail
