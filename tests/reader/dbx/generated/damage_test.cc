// Damaged generated stores read back through the DBX reader: every walk and
// chain ends, reads past the end of a file read zeros, and one damaged
// record never costs the rest of its folder.
#include <gtest/gtest.h>

#include <algorithm>

#include "reader/dbx/folder_list.h"
#include "tests/reader/dbx/generated/generated_store.h"
#include "tests/support/dbxgen/named_damage.h"
#include "tests/support/dbxgen/synth.h"

namespace dbxgen::testing {
namespace {

// The standard folders with `count` synthesized messages in the Inbox.
StoreSpec InboxStore(std::size_t count) {
  StoreSpec spec;
  spec.folders = StandardFolders();
  SynthOptions synth;
  synth.seed = 3;
  synth.message_size = 1500;
  for (std::size_t i = 0; i < count; ++i) {
    spec.folders[2].messages.push_back(SynthesizeMessage(i, synth));
  }
  return spec;
}

std::vector<std::string> SortedSubjects(const std::vector<dbx::DbxMessage>& messages) {
  std::vector<std::string> subjects;
  for (const auto& m : messages) subjects.push_back(m.subject);
  std::sort(subjects.begin(), subjects.end());
  return subjects;
}

std::vector<std::string> SortedSubjects(const std::vector<Message>& messages) {
  std::vector<std::string> subjects;
  for (const auto& m : messages) subjects.push_back(m.subject.value_or(""));
  std::sort(subjects.begin(), subjects.end());
  return subjects;
}

TEST_F(GeneratedStoreTest, CyclicAndOverfullTreesListEveryMessageOnce) {
  for (const char* damage : {"cyclic-tree", "overfull-node"}) {
    SCOPED_TRACE(damage);
    StoreSpec spec = InboxStore(52);
    ASSERT_TRUE(ApplyDamage(damage, spec, 2, 0).ok());
    std::filesystem::remove_all(dir_);
    Write(spec);
    dbx::DbxFolderContents contents;
    ASSERT_EQ(Open("Inbox.dbx", &contents).status.code(), 0);
    EXPECT_EQ(SortedSubjects(contents.messages), SortedSubjects(spec.folders[2].messages));
  }
  // A cycle below the root of a tree of several levels.
  StoreSpec spec = InboxStore(40);
  spec.folders[2].file.tree.fan_out = 2;
  spec.folders[2].file.damage.cyclic_tree = true;
  std::filesystem::remove_all(dir_);
  Write(spec);
  dbx::DbxFolderContents contents;
  ASSERT_EQ(Open("Inbox.dbx", &contents).status.code(), 0);
  EXPECT_EQ(SortedSubjects(contents.messages), SortedSubjects(spec.folders[2].messages));
}

TEST_F(GeneratedStoreTest, DeepTreesAreWalkedCompletelyInOrder) {
  StoreSpec spec;
  spec.folders = {UserFolder(100, "Deep")};
  spec.folders[0].file.tree.shape = TreeOptions::Shape::kChain;
  spec.folders[0].source = [](std::size_t position, Message& out) {
    if (position >= 30000) return false;
    out.subject = std::to_string(position);
    return true;
  };
  StoreReport report = Write(spec);
  ASSERT_EQ(report.folder_files[0].tree_depth, 30000u);
  dbx::DbxFolderContents contents;
  ASSERT_EQ(Open("Deep.dbx", &contents).status.code(), 0);
  ASSERT_EQ(contents.messages.size(), 30000u);
  for (std::size_t k = 0; k < contents.messages.size(); k += 997) {
    EXPECT_EQ(contents.messages[k].subject, std::to_string(k));
  }
}

TEST_F(GeneratedStoreTest, TruncatedFilesReadZerosPastTheEnd) {
  // The single index node loses its last 400 of 636 bytes: entries 0 to 17
  // keep their record offsets, the others read as offset 0, which holds no
  // record. Every entry still yields a message.
  StoreSpec spec = InboxStore(30);
  ASSERT_TRUE(ApplyDamage("truncated", spec, 2, 0).ok());
  StoreReport report = Write(spec);
  dbx::DbxFolderContents contents;
  ASSERT_EQ(Open("Inbox.dbx", &contents).status.code(), 0);
  ASSERT_EQ(contents.messages.size(), 30u);
  const auto& order = report.folder_files[2].walk_order;
  for (std::size_t k = 0; k < 30; ++k) {
    SCOPED_TRACE(k);
    if (k < 18) {
      ExpectMessage(spec.folders[2].messages[order[k]], contents.messages[k]);
    } else {
      EXPECT_FALSE(contents.messages[k].decoded);
      EXPECT_EQ(contents.messages[k].subject, "");
      EXPECT_EQ(contents.messages[k].body_position, 0u);
    }
  }

  for (const char* damage : {"truncated-half", "truncated-header"}) {
    SCOPED_TRACE(damage);
    StoreSpec cut = InboxStore(30);
    ASSERT_TRUE(ApplyDamage(damage, cut, 2, 0).ok());
    std::filesystem::remove_all(dir_);
    Write(cut);
    dbx::DbxFolderContents opened;
    ASSERT_EQ(Open("Inbox.dbx", &opened).status.code(), 0);
    EXPECT_TRUE(opened.messages.empty());
  }
  dbx::DbxFolderContents header_only;
  ASSERT_EQ(Open("Inbox.dbx", &header_only).status.code(), 0);
  EXPECT_EQ(header_only.info.internal_name, "");
  EXPECT_FALSE(header_only.info.IsLocalStore());
}

TEST_F(GeneratedStoreTest, SignatureAndRootFaults) {
  struct Case {
    const char* damage;
    int folder_code;
    int store_code;
  };
  for (const Case& c : {Case{"wrong-signature", 1002, 0}, Case{"wrong-kind", 1002, 0},
                        Case{"unknown-kind", 1002, 0}, Case{"root-zero", 0, 0},
                        Case{"root-mid-node", 0, 0}, Case{"list-wrong-signature", 0, 1002},
                        Case{"list-wrong-kind", 0, 1002}}) {
    SCOPED_TRACE(c.damage);
    StoreSpec spec = InboxStore(5);
    ASSERT_TRUE(ApplyDamage(c.damage, spec, 2, 0).ok());
    std::filesystem::remove_all(dir_);
    Write(spec);
    std::vector<dbx::DbxFolderRecord> folders;
    EXPECT_EQ(session_.OpenStore(false, false, &folders).code(), c.store_code);
    dbx::DbxFolderContents contents;
    EXPECT_EQ(Open("Inbox.dbx", &contents).status.code(), c.folder_code);
    if (c.folder_code == 0) {
      EXPECT_EQ(contents.messages.size(), std::string(c.damage).rfind("root", 0) == 0 ? 0u : 5u);
    }
  }
}

TEST_F(GeneratedStoreTest, DamagedRecordsAndChainsDoNotCostTheFolder) {
  StoreSpec spec = InboxStore(10);
  std::vector<Message>& m = spec.folders[2].messages;
  m[1].damage.bad_own_offset = true;
  m[2].damage.cyclic_body_chain = true;
  m[3].damage.unterminated_subject = true;
  m[4].damage.unrepresentable_dates = true;
  m[5].damage.overlong_last_segment = true;
  m[6].damage.unreadable_body_position = 8;
  m[7].damage.unreadable_body_position = 12;
  m[8].date_created = 0;  // 1 January 1601
  StoreReport report = Write(spec);
  dbx::DbxFolderContents contents;
  dbx::DbxFolderOpen open = Open("Inbox.dbx", &contents);
  ASSERT_EQ(open.status.code(), 1005);  // bodies that cannot be found
  ASSERT_EQ(contents.messages.size(), 10u);
  EXPECT_TRUE(session_.unreadable_message());
  const auto& order = report.folder_files[2].walk_order;
  for (std::size_t k = 0; k < 10; ++k) {
    const std::size_t i = order[k];
    const Message& w = m[i];
    const dbx::DbxMessage& got = contents.messages[k];
    SCOPED_TRACE("message " + std::to_string(i));
    switch (i) {
      case 1:
        EXPECT_FALSE(got.decoded);
        EXPECT_EQ(got.subject, "");
        EXPECT_EQ(got.flags, 0u);
        EXPECT_EQ(got.date_received, 0.0);
        break;
      case 2: {
        ExpectMessage(w, got);
        dbx::DbxBody body = Body(got.body_position);
        EXPECT_TRUE(body.chain_cut);
        EXPECT_EQ(body.JoinedText(), w.text);
        break;
      }
      case 3: {
        Message expected = w;
        expected.subject = StoredSubject(w).substr(0, 8192);
        EXPECT_EQ(got.subject, *expected.subject);
        EXPECT_NE(got.damage & dbx::kDamageUnterminatedText, 0u);
        EXPECT_EQ(got.sender_addr, w.sender_addr.value_or(""));
        EXPECT_EQ(got.recipient_addr, w.recipient_addr.value_or(""));
        EXPECT_EQ(Body(got.body_position).JoinedText(), w.text);
        break;
      }
      case 4:
        EXPECT_EQ(got.date_created, 0.0);
        EXPECT_EQ(got.date_saved, 0.0);
        EXPECT_EQ(got.date_received, 0.0);
        EXPECT_NE(got.damage & dbx::kDamageBadDate, 0u);
        EXPECT_EQ(got.subject, w.subject.value_or(""));
        EXPECT_EQ(got.flags, w.flags.value_or(0));
        break;
      case 5: {
        ExpectMessage(w, got);
        dbx::DbxBody body = Body(got.body_position);
        ASSERT_FALSE(body.segments.empty());
        EXPECT_EQ(body.segments.back().used_length, 600u);
        EXPECT_EQ(body.segments.back().text.size(), 512u);
        std::string padded = w.text;
        padded.resize((w.text.size() + 511) / 512 * 512, '\0');
        EXPECT_EQ(body.JoinedText(), padded);
        break;
      }
      case 6:
      case 7: {
        EXPECT_TRUE(got.body_unreadable);
        EXPECT_EQ(got.subject, w.subject.value_or(""));
        dbx::DbxBody body = Body(got.body_position);
        EXPECT_FALSE(body.found);
        EXPECT_TRUE(body.segments.empty());
        break;
      }
      default:
        ExpectMessage(w, got);
        EXPECT_EQ(Body(got.body_position).JoinedText(), w.text);
    }
  }
}

TEST_F(GeneratedStoreTest, FolderListFaults) {
  for (const char* damage :
       {"list-unterminated-name", "list-cyclic-tree", "list-deep-tree", "list-truncated"}) {
    SCOPED_TRACE(damage);
    StoreSpec spec = InboxStore(3);
    ASSERT_TRUE(ApplyDamage(damage, spec, 2, 0).ok());
    std::filesystem::remove_all(dir_);
    Write(spec);
    std::vector<dbx::DbxFolderRecord> folders;
    ASSERT_EQ(session_.OpenStore(true, false, &folders).code(), 0);
    ASSERT_EQ(folders.size(), spec.folders.size());
    for (std::size_t i = 0; i < folders.size(); ++i) {
      const FolderRecord& r = spec.folders[i].record;
      if (r.unterminated_name) {
        EXPECT_EQ(folders[i].folder_name, StoredFolderName(r).substr(0, 255));
        EXPECT_NE(folders[i].damage, 0u);
      } else {
        EXPECT_EQ(folders[i].folder_name, r.name);
      }
      EXPECT_EQ(folders[i].folder_file, r.file_name);
    }
    EXPECT_EQ(folders[2].message_count, 3);
  }
}

TEST_F(GeneratedStoreTest, EveryNamedDamageOpensAndReadsWithoutHarm) {
  for (const NamedDamage& named : DamageNames()) {
    SCOPED_TRACE(named.name);
    StoreSpec spec = InboxStore(52);
    ASSERT_TRUE(ApplyDamage(named.name, spec, 2, 1).ok());
    std::filesystem::remove_all(dir_);
    Write(spec);
    std::vector<dbx::DbxFolderRecord> folders;
    int store = session_.OpenStore(true, false, &folders).code();
    EXPECT_TRUE(store == 0 || store == 1002) << store;
    for (const Folder& folder : spec.folders) {
      if (folder.record.file_name.empty()) continue;
      dbx::DbxFolderContents contents;
      int code = Open(folder.record.file_name, &contents).status.code();
      EXPECT_TRUE(code == 0 || code == 1002 || code == 1005) << code;
      EXPECT_LE(contents.messages.size(), folder.messages.size());
      for (const auto& message : contents.messages) {
        dbx::DbxBody body;
        EXPECT_TRUE(session_.ReadBody(message.body_position, &body).ok());
        EXPECT_LE(body.JoinedSize(), 64u * 1024);
      }
    }
  }
}

}  // namespace
}  // namespace dbxgen::testing
