// Internet-message headers to record fields.
#include "tests/support/dbxgen/eml.h"

#include <gtest/gtest.h>

#include "tests/support/dbxgen/filetime.h"

namespace dbxgen {
namespace {

TEST(EmlTest, EncodedWordsBecomeAnsiText) {
  EXPECT_EQ(DecodeHeaderText("=?utf-8?B?R3LDvMOfZQ==?="), "Gr\xFC\xDF" "e");
  EXPECT_EQ(DecodeHeaderText("=?iso-8859-1?Q?Caf=E9_cr=E8me?= now"), "Caf\xE9 cr\xE8me now");
  // White space between encoded words goes, plain text around them stays.
  EXPECT_EQ(DecodeHeaderText("Re: =?us-ascii?Q?a?= =?us-ascii?Q?b?= c"), "Re: ab c");
  // Outside Windows-1252: one '?' per character or byte.
  EXPECT_EQ(DecodeHeaderText("=?utf-8?B?4oKsIOKImg==?="), "\x80 ?");
  EXPECT_EQ(DecodeHeaderText("=?koi8-r?B?9MHU2NHOwQ==?="), "???????");
  // Not an encoded word: kept as it is.
  EXPECT_EQ(DecodeHeaderText("50% =?off"), "50% =?off");
  EXPECT_EQ(DecodeHeaderText("=?x?Z?abc?="), "=?x?Z?abc?=");
}

TEST(EmlTest, DatesAreConvertedToUtc) {
  EXPECT_EQ(ParseRfc5322Date("Sat, 11 Dec 2021 20:45:59 -0800"),
            FileTimeFromCivil(2021, 12, 12, 4, 45, 59));
  EXPECT_EQ(ParseRfc5322Date("1 Jan 03 10:00 +0100 (CET)"), FileTimeFromCivil(2003, 1, 1, 9, 0, 0));
  EXPECT_EQ(ParseRfc5322Date("Tue, 1 Jul 2003 10:52:37 EDT"),
            FileTimeFromCivil(2003, 7, 1, 14, 52, 37));
  EXPECT_FALSE(ParseRfc5322Date("yesterday").has_value());
  EXPECT_FALSE(ParseRfc5322Date("Mon, 32 Foo 2003 10:00").has_value());
}

TEST(EmlTest, MailboxForms) {
  Mailbox a = ParseMailbox("\"Walker, Alice\" <alice@example.com>, bob@example.com");
  EXPECT_EQ(a.name, "Walker, Alice");
  EXPECT_EQ(a.address, "alice@example.com");
  Mailbox b = ParseMailbox("bob@example.com (Bob Fischer)");
  EXPECT_EQ(b.name, "Bob Fischer");
  EXPECT_EQ(b.address, "bob@example.com");
  Mailbox c = ParseMailbox("=?iso-8859-1?Q?Jos=E9?= <jose@example.com>");
  EXPECT_EQ(c.name, "Jos\xE9");
  Mailbox d = ParseMailbox("carol@example.com");
  EXPECT_EQ(d.name, "");
  EXPECT_EQ(d.address, "carol@example.com");
}

TEST(EmlTest, MessageFieldsComeFromTheHeader) {
  const char* text =
      "From: \"Alice\" <alice@example.com>\n"
      "To: Bob <bob@example.com>\n"
      "Subject: Re: =?iso-8859-1?Q?r=E9sum=E9?=\n"
      "Date: Wed, 1 Jan 2003 12:00:00 +0000\n"
      "Message-ID: <1@example.com>\n"
      "References: <0@example.com> <00@example.com>\n"
      "Newsgroups: comp.example\n"
      "X-Priority: 1\n"
      "Content-Type: multipart/mixed; boundary=\"b\"\n"
      "\n"
      "--b\n"
      "Content-Type: text/plain\n\nhello\n"
      "--b\n"
      "Content-Type: application/pdf\n"
      "Content-Disposition: Attachment; filename=\"a.pdf\"\n\nJVBERi0=\n"
      "--b--\n";
  EmlDefaults defaults;
  defaults.flags = kFlagRead;
  Message m = MessageFromEml(text, defaults);
  EXPECT_EQ(m.text.find('\n'), m.text.find("\r\n") + 1);
  EXPECT_EQ(m.text.find("\n\n"), std::string::npos);
  EXPECT_EQ(m.subject, "Re: r\xE9sum\xE9");
  EXPECT_EQ(m.orig_subject, "r\xE9sum\xE9");
  EXPECT_EQ(m.sender_name, "Alice");
  EXPECT_EQ(m.sender_addr, "alice@example.com");
  EXPECT_EQ(m.recipient_name, "Bob");
  EXPECT_EQ(m.recipient_addr, "bob@example.com");
  EXPECT_EQ(m.message_id, "<1@example.com>");
  EXPECT_EQ(m.answer_message_id, "<00@example.com>");
  EXPECT_EQ(m.newsgroup, "comp.example");
  EXPECT_EQ(m.priority, 1u);
  EXPECT_EQ(m.flags, kFlagRead | kFlagNewsPosting | kFlagAttachment);
  EXPECT_EQ(m.date_created, FileTimeFromCivil(2003, 1, 1, 12, 0, 0));
  EXPECT_EQ(m.date_received, FileTimeFromCivil(2003, 1, 1, 12, 1, 37));
  EXPECT_EQ(m.lines, 10u);
  EXPECT_EQ(m.account, defaults.account);
}

TEST(EmlTest, HeaderlessTextStillMakesAMessage) {
  Message m = MessageFromEml("just a line");
  EXPECT_EQ(m.text, "just a line");
  EXPECT_EQ(m.subject, "");
  EXPECT_EQ(m.date_created, EmlDefaults().fallback_date);
  EXPECT_FALSE(m.sender_addr.has_value());
}

}  // namespace
}  // namespace dbxgen
