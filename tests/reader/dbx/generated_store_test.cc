// Generated stores: sound stores of many shapes are read back completely
// and in index order, and every damaged variant the generator can build
// opens with the expected result, losing no more than the damaged part.
#include <gtest/gtest.h>

#include <filesystem>

#include "reader/dbx/date_time.h"
#include "reader/dbx/session.h"
#include "tests/support/dbxgen/named_damage.h"
#include "tests/support/dbxgen/store.h"
#include "tests/support/dbxgen/synth.h"

namespace dbx {
namespace {

namespace fs = std::filesystem;

constexpr size_t kInbox = 2;  // position of "Inbox" among the standard folders

class GeneratedStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(TOLLAN_BINARY_DIR) / "tmp" /
           ("dbx_generated_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // A standard store whose Inbox holds `count` synthesized messages.
  static dbxgen::StoreSpec Spec(size_t count, size_t fan_out) {
    dbxgen::StoreSpec spec;
    spec.folders = dbxgen::StandardFolders();
    spec.folder_list.tree.fan_out = fan_out;
    for (dbxgen::Folder& f : spec.folders) f.file.tree.fan_out = fan_out;
    dbxgen::SynthOptions synth;
    for (size_t i = 0; i < count; ++i) {
      spec.folders[kInbox].messages.push_back(dbxgen::SynthesizeMessage(i, synth));
    }
    return spec;
  }

  dbxgen::StoreReport Write(const dbxgen::StoreSpec& spec) {
    auto report = dbxgen::WriteStore(dir_, spec);
    EXPECT_TRUE(report.ok()) << report.status().message();
    return report.ok() ? report.value() : dbxgen::StoreReport{};
  }

  DbxFolderOpen OpenInbox(DbxFolderContents* contents) {
    session_.set_store_directory(dir_.string());
    return session_.OpenFolder("Inbox.dbx", false, contents);
  }

  fs::path dir_;
  DbxSession session_;
};

double Date(const std::optional<uint64_t>& filetime) {
  return filetime ? FileTimeToAutomationDate(*filetime).value_or(0) : 0;
}

// Every record value and the body of `got` against what was written.
void ExpectMessage(const DbxMessage& got, const dbxgen::Message& want, DbxSession& session) {
  EXPECT_TRUE(got.decoded);
  EXPECT_EQ(got.subject, want.subject.value_or(""));
  EXPECT_EQ(got.orig_subject, want.orig_subject.value_or(""));
  EXPECT_EQ(got.message_id, want.message_id.value_or(""));
  EXPECT_EQ(got.sender_name, want.sender_name.value_or(""));
  EXPECT_EQ(got.sender_addr, want.sender_addr.value_or(""));
  EXPECT_EQ(got.sender_addr_name, want.sender_addr_name.value_or(""));
  EXPECT_EQ(got.answer_message_id, want.answer_message_id.value_or(""));
  EXPECT_EQ(got.newsgroup, want.newsgroup.value_or(""));
  EXPECT_EQ(got.server, want.server.value_or(""));
  EXPECT_EQ(got.recipient_name, want.recipient_name.value_or(""));
  EXPECT_EQ(got.recipient_addr, want.recipient_addr.value_or(""));
  EXPECT_EQ(got.mail_account, want.account.value_or(""));
  EXPECT_EQ(got.registry_key, want.registry_key.value_or(""));
  EXPECT_EQ(got.flags, want.flags.value_or(0));
  EXPECT_EQ(got.message_lines, static_cast<int32_t>(want.lines.value_or(0)));
  EXPECT_EQ(got.message_priority, static_cast<int16_t>(want.priority.value_or(0) & 0xFF));
  EXPECT_EQ(got.date_created, Date(want.date_created));
  EXPECT_EQ(got.date_saved, Date(want.date_saved));
  EXPECT_EQ(got.date_received, Date(want.date_received));
  DbxBody body;
  ASSERT_TRUE(session.ReadBody(got.body_position, &body).ok());
  EXPECT_TRUE(body.found);
  EXPECT_FALSE(body.chain_cut);
  EXPECT_EQ(body.JoinedText(), want.text);
}

TEST_F(GeneratedStoreTest, EveryMessageReadsBackInIndexOrder) {
  // Fan-outs 1 and 3 give deep trees with children on every entry; 51 the
  // usual shape.
  for (size_t fan_out : {1, 3, 51}) {
    SCOPED_TRACE(fan_out);
    dbxgen::StoreSpec spec = Spec(120, fan_out);
    dbxgen::StoreReport report = Write(spec);
    DbxFolderContents inbox;
    DbxFolderOpen open = OpenInbox(&inbox);
    ASSERT_EQ(open.status.code(), 0) << open.status.ToString();
    const dbxgen::FolderFileReport& file = report.folder_files[kInbox];
    EXPECT_EQ(open.file_size, file.file_size);
    ASSERT_EQ(inbox.messages.size(), 120u);
    for (size_t k = 0; k < inbox.messages.size(); ++k) {
      SCOPED_TRACE(k);
      const size_t position = file.walk_order[k];
      EXPECT_EQ(inbox.messages[k].record_offset, file.record_offsets[position]);
      ExpectMessage(inbox.messages[k], spec.folders[kInbox].messages[position], session_);
    }
  }
}

TEST_F(GeneratedStoreTest, FolderListOfAGeneratedStore) {
  dbxgen::StoreSpec spec = Spec(7, 2);
  spec.folders.push_back(dbxgen::UserFolder(100, "Work"));
  spec.folders.push_back(dbxgen::UserFolder(101, "Old"));
  spec.folders.back().record.flags = 0;  // inactive
  Write(spec);
  session_.set_store_directory(dir_.string());
  std::vector<DbxFolderRecord> active, all;
  ASSERT_TRUE(session_.OpenStore(false, false, &active).ok());
  ASSERT_TRUE(session_.OpenStore(true, false, &all).ok());
  ASSERT_EQ(all.size(), spec.folders.size());
  EXPECT_EQ(active.size(), spec.folders.size() - 1);
  for (size_t i = 0; i < all.size(); ++i) {
    SCOPED_TRACE(spec.folders[i].record.name);
    EXPECT_EQ(all[i].folder_name, spec.folders[i].record.name);
    EXPECT_EQ(all[i].folder_file, spec.folders[i].record.file_name);
    EXPECT_EQ(all[i].folder_index, static_cast<int32_t>(spec.folders[i].record.id));
  }
  EXPECT_EQ(all[kInbox].message_count, 7);
  EXPECT_EQ(ParentFolderName(all, all[kInbox].parent_index), "Local Folders");
}

// Writes the standard store with the damage `name` in the Inbox (message
// position 5 for message faults) and opens the Inbox.
struct Damaged {
  dbxgen::StoreSpec spec;
  dbxgen::StoreReport report;
  DbxFolderContents inbox;
  DbxFolderOpen open;
};

class DamagedStoreTest : public GeneratedStoreTest {
 protected:
  Damaged Build(const std::string& name, size_t count = 60, size_t fan_out = 4) {
    Damaged d;
    fs::remove_all(dir_);
    d.spec = Spec(count, fan_out);
    dbxgen::Status s = dbxgen::ApplyDamage(name, d.spec, kInbox, 5);
    EXPECT_TRUE(s.ok()) << s.message();
    d.report = Write(d.spec);
    d.open = OpenInbox(&d.inbox);
    return d;
  }
  // The message at walk position k and the message written there.
  static const dbxgen::Message& Written(const Damaged& d, size_t k) {
    return d.spec.folders[kInbox].messages[d.report.folder_files[kInbox].walk_order[k]];
  }
  // Walk position of the damaged message (position 5 in the folder).
  static size_t DamagedIndex(const Damaged& d) {
    const auto& order = d.report.folder_files[kInbox].walk_order;
    return std::find(order.begin(), order.end(), size_t{5}) - order.begin();
  }
  // Every message except the damaged one reads back exactly.
  void ExpectOthersIntact(const Damaged& d) {
    ASSERT_EQ(d.inbox.messages.size(), d.spec.folders[kInbox].messages.size());
    for (size_t k = 0; k < d.inbox.messages.size(); ++k) {
      if (k == DamagedIndex(d)) continue;
      SCOPED_TRACE(k);
      ExpectMessage(d.inbox.messages[k], Written(d, k), session_);
    }
  }
};

TEST_F(DamagedStoreTest, DamagedTreesStillListEveryMessageOnce) {
  for (const char* name : {"cyclic-tree", "deep-tree", "overfull-node"}) {
    SCOPED_TRACE(name);
    Damaged d = Build(name, std::string(name) == "overfull-node" ? 52 : 60);
    EXPECT_EQ(d.open.status.code(), 0) << d.open.status.ToString();
    ExpectOthersIntact(d);
    if (HasFailure()) return;
  }
}

TEST_F(DamagedStoreTest, ForeignFilesAreRefused) {
  for (const char* name : {"wrong-signature", "wrong-kind", "unknown-kind"}) {
    SCOPED_TRACE(name);
    Damaged d = Build(name);
    EXPECT_EQ(d.open.status.code(), kResultWrongSignature);
    EXPECT_FALSE(session_.file_open());
  }
}

TEST_F(DamagedStoreTest, RootsThatNameNoNodeGiveAnEmptyFolder) {
  for (const char* name : {"root-zero", "root-mid-node", "truncated-header"}) {
    SCOPED_TRACE(name);
    Damaged d = Build(name);
    EXPECT_EQ(d.open.status.code(), 0);
    EXPECT_TRUE(d.inbox.messages.empty());
  }
}

TEST_F(DamagedStoreTest, TruncatedFilesKeepWhatIsLeft) {
  for (const char* name : {"truncated", "truncated-half"}) {
    SCOPED_TRACE(name);
    Damaged d = Build(name);
    EXPECT_EQ(d.open.status.code(), 0);
    EXPECT_LE(d.inbox.messages.size(), 60u);
    // Whatever is listed and has its record in the file decodes whole.
    for (const DbxMessage& m : d.inbox.messages) {
      if (!m.decoded) continue;
      DbxBody body;
      EXPECT_TRUE(session_.ReadBody(m.body_position, &body).ok());
    }
  }
}

TEST_F(DamagedStoreTest, OneDamagedMessageLosesOnlyItself) {
  {
    Damaged d = Build("bad-own-offset");
    EXPECT_EQ(d.open.status.code(), 0);
    const DbxMessage& m = d.inbox.messages[DamagedIndex(d)];
    EXPECT_FALSE(m.decoded);
    EXPECT_EQ(m.subject, "");
    ExpectOthersIntact(d);
  }
  {
    Damaged d = Build("unterminated-text");
    EXPECT_EQ(d.open.status.code(), 0);
    const DbxMessage& m = d.inbox.messages[DamagedIndex(d)];
    EXPECT_EQ(m.subject, dbxgen::StoredSubject(Written(d, DamagedIndex(d))).substr(0, 8192));
    EXPECT_EQ(m.sender_addr, Written(d, DamagedIndex(d)).sender_addr.value_or(""));
    ExpectOthersIntact(d);
  }
  {
    Damaged d = Build("unrepresentable-date");
    EXPECT_EQ(d.open.status.code(), 0);
    const DbxMessage& m = d.inbox.messages[DamagedIndex(d)];
    EXPECT_EQ(m.date_created, 0);
    EXPECT_EQ(m.date_saved, 0);
    EXPECT_EQ(m.date_received, 0);
    EXPECT_EQ(m.subject, Written(d, DamagedIndex(d)).subject.value_or(""));
    ExpectOthersIntact(d);
  }
}

TEST_F(DamagedStoreTest, FormatVariantsReadLikeTheOriginal) {
  for (const char* name : {"shifted-record", "body-in-data-area"}) {
    SCOPED_TRACE(name);
    Damaged d = Build(name);
    EXPECT_EQ(d.open.status.code(), 0);
    ExpectMessage(d.inbox.messages[DamagedIndex(d)], Written(d, DamagedIndex(d)), session_);
    ExpectOthersIntact(d);
  }
}

TEST_F(DamagedStoreTest, UnreadableBodyPositions) {
  for (const char* name : {"body-position-8", "body-position-12"}) {
    SCOPED_TRACE(name);
    Damaged d = Build(name);
    EXPECT_EQ(d.open.status.code(), kResultUnreadableBody);
    EXPECT_TRUE(session_.unreadable_message());
    const DbxMessage& m = d.inbox.messages[DamagedIndex(d)];
    EXPECT_TRUE(m.body_unreadable);
    DbxBody body;
    EXPECT_TRUE(session_.ReadBody(m.body_position, &body).ok());
    EXPECT_FALSE(body.found);
    ExpectOthersIntact(d);
  }
}

TEST_F(DamagedStoreTest, DamagedBodyChains) {
  {
    Damaged d = Build("cyclic-chain");
    const DbxMessage& m = d.inbox.messages[DamagedIndex(d)];
    DbxBody body;
    ASSERT_TRUE(session_.ReadBody(m.body_position, &body).ok());
    EXPECT_TRUE(body.chain_cut);
    EXPECT_EQ(body.JoinedText(), Written(d, DamagedIndex(d)).text);
  }
  {
    Damaged d = Build("overlong-segment");
    const DbxMessage& m = d.inbox.messages[DamagedIndex(d)];
    DbxBody body;
    ASSERT_TRUE(session_.ReadBody(m.body_position, &body).ok());
    EXPECT_EQ(body.segments.back().used_length, 600u);
    EXPECT_EQ(body.segments.back().text.size(), 512u);
    const std::string& text = Written(d, DamagedIndex(d)).text;
    EXPECT_EQ(body.JoinedText().substr(0, text.size()), text);
  }
}

TEST_F(DamagedStoreTest, DamagedFolderLists) {
  dbxgen::StoreSpec spec = Spec(3, 2);
  size_t folders = spec.folders.size();
  for (const char* name : {"list-cyclic-tree", "list-deep-tree"}) {
    SCOPED_TRACE(name);
    Damaged d = Build(name, 3, 2);
    std::vector<DbxFolderRecord> list;
    ASSERT_TRUE(session_.OpenStore(true, false, &list).ok());
    EXPECT_EQ(list.size(), folders);
  }
  for (const char* name : {"list-wrong-signature", "list-wrong-kind"}) {
    SCOPED_TRACE(name);
    Damaged d = Build(name, 3, 2);
    std::vector<DbxFolderRecord> list;
    EXPECT_EQ(session_.OpenStore(true, false, &list).code(), kResultWrongSignature);
  }
  {
    Damaged d = Build("list-truncated", 3, 2);
    std::vector<DbxFolderRecord> list;
    EXPECT_TRUE(session_.OpenStore(true, false, &list).ok());
    EXPECT_LE(list.size(), folders);
  }
  {
    Damaged d = Build("list-unterminated-name", 3, 2);
    std::vector<DbxFolderRecord> list;
    ASSERT_TRUE(session_.OpenStore(true, false, &list).ok());
    ASSERT_EQ(list.size(), folders);
    size_t cut = 0;
    for (const DbxFolderRecord& f : list) {
      if (f.damage & kDamageUnterminatedText) {
        ++cut;
        EXPECT_EQ(f.folder_name.size(), 255u);
      }
    }
    EXPECT_EQ(cut, 1u);
  }
}

}  // namespace
}  // namespace dbx
