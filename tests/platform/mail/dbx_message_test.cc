// The message of a real Outlook Express store, read through the DBX reader
// and imported.
#include <gtest/gtest.h>

#include "platform/mail/import.h"
#include "platform/mail/prop_ids.h"
#include "tests/platform/mail/dbx_messages.h"
#include "tests/platform/mail/mail_test_util.h"

namespace mail {
namespace {

using mail_test::Bin;
using mail_test::Int;
using mail_test::Str;

TEST(MailDbxMessageTest, RealStoreInboxMessageImports) {
  auto messages = mail_test::ReadDbxMessages(TOLLAN_SHARED_DIR "/fixtures/real-store/Inbox.dbx");
  ASSERT_EQ(messages.size(), 1u);
  const dbx::DbxMessage& record = messages[0].record;
  const std::string& text = messages[0].text;
  ASSERT_FALSE(text.empty());

  auto r = mail_test::ImportText(text);
  ASSERT_TRUE(r.status.ok());
  EXPECT_TRUE(r.report.unmapped.empty());
  const auto& p = r.msg.props;
  EXPECT_EQ(Str(p, prop::kMessageClass), "IPM.Note");
  EXPECT_EQ(Str(p, prop::kSubject), record.subject);
  EXPECT_EQ(Str(p, prop::kSubject), "Welcome to Outlook Express 6");
  EXPECT_EQ(Str(p, prop::kSentRepresentingName), "Microsoft Outlook Express Team");
  EXPECT_EQ(Str(p, prop::kSentRepresentingEmailAddress), "msoe@microsoft.com");
  EXPECT_EQ(Str(p, prop::kSenderName), record.sender_name);
  EXPECT_EQ(Str(p, prop::kDisplayTo), "New Outlook Express User");
  ASSERT_EQ(r.msg.recipients.size(), 1u);
  EXPECT_EQ(Str(r.msg.recipients[0].props, prop::kDisplayName), "New Outlook Express User");
  // HTML-only: the HTML bytes in their own code page and a derived text body.
  auto html = Bin(p, prop::kHtml);
  ASSERT_TRUE(html);
  EXPECT_NE(html->find("<HTML>"), std::string::npos);
  EXPECT_EQ(Int(p, prop::kInternetCodepage), 28591);
  auto text_body = Str(p, prop::kBody);
  ASSERT_TRUE(text_body);
  EXPECT_NE(text_body->find("The solution for all your messaging needs"), std::string::npos);
  EXPECT_EQ(text_body->find("<td"), std::string::npos);
  EXPECT_TRUE(mail_test::Time(p, prop::kClientSubmitTime).has_value());
  EXPECT_EQ(Int(p, prop::kMessageFlags), 0);
}

}  // namespace
}  // namespace mail
