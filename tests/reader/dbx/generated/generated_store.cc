// Shared set-up of the generated-store tests; see generated_store.h.
#include "tests/reader/dbx/generated/generated_store.h"

#include <unistd.h>

#include "tests/support/dbxgen/filetime.h"

namespace dbxgen::testing {

double AutomationDate(uint64_t filetime) {
  const int64_t seconds = static_cast<int64_t>(filetime / kTicksPerSecond) - kUnixEpochSeconds;
  const int64_t epoch = DaysFromCivil(1899, 12, 30) * 86400;
  return static_cast<double>(seconds - epoch) / 86400.0;
}

void ExpectMessage(const Message& m, const dbx::DbxMessage& got) {
  EXPECT_TRUE(got.decoded);
  EXPECT_EQ(got.flags, m.flags.value_or(0));
  auto date = [](const std::optional<uint64_t>& ft) { return ft ? AutomationDate(*ft) : 0.0; };
  EXPECT_NEAR(got.date_created, date(m.date_created), 1e-7);
  EXPECT_NEAR(got.date_saved, date(m.date_saved), 1e-7);
  EXPECT_NEAR(got.date_received, date(m.date_received), 1e-7);
  EXPECT_EQ(got.message_lines, static_cast<int32_t>(m.lines.value_or(0)));
  EXPECT_EQ(got.message_priority, static_cast<int16_t>(m.priority.value_or(0) & 0xFF));
  EXPECT_EQ(got.orig_subject, m.orig_subject.value_or(""));
  EXPECT_EQ(got.message_id, m.message_id.value_or(""));
  EXPECT_EQ(got.subject, m.subject.value_or(""));
  EXPECT_EQ(got.sender_addr_name, m.sender_addr_name.value_or(""));
  EXPECT_EQ(got.answer_message_id, m.answer_message_id.value_or(""));
  EXPECT_EQ(got.newsgroup, m.newsgroup.value_or(""));
  EXPECT_EQ(got.server, m.server.value_or(""));
  EXPECT_EQ(got.sender_name, m.sender_name.value_or(""));
  EXPECT_EQ(got.sender_addr, m.sender_addr.value_or(""));
  EXPECT_EQ(got.recipient_name, m.recipient_name.value_or(""));
  EXPECT_EQ(got.recipient_addr, m.recipient_addr.value_or(""));
  EXPECT_EQ(got.mail_account, m.account.value_or(""));
  EXPECT_EQ(got.registry_key, m.registry_key.value_or(""));
  EXPECT_EQ(got.damage, 0u);
}

void GeneratedStoreTest::SetUp() {
  dir_ = std::filesystem::path(TOLLAN_BINARY_DIR) / "tmp" /
         ("dbx_generated_" + std::to_string(::getpid()) + "_" +
          ::testing::UnitTest::GetInstance()->current_test_info()->name());
  std::filesystem::remove_all(dir_);
  session_.set_store_directory(dir_.string() + "/");
}

void GeneratedStoreTest::TearDown() {
  session_.CloseFile();
  std::filesystem::remove_all(dir_);
}

StoreReport GeneratedStoreTest::Write(const StoreSpec& spec) {
  auto report = WriteStore(dir_, spec);
  EXPECT_TRUE(report.ok()) << report.status().message();
  return report.ok() ? report.value() : StoreReport{};
}

dbx::DbxFolderOpen GeneratedStoreTest::Open(const std::string& file,
                                            dbx::DbxFolderContents* contents) {
  return session_.OpenFolder(file, false, contents);
}

dbx::DbxBody GeneratedStoreTest::Body(uint32_t position) {
  dbx::DbxBody body;
  dbx::DbxStatus status = session_.ReadBody(position, &body);
  EXPECT_TRUE(status.ok()) << status.ToString();
  return body;
}

}  // namespace dbxgen::testing
