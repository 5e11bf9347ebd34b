// ImportMessage over the corpus: every mapped property of the envelope,
// recipients, bodies, attachments and embedded messages.
#include "platform/mail/import.h"

#include <glib.h>
#include <gmime/gmime.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/mail/entry_id.h"
#include "platform/mail/prop_ids.h"
#include "platform/text/utf.h"
#include "tests/platform/mail/mail_test_util.h"

namespace mail {
namespace {

using mail_test::Attachment;
using mail_test::Bin;
using mail_test::ImportCorpus;
using mail_test::ImportText;
using mail_test::Int;
using mail_test::Str;
using mail_test::Time;

constexpr uint64_t kNow = 133000000000000000ULL;

// FILETIME of a UTC calendar time.
uint64_t Filetime(int y, int mo, int d, int h, int mi, int s) {
  GDateTime* dt = g_date_time_new_utc(y, mo, d, h, mi, s);
  uint64_t ft = static_cast<uint64_t>(g_date_time_to_unix(dt) + 11644473600LL) * 10000000ULL;
  g_date_time_unref(dt);
  return ft;
}

TEST(MailImportEnvelopeTest, PlainMessageMapsEveryHeaderProperty) {
  auto r = ImportCorpus("plain.eml");
  ASSERT_TRUE(r.status.ok());
  const auto& p = r.msg.props;
  EXPECT_TRUE(r.report.clean());
  EXPECT_EQ(Str(p, prop::kMessageClass), "IPM.Note");
  EXPECT_EQ(Str(p, prop::kSubject), "RE: Quarterly numbers");
  EXPECT_EQ(Str(p, prop::kSubjectPrefix), "RE: ");
  EXPECT_EQ(Str(p, prop::kNormalizedSubject), "Quarterly numbers");
  EXPECT_EQ(Str(p, prop::kConversationTopic), "Quarterly numbers");

  EXPECT_EQ(Str(p, prop::kSentRepresentingName), "Alice Archer");
  EXPECT_EQ(Str(p, prop::kSentRepresentingEmailAddress), "alice@example.com");
  EXPECT_EQ(Str(p, prop::kSentRepresentingAddressType), "SMTP");
  EXPECT_EQ(Str(p, prop::kSenderName), "Alice Archer");
  EXPECT_EQ(Str(p, prop::kSenderEmailAddress), "alice@example.com");
  EXPECT_EQ(Str(p, prop::kSenderAddressType), "SMTP");
  EXPECT_EQ(Str(p, prop::kSenderSmtpAddress), "alice@example.com");
  OneOffFields f;
  auto sender_id = Bin(p, prop::kSenderEntryId);
  ASSERT_TRUE(sender_id);
  ASSERT_TRUE(ParseOneOffEntryId(std::vector<uint8_t>(sender_id->begin(), sender_id->end()), &f));
  EXPECT_EQ(f.address, u"alice@example.com");
  EXPECT_EQ(Bin(p, prop::kSenderSearchKey), std::string("SMTP:ALICE@EXAMPLE.COM\0", 23));

  EXPECT_EQ(Str(p, prop::kDisplayTo), "Bob Baker; carol@example.org");
  EXPECT_EQ(Str(p, prop::kDisplayCc), "Dave Dunn");
  EXPECT_EQ(Str(p, prop::kDisplayBcc), "erin@example.com");
  EXPECT_EQ(Str(p, prop::kReplyRecipientNames), "Alice at home; replies@example.com");
  auto reply = Bin(p, prop::kReplyRecipientEntries);
  ASSERT_TRUE(reply);
  EXPECT_EQ(static_cast<uint8_t>((*reply)[0]), 2);  // two entries

  EXPECT_EQ(Time(p, prop::kClientSubmitTime), Filetime(2003, 3, 3, 15, 14, 59));
  EXPECT_EQ(Str(p, prop::kInternetMessageId), "<20030303101500.1234@example.com>");
  EXPECT_EQ(Str(p, prop::kInReplyToId), "<20030301080000.999@example.net>");
  EXPECT_EQ(Str(p, prop::kInternetReferences),
            "<20030228070000.111@example.net> <20030301080000.999@example.net>");
  EXPECT_EQ(Int(p, prop::kImportance), 2);  // X-Priority 1 / X-MSMail-Priority High
  EXPECT_EQ(Int(p, prop::kPriority), 1);
  EXPECT_EQ(Int(p, prop::kSensitivity), 2);  // Private

  std::string raw = mail_test::ReadFile(mail_test::CorpusPath("plain.eml"));
  EXPECT_EQ(Str(p, prop::kTransportMessageHeaders), raw.substr(0, raw.find("\n\n") + 1));
  EXPECT_EQ(Str(p, prop::kBody), "Hi Bob,\n\nthe numbers are attached to the next mail.\n\nAlice\n");
  EXPECT_EQ(Int(p, prop::kInternetCodepage), 20127);
  EXPECT_FALSE(Bin(p, prop::kHtml).has_value());

  EXPECT_EQ(Int(p, prop::kMessageFlags), 0);  // unread, no attachments
  EXPECT_GT(Int(p, prop::kMessageSize).value_or(0), static_cast<int64_t>(raw.size()) / 2);
  EXPECT_EQ(Time(p, prop::kCreationTime), kNow);
  EXPECT_EQ(Time(p, prop::kLastModificationTime), kNow);
}

TEST(MailImportEnvelopeTest, OneRecipientRowPerAddress) {
  auto r = ImportCorpus("plain.eml");
  ASSERT_EQ(r.msg.recipients.size(), 4u);
  struct Want {
    int type;
    const char* name;
    const char* addr;
  } want[] = {{1, "Bob Baker", "bob@example.net"},
              {1, "carol@example.org", "carol@example.org"},
              {2, "Dave Dunn", "dave@example.com"},
              {3, "erin@example.com", "erin@example.com"}};
  for (size_t i = 0; i < 4; ++i) {
    const auto& rp = r.msg.recipients[i].props;
    EXPECT_EQ(Int(rp, prop::kRecipientType), want[i].type);
    EXPECT_EQ(Str(rp, prop::kDisplayName), want[i].name);
    EXPECT_EQ(Str(rp, prop::kTransmittableDisplayName), want[i].name);
    EXPECT_EQ(Str(rp, prop::kEmailAddress), want[i].addr);
    EXPECT_EQ(Str(rp, prop::kSmtpAddress), want[i].addr);
    EXPECT_EQ(Str(rp, prop::kAddressType), "SMTP");
    EXPECT_EQ(Int(rp, prop::kObjectType), kObjectTypeMailUser);
    EXPECT_EQ(Int(rp, prop::kDisplayType), kDisplayTypeMailUser);
    EXPECT_EQ(Int(rp, prop::kSendRichInfo), 0);
    auto id = Bin(rp, prop::kEntryId);
    ASSERT_TRUE(id);
    OneOffFields f;
    ASSERT_TRUE(ParseOneOffEntryId(std::vector<uint8_t>(id->begin(), id->end()), &f));
    EXPECT_EQ(text::Utf16ToUtf8(f.display_name), want[i].name);
    EXPECT_EQ(text::Utf16ToUtf8(f.address), want[i].addr);
    EXPECT_EQ(Bin(rp, prop::kRecordKey), id);
    std::string key = "SMTP:" + std::string(want[i].addr);
    for (char& c : key) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(Bin(rp, prop::kSearchKey), key + std::string(1, '\0'));
  }
}

TEST(MailImportEnvelopeTest, SenderFieldSeparatesSenderFromSentRepresenting) {
  auto r = ImportText(
      "From: Boss <boss@example.com>\r\nSender: Assistant <assist@example.com>\r\n"
      "To: a@example.org\r\nSubject: x\r\n\r\nbody\r\n");
  EXPECT_EQ(Str(r.msg.props, prop::kSentRepresentingName), "Boss");
  EXPECT_EQ(Str(r.msg.props, prop::kSenderName), "Assistant");
  EXPECT_EQ(Str(r.msg.props, prop::kSenderEmailAddress), "assist@example.com");
}

TEST(MailImportEnvelopeTest, GroupsAndNamesWithoutAddress) {
  auto r = ImportText(
      "From: a@example.com\r\nTo: undisclosed-recipients:;\r\n"
      "Cc: Team: x@example.com, \"Y Person\" <y@example.com>;\r\n"
      "Subject: s\r\n\r\nb\r\n");
  EXPECT_EQ(Str(r.msg.props, prop::kDisplayTo), "");
  EXPECT_EQ(Str(r.msg.props, prop::kDisplayCc), "x@example.com; Y Person");
  ASSERT_EQ(r.msg.recipients.size(), 2u);
  EXPECT_EQ(Int(r.msg.recipients[1].props, prop::kRecipientType), kRecipCc);
}

TEST(MailImportEnvelopeTest, EncodedWordsInSubjectAndNames) {
  auto r = ImportText(
      "From: =?iso-8859-1?Q?Andr=E9_?= =?utf-8?B?TcO8bGxlcg==?= <andre@example.com>\r\n"
      "To: =?koi8-r?B?98/Mz8TR?= <v@example.ru>\r\n"
      "Subject: =?windows-1252?Q?=93Hello=94?= =?windows-1252?Q?_world?= plain\r\n"
      "\r\nb\r\n");
  EXPECT_EQ(Str(r.msg.props, prop::kSubject), "“Hello” world plain");
  EXPECT_EQ(Str(r.msg.props, prop::kSentRepresentingName), "André Müller");
  EXPECT_EQ(Str(r.msg.props, prop::kDisplayTo), "Володя");
}

TEST(MailImportEnvelopeTest, ImportanceHeaderAndNoPriorityFields) {
  auto r = ImportCorpus("html_only.eml");
  EXPECT_EQ(Int(r.msg.props, prop::kImportance), 0);  // Importance: low
  EXPECT_EQ(Int(r.msg.props, prop::kPriority), 0);
  EXPECT_FALSE(Int(r.msg.props, prop::kSensitivity).has_value());
}

// Most fields of a plain header block are read from the text and kept from
// GMime's parse; the report must still say what a parse of the whole
// message says, and the values must be those it reads.
TEST(MailImportEnvelopeTest, FieldsReadFromTheTextReportAsAWholeParse) {
  struct Case {
    std::string text;
    std::string subject;
    std::vector<std::string> warnings;
    std::vector<std::string> unmapped;
  };
  const Case cases[] = {
      {"Received: a\nReceived: b\nX-A: 1\nx-a: 2\nSubject: s\n\nbody", "s", {}, {}},
      {"X-Foo: caf\xE9\nSubject: caf\xC3\xA9\n\nbody", "caf\xC3\xA9", {"8-bit text in a header field"}, {}},
      {"To: a@, @b\nSubject: s\n\nbody", "s", {"invalid address list (@b )", "invalid address list (a@, @b )"}, {}},
      {"From: \"Ann Lee\" <ann@x.org>\nTo: Bob <bob@x.org>, c@d.e\nCc: a@b.c, <x@y.z>x\nSubject: s\n\nbody", "s",
       {"invalid address list (a@b.c, <x@y.z>x )"}, {}},
      {"Subject: a\nSUBJECT: b\n\nbody", "a", {}, {"conflicting header fields (SUBJECT)"}},
      {"Subject: one\r\n two\r\nMIME-Version: 1.0\r\nMIME-Version: 1.0\r\n\r\nbody", "one two", {}, {}},
      {std::string("Subject: t\0x\n\nbody", 18), "t", {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    auto r = ImportText(c.text);
    ASSERT_TRUE(r.status.ok());
    EXPECT_EQ(Str(r.msg.props, prop::kSubject), c.subject);
    EXPECT_EQ(r.report.warnings, c.warnings);
    EXPECT_EQ(r.report.unmapped, c.unmapped);
    EXPECT_EQ(r.report.original_attached, !c.unmapped.empty());
  }
}

// The quick reading of plain header blocks against GMime's parse of the
// whole message, over every message of the corpus and some broken ones: the
// same content and the same report.
TEST(MailImportEnvelopeTest, MessagesImportAsAWholeParseImportsThem) {
  std::vector<std::string> texts = {
      // A part's header with a line that is no field, cut off before the
      // closing boundary: GMime finds the whole message malformed.
      "From: a@b.c\r\nSubject: s\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"W\"\r\n\r\n"
      "--W\r\nContent-Type: text/plain\r\n\r\nsee\r\n--W\r\nContent-Type: application/octet-stream\r\n"
      "Content-Disposition: attachment;\r\n filename*0*=x\r\nSubjfilename*2*=y;\r\n filename*3*=z\r\nCoecntet",
  };
  for (const auto& e : std::filesystem::recursive_directory_iterator(mail_test::CorpusPath(""))) {
    if (e.is_regular_file() && e.path().extension() == ".eml") texts.push_back(mail_test::ReadFile(e.path().string()));
  }
  ASSERT_GT(texts.size(), 50u);
  for (const std::string& text : texts) {
    SCOPED_TRACE(text.substr(0, 200));
    mail::ImportOptions whole;
    whole.parse_whole = true;
    auto quick = ImportText(text), slow = ImportText(text, whole);
    EXPECT_EQ(quick.status.ok(), slow.status.ok());
    EXPECT_TRUE(quick.msg == slow.msg);
    EXPECT_EQ(quick.report.warnings, slow.report.warnings);
    EXPECT_EQ(quick.report.unmapped, slow.report.unmapped);
  }
}

TEST(MailImportBodyTest, HtmlOnlyKeepsBytesAndDerivesText) {
  auto r = ImportCorpus("html_only.eml");
  ASSERT_TRUE(r.status.ok());
  EXPECT_EQ(Str(r.msg.props, prop::kSubject), "Café news");
  auto html = Bin(r.msg.props, prop::kHtml);
  ASSERT_TRUE(html);
  EXPECT_NE(html->find("Caf\xe9 opening"), std::string::npos);  // original ISO-8859-1 bytes
  EXPECT_EQ(Int(r.msg.props, prop::kInternetCodepage), 28591);
  EXPECT_EQ(Str(r.msg.props, prop::kBody), "Café opening & more\r\nSecond\u00a0line\r\nthird");
}

TEST(MailImportBodyTest, AlternativeGivesBothBodies) {
  auto r = ImportCorpus("alternative.eml");
  EXPECT_EQ(Str(r.msg.props, prop::kSubject), "Fw: Grüße aus München");
  EXPECT_EQ(Str(r.msg.props, prop::kSubjectPrefix), "Fw: ");
  EXPECT_EQ(Str(r.msg.props, prop::kBody), "Grüße aus München");
  EXPECT_EQ(Bin(r.msg.props, prop::kHtml), "<html><body><b>Grüße</b> aus München</body></html>");
  EXPECT_EQ(Int(r.msg.props, prop::kInternetCodepage), 65001);
  EXPECT_TRUE(r.msg.attachments.empty());
  EXPECT_EQ(Int(r.msg.props, prop::kMessageFlags), 0);
}

TEST(MailImportBodyTest, LaterTextPartsAndOddAlternativesBecomeAttachments) {
  auto r = ImportText(
      "From: a@example.com\r\nSubject: s\r\nContent-Type: multipart/mixed; boundary=M\r\n\r\n"
      "--M\r\nContent-Type: multipart/alternative; boundary=A\r\n\r\n"
      "--A\r\nContent-Type: text/plain\r\n\r\nfirst\r\n"
      "--A\r\nContent-Type: text/calendar; method=REQUEST\r\n\r\nBEGIN:VCALENDAR\r\n"
      "--A--\r\n"
      "--M\r\nContent-Type: text/plain\r\n\r\nfooter of a list\r\n--M--\r\n");
  EXPECT_EQ(Str(r.msg.props, prop::kBody), "first");
  ASSERT_EQ(r.msg.attachments.size(), 2u);
  EXPECT_EQ(Str(r.msg.attachments[0].props, prop::kAttachMimeTag), "text/calendar");
  EXPECT_EQ(Str(r.msg.attachments[0].props, prop::kAttachLongFilename), "Untitled attachment 00001.ics");
  EXPECT_EQ(Bin(r.msg.attachments[1].props, prop::kAttachDataBinary), "footer of a list");
}

TEST(MailImportAttachmentTest, RelatedImagesHiddenOnlyWhenShownInline) {
  auto r = ImportCorpus("related.eml");
  ASSERT_TRUE(r.status.ok());
  EXPECT_EQ(Str(r.msg.props, prop::kBody), "Logo and chart below.");
  ASSERT_EQ(r.msg.attachments.size(), 4u);
  const auto* logo = Attachment(r.msg, "logo.png");
  const auto* chart = Attachment(r.msg, "chart.jpg");
  const auto* banner = Attachment(r.msg, "Untitled attachment 00001.gif");
  const auto* unused = Attachment(r.msg, "unused.png");
  ASSERT_TRUE(logo && chart && banner && unused);
  EXPECT_EQ(Int(logo->props, prop::kAttachmentHidden), 1);
  EXPECT_EQ(Int(logo->props, prop::kAttachFlags), kAttachMhtmlRef);
  EXPECT_EQ(Str(logo->props, prop::kAttachContentId), "logo@example.com");
  EXPECT_EQ(Bin(logo->props, prop::kAttachDataBinary)->substr(0, 8), "\x89PNG\r\n\x1a\n");
  // Referenced by the HTML but disposed as an attachment: stays visible.
  EXPECT_EQ(Int(chart->props, prop::kAttachmentHidden), 0);
  EXPECT_EQ(Str(chart->props, prop::kAttachContentId), "chart@example.com");
  EXPECT_FALSE(Int(chart->props, prop::kAttachFlags).has_value());
  // Referenced through Content-Location.
  EXPECT_EQ(Int(banner->props, prop::kAttachmentHidden), 1);
  EXPECT_EQ(Str(banner->props, prop::kAttachContentLocation), "banner.gif");
  // Not referenced at all.
  EXPECT_EQ(Int(unused->props, prop::kAttachmentHidden), 0);
  EXPECT_EQ(Int(r.msg.props, prop::kMessageFlags), kMsgFlagHasAttach);
}

TEST(MailImportAttachmentTest, OnlyHiddenInlineImagesLeaveNoPaperclip) {
  auto r = ImportText(
      "From: a@example.com\r\nSubject: s\r\nContent-Type: multipart/related; boundary=R\r\n\r\n"
      "--R\r\nContent-Type: text/html\r\n\r\n<img src=\"CID:Pic1\">\r\n"
      "--R\r\nContent-Type: image/gif\r\nContent-ID: <pic1>\r\nContent-Transfer-Encoding: base64\r\n\r\n"
      "R0lGODlh\r\n--R--\r\n");
  ASSERT_EQ(r.msg.attachments.size(), 1u);
  EXPECT_EQ(Int(r.msg.attachments[0].props, prop::kAttachmentHidden), 1);
  EXPECT_EQ(Int(r.msg.props, prop::kMessageFlags), 0);
}

TEST(MailImportAttachmentTest, MixedAttachmentsWithEveryNameForm) {
  auto r = ImportCorpus("mixed_attachments.eml");
  ASSERT_TRUE(r.status.ok());
  EXPECT_EQ(Str(r.msg.props, prop::kBody), "Here are the files – report, notes and archive.\r\n");
  EXPECT_EQ(Int(r.msg.props, prop::kInternetCodepage), 1252);
  ASSERT_EQ(r.msg.attachments.size(), 5u);

  const auto* pdf = Attachment(r.msg, "Quarterly report.pdf");
  ASSERT_TRUE(pdf);
  EXPECT_EQ(Int(pdf->props, prop::kAttachMethod), kAttachByValue);
  EXPECT_EQ(Str(pdf->props, prop::kAttachFilename), "QUARTE~1.PDF");
  EXPECT_EQ(Str(pdf->props, prop::kAttachExtension), ".pdf");
  EXPECT_EQ(Str(pdf->props, prop::kDisplayName), "Quarterly report.pdf");
  EXPECT_EQ(Str(pdf->props, prop::kAttachMimeTag), "application/pdf");
  EXPECT_EQ(Int(pdf->props, prop::kRenderingPosition), -1);
  EXPECT_EQ(Int(pdf->props, prop::kAttachmentHidden), 0);
  auto data = Bin(pdf->props, prop::kAttachDataBinary);
  ASSERT_TRUE(data);
  EXPECT_EQ(data->size(), 3016u);
  EXPECT_EQ(data->substr(0, 8), "%PDF-1.4");
  EXPECT_GT(Int(pdf->props, prop::kAttachSize).value_or(0), 3016);
  EXPECT_EQ(Time(pdf->props, prop::kCreationTime), kNow);

  const auto* txt = Attachment(r.msg, "notes.txt");
  ASSERT_TRUE(txt);
  EXPECT_EQ(Bin(txt->props, prop::kAttachDataBinary), "line one\r\nline two\r\n");

  // RFC 2231 continuation with charset; RFC 2047 inside a quoted parameter.
  EXPECT_TRUE(Attachment(r.msg, "Übersicht der Abrechnung€.zip"));
  const auto* ppt = Attachment(r.msg, "Präsentation für März.ppt");
  ASSERT_TRUE(ppt);
  EXPECT_EQ(Str(ppt->props, prop::kAttachExtension), ".ppt");
  EXPECT_TRUE(Attachment(r.msg, "Untitled attachment 00001.dat"));

  std::set<std::string> short_names;
  for (const auto& a : r.msg.attachments) short_names.insert(*Str(a.props, prop::kAttachFilename));
  EXPECT_EQ(short_names.size(), 5u);
  EXPECT_EQ(Int(r.msg.props, prop::kMessageFlags), kMsgFlagHasAttach);
}

// `raw` in a transfer encoding, as GMime writes it.
std::string Encode(GMimeContentEncoding encoding, const std::string& raw) {
  GMimeEncoding state;
  g_mime_encoding_init_encode(&state, encoding);
  std::string out(g_mime_encoding_outlen(&state, raw.size()) + 64, '\0');
  size_t n = g_mime_encoding_step(&state, raw.data(), raw.size(), out.data());
  n += g_mime_encoding_flush(&state, raw.data() + raw.size(), 0, out.data() + n);
  out.resize(n);
  return out;
}

TEST(MailImportAttachmentTest, LargeAttachmentOfASharedTextIsDecodedWhenRead) {
  // Imported from a shared text, a large attachment stays in the text (a
  // PartSource) and reads back as the import in memory decodes it, broken
  // encoded text included; the rest of the message is the same.
  std::string raw;
  for (uint32_t i = 0, x = 7; i < 300000; ++i) raw += static_cast<char>((x = x * 1103515245 + 12345) >> 24);
  std::string qp_broken = Encode(GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE, raw) + "=Z1";
  const std::pair<const char*, std::string> cases[] = {
      {"base64", Encode(GMIME_CONTENT_ENCODING_BASE64, raw)},
      {"quoted-printable", qp_broken},
      {"8bit", std::string(300000, 'y')},
  };
  for (const auto& [encoding, content] : cases) {
    const std::string text = std::string("Subject: big\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n\r\n") +
                             "--b\r\nContent-Type: text/plain\r\n\r\nhi\r\n--b\r\nContent-Type: application/octet-stream; "
                             "name=\"a.bin\"\r\nContent-Transfer-Encoding: " + encoding + "\r\n\r\n" + content +
                             "\r\n--b--\r\n";
    ImportOptions opts;
    opts.now_filetime = kNow;
    auto in_memory = ImportText(text, opts);
    pst::MessageContent shared;
    ASSERT_TRUE(ImportMessage(std::make_shared<const std::string>(text), opts, &shared, nullptr).ok());
    // The broken one keeps its original attached: that too stays in the text.
    ASSERT_EQ(shared.attachments.size(), in_memory.msg.attachments.size()) << encoding;
    for (size_t k = 0; k < shared.attachments.size(); ++k) {
      const pst::Property* value =
          mail_test::FindIn(shared.attachments[k].props, prop::kAttachDataBinary, pst::PropType::kBinary);
      ASSERT_NE(value, nullptr);
      const auto* source = std::get_if<std::shared_ptr<const pst::ValueSource>>(&value->value);
      ASSERT_TRUE(source && *source) << encoding << " " << k;
      std::vector<uint8_t> bytes;
      ASSERT_TRUE(pst::ReadWhole(**source, &bytes).ok());
      EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
                Bin(in_memory.msg.attachments[k].props, prop::kAttachDataBinary).value_or("(none)"))
          << encoding << " " << k;
    }
    EXPECT_EQ(shared.props.size(), in_memory.msg.props.size()) << encoding;
    EXPECT_EQ(Int(shared.props, prop::kMessageSize), Int(in_memory.msg.props, prop::kMessageSize)) << encoding;
  }
}

TEST(MailImportAttachmentTest, ForwardedMessagesNestAsEmbeddedMessages) {
  auto r = ImportCorpus("forwarded_nested.eml");
  ASSERT_TRUE(r.status.ok());
  EXPECT_TRUE(r.report.clean());
  ASSERT_EQ(r.msg.attachments.size(), 1u);
  const auto& a1 = r.msg.attachments[0];
  EXPECT_EQ(Int(a1.props, prop::kAttachMethod), kAttachEmbeddedMessage);
  EXPECT_EQ(Str(a1.props, prop::kAttachMimeTag), "message/rfc822");
  EXPECT_EQ(Str(a1.props, prop::kDisplayName), "Fw: Original plan");
  EXPECT_EQ(Int(a1.props, prop::kRenderingPosition), -1);
  ASSERT_TRUE(a1.embedded);
  const auto& m1 = *a1.embedded;
  EXPECT_EQ(Str(m1.props, prop::kMessageClass), "IPM.Note");
  EXPECT_EQ(Str(m1.props, prop::kSenderName), "Mia Moore");
  EXPECT_EQ(Str(m1.props, prop::kBody), "See the forwarded plan.");
  EXPECT_EQ(Int(m1.props, prop::kMessageFlags), kMsgFlagRead | kMsgFlagHasAttach);
  ASSERT_EQ(m1.attachments.size(), 1u);
  ASSERT_TRUE(m1.attachments[0].embedded);
  const auto& m2 = *m1.attachments[0].embedded;
  EXPECT_EQ(Str(m2.props, prop::kSubject), "Original plan");
  EXPECT_EQ(Str(m2.props, prop::kDisplayTo), "Mia Moore");
  ASSERT_EQ(m2.attachments.size(), 1u);
  EXPECT_EQ(Bin(m2.attachments[0].props, prop::kAttachDataBinary)->size(), 256u);
  EXPECT_EQ(Int(r.msg.props, prop::kMessageFlags), kMsgFlagHasAttach);
}

TEST(MailImportAttachmentTest, EmbeddingDepthIsBounded) {
  ImportOptions opts;
  opts.max_embedding_depth = 1;
  auto r = mail_test::ImportCorpus("forwarded_nested.eml", opts);
  ASSERT_EQ(r.msg.attachments.size(), 1u);
  ASSERT_TRUE(r.msg.attachments[0].embedded);
  const auto& m1 = *r.msg.attachments[0].embedded;
  ASSERT_EQ(m1.attachments.size(), 1u);
  EXPECT_FALSE(m1.attachments[0].embedded);
  auto eml = Bin(m1.attachments[0].props, prop::kAttachDataBinary);
  ASSERT_TRUE(eml);
  EXPECT_NE(eml->find("Subject: Original plan"), std::string::npos);
  EXPECT_FALSE(r.report.warnings.empty());
  EXPECT_TRUE(r.report.unmapped.empty());
}

TEST(MailImportSecureTest, ClearSignedKeepsTheSignedEntityAsOneAttachment) {
  auto r = ImportCorpus("signed.eml");
  ASSERT_TRUE(r.status.ok());
  EXPECT_EQ(Str(r.msg.props, prop::kMessageClass), "IPM.Note.SMIME.MultipartSigned");
  EXPECT_EQ(Str(r.msg.props, prop::kBody), "The contract is attached. Grüße");
  ASSERT_EQ(r.msg.attachments.size(), 1u);
  const auto& a = r.msg.attachments[0];
  EXPECT_EQ(Str(a.props, prop::kAttachMimeTag), "multipart/signed");
  EXPECT_EQ(Str(a.props, prop::kAttachLongFilename), "smime.p7m");
  std::string raw = mail_test::ReadFile(mail_test::CorpusPath("signed.eml"));
  std::string entity = *Bin(a.props, prop::kAttachDataBinary);
  // Content-Type field with all its parameters, an empty line, then the
  // original body byte for byte.
  EXPECT_EQ(entity.rfind("Content-Type: multipart/signed;\r\n\tprotocol=", 0), 0u);
  EXPECT_EQ(entity.find("X-Priority"), std::string::npos);
  size_t body = raw.find("\r\n\r\n") + 4;
  ASSERT_GE(entity.size(), raw.size() - body);
  EXPECT_EQ(entity.substr(entity.size() - (raw.size() - body)), raw.substr(body));
  EXPECT_NE(entity.find("\r\n\r\nThis is a multi-part message"), std::string::npos);
  // The signed content has a visible PDF.
  EXPECT_EQ(Int(r.msg.props, prop::kMessageFlags), kMsgFlagHasAttach);
}

TEST(MailImportSecureTest, EncryptedIsOneOpaqueAttachment) {
  auto r = ImportCorpus("encrypted.eml");
  ASSERT_TRUE(r.status.ok());
  EXPECT_EQ(Str(r.msg.props, prop::kMessageClass), "IPM.Note.SMIME");
  EXPECT_FALSE(Str(r.msg.props, prop::kBody).has_value());
  EXPECT_FALSE(Bin(r.msg.props, prop::kHtml).has_value());
  ASSERT_EQ(r.msg.attachments.size(), 1u);
  const auto& a = r.msg.attachments[0];
  EXPECT_EQ(Str(a.props, prop::kAttachLongFilename), "smime.p7m");
  EXPECT_EQ(Str(a.props, prop::kAttachMimeTag), "application/x-pkcs7-mime");
  auto data = Bin(a.props, prop::kAttachDataBinary);
  ASSERT_TRUE(data);
  EXPECT_EQ(data->size(), 902u);
  EXPECT_EQ(data->substr(0, 2), "\x30\x82");
  const pst::Property* ct = nullptr;
  for (const auto& p : r.msg.props) {
    if (p.named && p.name.name == u"Content-Type") ct = &p;
  }
  ASSERT_TRUE(ct);
  EXPECT_EQ(ct->name.property_set, kPsInternetHeaders);
  EXPECT_EQ(ct->name.kind, pst::PropertyName::Kind::kString);
  EXPECT_EQ(text::Utf16ToUtf8(std::get<std::u16string>(ct->value)),
            "application/x-pkcs7-mime; smime-type=enveloped-data; name=\"smime.p7m\"");
}

// Every charset file names the text and code page it must produce.
TEST(MailImportCharsetTest, EveryOutlookExpressCharset) {
  std::string dir = mail_test::CorpusPath("charsets");
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::string raw = mail_test::ReadFile(entry.path().string());
    auto header = [&](const std::string& name) {
      size_t at = raw.find(name + ": ");
      size_t end = raw.find("\r\n", at);
      return raw.substr(at + name.size() + 2, end - at - name.size() - 2);
    };
    auto b64 = [](const std::string& s) {
      gsize n = 0;
      guchar* d = g_base64_decode(s.c_str(), &n);
      std::string out(reinterpret_cast<char*>(d), n);
      g_free(d);
      return out;
    };
    std::string text = b64(header("X-Expected-Text"));
    std::string name = b64(header("X-Expected-Name"));
    while (!name.empty() && name.back() == ' ') name.pop_back();
    int code_page = std::stoi(header("X-Expected-Codepage"));
    SCOPED_TRACE(entry.path().filename().string());
    auto r = ImportText(raw);
    ASSERT_TRUE(r.status.ok());
    EXPECT_TRUE(r.report.unmapped.empty());
    EXPECT_EQ(Str(r.msg.props, prop::kSubject), text);
    EXPECT_EQ(Str(r.msg.props, prop::kSenderName), name);
    EXPECT_EQ(Str(r.msg.props, prop::kBody), text);
    EXPECT_EQ(Int(r.msg.props, prop::kInternetCodepage), code_page);
    auto html = Bin(r.msg.props, prop::kHtml);
    ASSERT_TRUE(html);
    if (code_page == 65001) {
      EXPECT_EQ(*html, "<html><body><p>" + text + "</p></body></html>");
    } else {
      size_t start = raw.find("<html>");
      EXPECT_EQ(*html, raw.substr(start, raw.find("</html>") + 7 - start));  // original bytes
    }
    ++files;
  }
  EXPECT_GE(files, 37);
}

TEST(MailImportCharsetTest, DefaultCodePageReadsUnlabelledText) {
  std::string msg = "From: \xc8\xe2\xe0\xed <ivan@example.ru>\r\nSubject: \xcf\xf0\xe8\xe2\xe5\xf2\r\n\r\n"
                    "\xc4\xee \xe2\xf1\xf2\xf0\xe5\xf7\xe8\r\n";
  ImportOptions opts;
  opts.default_code_page = 1251;
  auto r = mail_test::ImportText(msg, opts);
  EXPECT_EQ(Str(r.msg.props, prop::kSubject), "Привет");
  EXPECT_EQ(Str(r.msg.props, prop::kSenderName), "Иван");
  EXPECT_EQ(Str(r.msg.props, prop::kBody), "До встречи\r\n");
  EXPECT_EQ(Int(r.msg.props, prop::kInternetCodepage), 1251);
  EXPECT_TRUE(r.report.unmapped.empty());
  EXPECT_FALSE(r.report.warnings.empty());
  // With the default setting the same bytes are Windows-1252.
  auto latin = mail_test::ImportText(msg);
  EXPECT_EQ(Str(latin.msg.props, prop::kSubject), "Ïðèâåò");
}

TEST(MailImportCharsetTest, UnlabelledUtf8IsRecognized) {
  auto r = ImportText("Subject: caf\xc3\xa9\r\n\r\nna\xc3\xafve\r\n");
  EXPECT_EQ(Str(r.msg.props, prop::kSubject), "café");
  EXPECT_EQ(Str(r.msg.props, prop::kBody), "naïve\r\n");
  EXPECT_EQ(Int(r.msg.props, prop::kInternetCodepage), 65001);
}

TEST(MailImportApiTest, FileOverloadAndArguments) {
  pst::MessageContent m;
  ImportReport rep;
  ASSERT_TRUE(ImportMessage(std::filesystem::path(mail_test::CorpusPath("plain.eml")), {}, &m, &rep).ok());
  EXPECT_EQ(Str(m.props, prop::kSubject), "RE: Quarterly numbers");
  pst::Status missing = ImportMessage(std::filesystem::path("/nonexistent/x.eml"), {}, &m, &rep);
  EXPECT_EQ(missing.code(), pst::Status::Code::kIoError);
  EXPECT_NE(missing.message().find("/nonexistent/x.eml"), std::string::npos);
  std::string text = "Subject: a\r\n\r\nb";
  EXPECT_EQ(ImportMessage(mail_test::Bytes(text), {}, nullptr, nullptr).code(),
            pst::Status::Code::kInvalidArgument);
  EXPECT_TRUE(ImportMessage(mail_test::Bytes(text), {}, &m, nullptr).ok());
  // The content is replaced, not merged.
  EXPECT_TRUE(m.recipients.empty());
  EXPECT_EQ(Str(m.props, prop::kSubject), "a");
}

}  // namespace
}  // namespace mail
