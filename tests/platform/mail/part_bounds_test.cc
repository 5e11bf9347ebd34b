// The last bytes of parts: the line break before a boundary line is the
// boundary's, for every transfer encoding, line end and place of the part.
#include "platform/mail/part_bounds.h"

#include <gtest/gtest.h>

#include "platform/mail/prop_ids.h"
#include "tests/platform/mail/mail_test_util.h"

namespace mail {
namespace {

using mail_test::Attachment;
using mail_test::Bin;
using mail_test::ImportText;
using mail_test::Str;

TEST(MailPartBoundsTest, TextPartsEndBeforeTheBoundaryLineBreak) {
  for (std::string eol : {"\r\n", "\n"}) {
    for (std::string encoding : {"7bit", "8bit", "quoted-printable"}) {
      SCOPED_TRACE(encoding + (eol == "\n" ? " LF" : " CRLF"));
      std::string data = encoding == "8bit" ? "this is the d\xE4ta" : "this is the data";
      std::string body_in = encoding == "quoted-printable" ? "body=E4" : "body";
      std::string head = "Content-Type: text/plain; charset=iso-8859-1" + eol +
                         "Content-Transfer-Encoding: " + encoding + eol;
      std::string m = "From: a@example.com" + eol + "Subject: s" + eol +
                      "Content-Type: multipart/mixed; boundary=B" + eol + eol +
                      "--B" + eol + head + eol + body_in + eol + eol +
                      "--B" + eol + head + "Content-Disposition: attachment; filename=a.txt" + eol + eol +
                      data + eol + eol + "--B--" + eol;
      auto r = ImportText(m);
      const auto* a = Attachment(r.msg, "a.txt");
      ASSERT_NE(a, nullptr);
      EXPECT_EQ(Bin(a->props, prop::kAttachDataBinary), data + eol);
      EXPECT_EQ(Str(r.msg.props, prop::kBody), (encoding == "quoted-printable" ? "bodyä" : "body") + eol);
    }
  }
}

TEST(MailPartBoundsTest, PartsOfAttachedMessagesKeepTheirBytes) {
  // The attached message is taken as sent: its CRLF line ends stay.
  std::string inner =
      "From: b@example.com\r\nSubject: inner\r\nContent-Type: multipart/mixed; boundary=I\r\n\r\n"
      "--I\r\nContent-Type: text/plain\r\n\r\ninner body\r\n"
      "--I\r\nContent-Type: text/plain; name=b.txt\r\n\r\nline one\r\nline two\r\n\r\n--I--\r\n";
  auto r = ImportText(
      "From: a@example.com\r\nSubject: outer\r\nContent-Type: multipart/mixed; boundary=O\r\n\r\n"
      "--O\r\nContent-Type: text/plain\r\n\r\nouter\r\n"
      "--O\r\nContent-Type: message/rfc822\r\n\r\n" + inner + "\r\n--O--\r\n");
  ASSERT_EQ(r.msg.attachments.size(), 1u);
  ASSERT_NE(r.msg.attachments[0].embedded, nullptr);
  const auto* b = Attachment(*r.msg.attachments[0].embedded, "b.txt");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(Bin(b->props, prop::kAttachDataBinary), "line one\r\nline two\r\n");
}

TEST(MailPartBoundsTest, BoundaryLines) {
  std::string_view t = "a\r\n--Bx\r\n--B \r\ndata\r\n\r\n--B--";
  EXPECT_EQ(FindBoundaryLine(t, 0, "B"), 7u);  // "--Bx" is not one; the CRLF before "--B " is
  EXPECT_EQ(FindBoundaryLine(t, 15, "B"), 21u);  // "data" CRLF, then the boundary's CRLF
  EXPECT_EQ(FindBoundaryLine(t, 0, "C"), std::string_view::npos);
  EXPECT_EQ(ContentEndBeforeBoundary("data\r\n--B", 0, 5), 4u);
  EXPECT_EQ(ContentEndBeforeBoundary("data\r\nmore", 0, 5), 5u);
}

}  // namespace
}  // namespace mail
