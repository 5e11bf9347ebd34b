// Damaged input: imported as far as it can be read, never a crash, and the
// original kept whenever something could not be mapped.
#include <gtest/gtest.h>

#include "platform/mail/charset.h"
#include "platform/mail/import.h"
#include "platform/mail/prop_ids.h"
#include "platform/text/utf.h"
#include "tests/platform/mail/mail_test_util.h"

namespace mail {
namespace {

using mail_test::Attachment;
using mail_test::Bin;
using mail_test::ImportCorpus;
using mail_test::Int;
using mail_test::Str;

// The original message is attached byte for byte and the report says why.
void ExpectOriginalKept(const mail_test::Imported& r, const std::string& file) {
  EXPECT_TRUE(r.report.original_attached);
  EXPECT_FALSE(r.report.unmapped.empty());
  const auto* a = Attachment(r.msg, "Original message.eml");
  ASSERT_TRUE(a);
  EXPECT_EQ(Bin(a->props, prop::kAttachDataBinary), mail_test::ReadFile(mail_test::CorpusPath(file)));
  EXPECT_EQ(Str(a->props, prop::kAttachMimeTag), "message/rfc822");
  EXPECT_EQ(Int(r.msg.props, prop::kMessageFlags), kMsgFlagHasAttach);
}

TEST(MailDamagedTest, MissingClosingBoundaryKeepsPartsAndOriginal) {
  auto r = ImportCorpus("damaged/missing_close_boundary.eml");
  ASSERT_TRUE(r.status.ok());
  EXPECT_EQ(Str(r.msg.props, prop::kSubject), "Missing closing boundary");
  EXPECT_EQ(Str(r.msg.props, prop::kBody), "Body before the attachment.");
  const auto* data = Attachment(r.msg, "data.bin");
  ASSERT_TRUE(data);
  EXPECT_EQ(Bin(data->props, prop::kAttachDataBinary)->size(), 600u);
  ExpectOriginalKept(r, "damaged/missing_close_boundary.eml");
}

TEST(MailDamagedTest, BrokenMultipartStructure) {
  for (const char* file : {"damaged/boundary_never_found.eml", "damaged/multipart_without_boundary.eml"}) {
    SCOPED_TRACE(file);
    auto r = ImportCorpus(file);
    ASSERT_TRUE(r.status.ok());
    EXPECT_EQ(Str(r.msg.props, prop::kSentRepresentingName), "Tom Tate");
    ExpectOriginalKept(r, file);
  }
}

TEST(MailDamagedTest, BadBase64IsReportedPerAttachment) {
  auto r = ImportCorpus("damaged/bad_base64.eml");
  ASSERT_TRUE(r.status.ok());
  EXPECT_EQ(Str(r.msg.props, prop::kBody), "See attachment.");
  EXPECT_TRUE(Attachment(r.msg, "broken.bin"));
  ASSERT_FALSE(r.report.unmapped.empty());
  EXPECT_NE(r.report.unmapped[0].find("broken.bin"), std::string::npos);
  EXPECT_NE(r.report.unmapped[0].find("base64"), std::string::npos);
  ExpectOriginalKept(r, "damaged/bad_base64.eml");
}

TEST(MailDamagedTest, BadQuotedPrintableBody) {
  auto r = ImportCorpus("damaged/bad_qp.eml");
  ASSERT_TRUE(r.status.ok());
  EXPECT_NE(Str(r.msg.props, prop::kBody)->find("Price = 10"), std::string::npos);
  EXPECT_NE(r.report.unmapped[0].find("quoted-printable"), std::string::npos);
  ExpectOriginalKept(r, "damaged/bad_qp.eml");
}

TEST(MailDamagedTest, HeaderWithoutBody) {
  auto r = ImportCorpus("damaged/header_only.eml");
  ASSERT_TRUE(r.status.ok());
  EXPECT_EQ(Str(r.msg.props, prop::kSubject), "Only a header");
  EXPECT_EQ(Str(r.msg.props, prop::kDisplayTo), "Uma Utley");
  // Every header byte is kept, even without the final line break.
  EXPECT_EQ(Str(r.msg.props, prop::kTransportMessageHeaders),
            mail_test::ReadFile(mail_test::CorpusPath("damaged/header_only.eml")));
}

TEST(MailDamagedTest, PartWithoutBodyBecomesEmptyAttachment) {
  auto r = ImportCorpus("damaged/part_without_body.eml");
  ASSERT_TRUE(r.status.ok());
  EXPECT_EQ(Str(r.msg.props, prop::kBody), "First part.");
  const auto* a = Attachment(r.msg, "empty.bin");
  ASSERT_TRUE(a);
  EXPECT_EQ(Bin(a->props, prop::kAttachDataBinary), "");
  EXPECT_FALSE(r.report.original_attached);
  EXPECT_FALSE(r.report.warnings.empty());
}

TEST(MailDamagedTest, EightBitHeadersAreReadNotLost) {
  auto r = ImportCorpus("damaged/eightbit_headers.eml");
  ASSERT_TRUE(r.status.ok());
  EXPECT_EQ(Str(r.msg.props, prop::kSubject), "Señor “quoted” café");
  EXPECT_EQ(Str(r.msg.props, prop::kSentRepresentingName), "José García");
  EXPECT_EQ(Str(r.msg.props, prop::kDisplayTo), "Müller");
  EXPECT_EQ(Str(r.msg.props, prop::kBody), "Body with café.\r\n");
  EXPECT_FALSE(r.report.original_attached);
  EXPECT_FALSE(r.report.warnings.empty());
}

TEST(MailDamagedTest, UnlabelledEightBitBody) {
  auto r = ImportCorpus("damaged/unlabelled_8bit.eml");
  EXPECT_EQ(Str(r.msg.props, prop::kBody), "Naïve café – € 5\r\n");
  EXPECT_EQ(Int(r.msg.props, prop::kInternetCodepage), 1252);
  EXPECT_FALSE(r.report.original_attached);
}

TEST(MailDamagedTest, EmptyFileGivesAnEmptyNote) {
  auto r = ImportCorpus("damaged/empty.eml");
  ASSERT_TRUE(r.status.ok());
  EXPECT_EQ(Str(r.msg.props, prop::kMessageClass), "IPM.Note");
  EXPECT_EQ(Str(r.msg.props, prop::kSubject), "");
  EXPECT_TRUE(r.msg.attachments.empty());
  EXPECT_FALSE(r.report.warnings.empty());
  EXPECT_FALSE(r.report.original_attached);
  EXPECT_EQ(Int(r.msg.props, prop::kMessageFlags), 0);
}

TEST(MailDamagedTest, BinaryGarbageAndNulBytes) {
  auto g = ImportCorpus("damaged/garbage.eml");
  ASSERT_TRUE(g.status.ok());
  ExpectOriginalKept(g, "damaged/garbage.eml");
  // The report quotes the broken lines as text a report file can hold.
  for (const std::string& why : g.report.unmapped) {
    EXPECT_TRUE(text::IsValidUtf8(why)) << why;
    EXPECT_EQ(why.find_first_of("\r\n"), std::string::npos) << why;
  }
  auto n = ImportCorpus("damaged/nul_in_body.eml");
  EXPECT_EQ(Str(n.msg.props, prop::kBody), "beforeafter\r\n");
  ExpectOriginalKept(n, "damaged/nul_in_body.eml");
}

TEST(MailDamagedTest, InvalidBytesInLabelledTextKeepTheOriginal) {
  std::string text = "Subject: s\r\nContent-Type: text/plain; charset=utf-8\r\n\r\nok \xff\xfe bad\r\n";
  auto r = mail_test::ImportText(text);
  EXPECT_EQ(Str(r.msg.props, prop::kBody), "ok \uFFFD\uFFFD bad\r\n");
  EXPECT_TRUE(r.report.original_attached);
  const auto* a = Attachment(r.msg, "Original message.eml");
  ASSERT_TRUE(a);
  EXPECT_EQ(Bin(a->props, prop::kAttachDataBinary), text);
}

TEST(MailDamagedTest, DamageInsideASignedMessageKeepsOneAttachment) {
  std::string raw = mail_test::ReadFile(mail_test::CorpusPath("signed.eml"));
  size_t at = raw.find("The contract is attached. Gr=FC=DFe");
  ASSERT_NE(at, std::string::npos);
  raw.replace(at, 4, "=ZZ ");
  auto r = mail_test::ImportText(raw);
  EXPECT_EQ(Str(r.msg.props, prop::kMessageClass), "IPM.Note.SMIME.MultipartSigned");
  EXPECT_FALSE(r.report.unmapped.empty());
  EXPECT_TRUE(r.report.signed_entity_kept);
  EXPECT_FALSE(r.report.original_attached);
  ASSERT_EQ(r.msg.attachments.size(), 1u);
  std::string entity = *Bin(r.msg.attachments[0].props, prop::kAttachDataBinary);
  EXPECT_NE(entity.find("=ZZ contract"), std::string::npos);
}

TEST(MailDamagedTest, TruncatedEveryWhere) {
  // Every prefix of a multipart message imports without failing.
  std::string full = mail_test::ReadFile(mail_test::CorpusPath("related.eml"));
  for (size_t n = 0; n < full.size(); n += 97) {
    auto r = mail_test::ImportText(full.substr(0, n));
    ASSERT_TRUE(r.status.ok()) << n;
    ASSERT_TRUE(Str(r.msg.props, prop::kMessageClass).has_value());
  }
}

}  // namespace
}  // namespace mail
