// The real Outlook Express store of the shared fixtures, decoded through the
// session. Expected values were read off the files by hand (hex dumps of the
// index nodes, records and body blocks), not taken from this reader.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "reader/dbx/date_time.h"
#include "reader/dbx/session.h"

namespace dbx {
namespace {

const std::string kStore = TOLLAN_SHARED_DIR "/fixtures/real-store";

struct Folder {
  int32_t index, parent;
  std::string name, file;
  bool active, subfolders;
  int32_t count, unread;
};

TEST(RealStoreTest, FolderListInOrderWithEveryValue) {
  // The root node at 0xE5C4 holds 8 entries and no children.
  const std::vector<Folder> expected = {
      {0, -1, "Outlook Express", "", false, true, 0, 0},  // flags 0x00800010, indirect
      {1, 0, "Local Folders", "", true, true, 0, 0},      // flags 0x00900019, indirect
      {4, 1, "Inbox", "Inbox.dbx", true, false, 1, 0},
      {5, 1, "Outbox", "Outbox.dbx", true, false, 0, 0},
      {6, 1, "Sent Items", "", true, false, 0, 0},
      {7, 1, "Deleted Items", "", true, false, 0, 0},
      {8, 1, "Drafts", "", true, false, 0, 0},
      {9, 0, "Hotmail", "", true, false, 0, 0},  // flags 0x10040029, indirect
  };
  for (bool inactive : {false, true}) {
    DbxSession session;
    session.set_store_directory(kStore);
    std::vector<DbxFolderRecord> folders;
    DbxStatus s = session.OpenStore(inactive, false, &folders);
    ASSERT_TRUE(s.ok()) << s.ToString();
    EXPECT_FALSE(session.file_open());
    ASSERT_EQ(folders.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
      SCOPED_TRACE(expected[i].name);
      EXPECT_EQ(folders[i].folder_index, expected[i].index);
      EXPECT_EQ(folders[i].parent_index, expected[i].parent);
      EXPECT_EQ(folders[i].folder_name, expected[i].name);
      EXPECT_EQ(folders[i].folder_file, expected[i].file);
      EXPECT_EQ(folders[i].is_active, expected[i].active);
      EXPECT_EQ(folders[i].has_subfolders, expected[i].subfolders);
      EXPECT_EQ(folders[i].message_count, expected[i].count);
      EXPECT_EQ(folders[i].message_unread, expected[i].unread);
      EXPECT_EQ(folders[i].damage, 0u);
    }
    EXPECT_EQ(folders[0].record_offset, 0x2888u);
    EXPECT_EQ(folders[2].record_offset, 0x261Cu);
    EXPECT_EQ(ParentFolderName(folders, folders[2].parent_index), "Local Folders");
    EXPECT_EQ(ParentFolderName(folders, folders[1].parent_index), "Outlook Express");
  }
}

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(RealStoreTest, InboxMessageWithEveryField) {
  DbxSession session;
  session.set_store_directory(kStore + "/");
  DbxFolderContents inbox;
  DbxFolderOpen open = session.OpenFolder("Inbox.dbx", false, &inbox);
  ASSERT_EQ(open.status.code(), 0) << open.status.ToString();
  EXPECT_TRUE(open.file_opened);
  EXPECT_TRUE(open.contents_read);
  EXPECT_EQ(open.file_size, 142036u);
  EXPECT_FALSE(session.unreadable_message());
  EXPECT_TRUE(session.file_open());

  EXPECT_EQ(inbox.header.root_offset, 0x1E254u);
  EXPECT_TRUE(inbox.info.IsLocalStore());
  EXPECT_STREQ(inbox.info.SourceTypeName(), "LocalStore");
  EXPECT_EQ(inbox.info.internal_name, "Inbox");
  EXPECT_EQ(inbox.info.session_number, 0);

  ASSERT_EQ(inbox.messages.size(), 1u);
  const DbxMessage& m = inbox.messages[0];
  EXPECT_EQ(m.record_offset, 0x2E10u);
  EXPECT_TRUE(m.decoded);
  EXPECT_EQ(m.shift, 0u);
  // Entry 01 00 00 00: the flag word is the 4 bytes at the start of the data
  // area, 81 00 00 01.
  EXPECT_EQ(m.flags, 0x01000081u);
  EXPECT_TRUE(m.message_read());
  EXPECT_FALSE(m.message_marked() || m.attachment_present() || m.pending_changes() ||
               m.news_posting() || m.digitally_signed() || m.thread_watched() ||
               m.thread_ignored());
  EXPECT_EQ(m.body_position, 0xEAD4u);  // entry 84 D4 EA 00
  EXPECT_FALSE(m.body_unreadable);
  EXPECT_EQ(m.subject, "Welcome to Outlook Express 6");
  EXPECT_EQ(m.orig_subject, "Welcome to Outlook Express 6");
  EXPECT_EQ(m.sender_name, "Microsoft Outlook Express Team");
  EXPECT_EQ(m.sender_addr, "msoe@microsoft.com");
  EXPECT_EQ(m.recipient_name, "New Outlook Express User");
  EXPECT_EQ(m.recipient_addr, "");  // points at a zero byte
  for (const std::string* t : {&m.message_id, &m.sender_addr_name, &m.answer_message_id,
                               &m.newsgroup, &m.server, &m.mail_account, &m.registry_key}) {
    EXPECT_EQ(*t, "");
  }
  EXPECT_EQ(m.message_priority, 3);
  EXPECT_EQ(m.message_lines, 0);
  // FILETIMEs 0x01D7EF132872FAC0 (created, received) and 0x01D7EF132880C3E0
  // (saved): 12 December 2021, 04:45:59.276 and .366 UTC.
  const double expected = 44542 + (4 * 3600 + 45 * 60 + 59) / 86400.0;
  EXPECT_DOUBLE_EQ(m.date_created, expected);
  EXPECT_DOUBLE_EQ(m.date_received, expected);
  EXPECT_DOUBLE_EQ(m.date_saved, expected);
  EXPECT_EQ(FormatIso8601(m.date_created), "2021-12-12T04:45:59Z");

  // The body: 20 consecutive blocks from 0xEAD4, 0x210 bytes apart, the
  // first 19 full and the last using 411 bytes.
  DbxBody body;
  ASSERT_TRUE(session.ReadBody(m.body_position, &body).ok());
  ASSERT_TRUE(body.found);
  ASSERT_EQ(body.segments.size(), 20u);
  for (size_t i = 0; i < 19; ++i) EXPECT_EQ(body.segments[i].used_length, 512u);
  EXPECT_EQ(body.segments[19].used_length, 411u);
  EXPECT_EQ(body.JoinedSize(), 10139u);

  const std::string file = FileBytes(kStore + "/Inbox.dbx");
  std::string expected_text;
  for (size_t i = 0; i < 20; ++i) {
    expected_text += file.substr(0xEAD4 + 0x210 * i + 16, i < 19 ? 512 : 411);
  }
  const std::string text = body.JoinedText();
  EXPECT_EQ(text, expected_text);
  EXPECT_EQ(text.rfind("From: \"Microsoft Outlook Express Team\" <msoe@microsoft.com>\r\n", 0),
            0u);
  EXPECT_NE(text.find("Subject: Welcome to Outlook Express 6\r\n"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 9), "</html>\r\n");
}

TEST(RealStoreTest, OtherFolderFiles) {
  DbxSession session;
  session.set_store_directory(kStore);
  DbxFolderContents outbox;
  DbxFolderOpen open = session.OpenFolder("Outbox.dbx", false, &outbox);
  EXPECT_EQ(open.status.code(), 0);  // root offset 0: no messages
  EXPECT_TRUE(outbox.messages.empty());
  EXPECT_EQ(outbox.info.internal_name, "Outbox");

  DbxFolderContents other;
  open = session.OpenFolder("Offline.dbx", false, &other);  // another kind of DBX file
  EXPECT_EQ(open.status.code(), kResultWrongSignature);
  EXPECT_TRUE(open.file_opened);
  EXPECT_EQ(open.file_size, 9656u);
  EXPECT_FALSE(session.file_open());

  open = session.OpenFolder("folders.dbx", false, &other);  // the folder list
  EXPECT_EQ(open.status.code(), kResultWrongSignature);
  EXPECT_FALSE(open.contents_read);
}

}  // namespace
}  // namespace dbx
