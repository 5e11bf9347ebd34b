// Generated stores read back through the DBX reader: every record field and
// every body byte as written, the message order of folder files and the
// order of the folder list, over trees of many shapes.
#include <gtest/gtest.h>

#include <algorithm>

#include "reader/dbx/folder_list.h"
#include "tests/reader/dbx/generated/generated_store.h"
#include "tests/support/dbxgen/filetime.h"
#include "tests/support/dbxgen/synth.h"

namespace dbxgen::testing {
namespace {

// A message with every field kind set, in forms that vary with `i`.
Message FullMessage(std::size_t i) {
  Message m;
  m.id = static_cast<uint32_t>(1000 + i);
  m.flags = (i % 2 ? kFlagRead | kFlagDownloaded | 0x1 : 0) | kFlagMarked * (i % 3 == 0) |
            kFlagAttachment * (i % 4 == 0) | kFlagNewsPosting * (i % 5 == 0) |
            kFlagSigned * (i % 6 == 0) | kFlagPendingChanges * (i % 7 == 0) |
            (i % 8 == 0 ? kFlagThreadWatched | kFlagThreadIgnored : 0);
  m.date_created = FileTimeFromCivil(2003, 1 + i % 12, 1 + i % 28, i % 24, i % 60, i % 60, 789);
  m.date_saved = FileTimeFromCivil(2004, 2, 29, 23, 59, 59);
  m.date_received = FileTimeFromCivil(1999 + i % 30, 12, 31, 0, 0, 1);
  m.lines = static_cast<uint32_t>(i * 37);
  m.orig_subject = "Original " + std::to_string(i);
  m.message_id = "<" + std::to_string(i) + "$0a00a8c0@example.com>";
  m.subject = "Re: Original " + std::to_string(i) + " \xE9t\xE9";
  m.sender_addr_name = "\"Alice\" <alice@example.com>";
  m.answer_message_id = "<parent@example.com>";
  m.newsgroup = "comp.example";
  m.server = "news.example.com";
  m.sender_name = "Alice";
  m.sender_addr = "alice@example.com";
  m.priority = i % 3 == 0 ? 0x305 : 1 + 2 * (i % 3);  // only the low 8 bits count
  m.date_received = FileTimeFromCivil(2010, 6, 15, 8, 30, 0);
  m.recipient_name = "Bob";
  m.recipient_addr = "bob@example.org";
  m.account = "Example Mail";
  m.registry_key = "00000001";
  // Forms: numbers kept in the data area, short texts in the entry.
  if (i % 2) {
    m.storage[kMsgLines] = Storage::kIndirect;
    m.storage[kMsgPriority] = Storage::kIndirect;
    m.storage[kMsgBodyPosition] = Storage::kIndirect;
  }
  if (i % 3 == 1) {
    m.recipient_name = "Bo";
    m.storage[kMsgRecipientName] = Storage::kDirect;
    m.server = "abc";
    m.storage[kMsgServer] = Storage::kDirect;
  }
  m.text = "From: alice@example.com\r\nSubject: " + *m.subject + "\r\n\r\n";
  for (std::size_t k = 0; k < 40 * i; ++k) m.text += static_cast<char>(k * 7 + i);
  return m;
}

TEST_F(GeneratedStoreTest, EveryFieldAndBodyByteComesBack) {
  StoreSpec spec;
  spec.folders = StandardFolders();
  std::vector<Message>& messages = spec.folders[2].messages;
  for (std::size_t i = 0; i < 60; ++i) messages.push_back(FullMessage(i));
  messages[5].body_position_in_data_area = 8;
  messages[6].body_position_in_data_area = 12;
  messages[7].shifted_record = true;
  messages[8].text.clear();  // no body
  messages[9].segment_lengths = {512, 0, 100, 512};
  messages[9].text = std::string(1124, 'q');
  messages[10].extra_fields = {Field::Text(kMsgSubject, "second subject wins")};
  spec.folders[2].file.tree.fan_out = 4;
  StoreReport report = Write(spec);

  dbx::DbxFolderContents contents;
  dbx::DbxFolderOpen open = Open("Inbox.dbx", &contents);
  ASSERT_EQ(open.status.code(), 0) << open.status.ToString();
  ASSERT_EQ(contents.messages.size(), messages.size());
  const auto& order = report.folder_files[2].walk_order;
  for (std::size_t k = 0; k < contents.messages.size(); ++k) {
    const Message& written = messages[order[k]];
    const dbx::DbxMessage& got = contents.messages[k];
    SCOPED_TRACE("message " + std::to_string(order[k]));
    Message expected = written;
    if (order[k] == 10) expected.subject = "second subject wins";
    ExpectMessage(expected, got);
    EXPECT_EQ(got.record_offset, report.folder_files[2].record_offsets[order[k]]);
    EXPECT_EQ(got.shift, order[k] == 7 ? 2u : 0u);
    EXPECT_EQ(got.body_position, report.folder_files[2].body_offsets[order[k]]);
    dbx::DbxBody body = Body(got.body_position);
    if (written.text.empty()) {
      EXPECT_FALSE(body.found);
      continue;
    }
    ASSERT_TRUE(body.found);
    EXPECT_FALSE(body.chain_cut);
    EXPECT_EQ(body.JoinedText(), written.text);
    std::vector<uint32_t> lengths;
    for (const auto& segment : body.segments) lengths.push_back(segment.used_length);
    if (!written.segment_lengths.empty()) {
      EXPECT_EQ(lengths, written.segment_lengths);
    }
  }
}

TEST_F(GeneratedStoreTest, FolderFileOrderFollowsEveryTreeShape) {
  for (std::size_t fan_out : {1, 2, 3, 51, 52}) {
    for (std::size_t count : {1, 2, 53, 300}) {
      StoreSpec spec;
      spec.folders = {UserFolder(100, "Shapes")};
      spec.folders[0].file.tree.fan_out = fan_out;
      spec.folders[0].source = [count](std::size_t position, Message& out) {
        if (position >= count) return false;
        out.subject = "message " + std::to_string(position);
        return true;
      };
      std::filesystem::remove_all(dir_);
      StoreReport report = Write(spec);
      dbx::DbxFolderContents contents;
      ASSERT_EQ(Open("Shapes.dbx", &contents).status.code(), 0);
      ASSERT_EQ(contents.messages.size(), count) << fan_out;
      for (std::size_t k = 0; k < count; ++k) {
        EXPECT_EQ(contents.messages[k].subject,
                  "message " + std::to_string(report.folder_files[0].walk_order[k]))
            << "fan-out " << fan_out << ", " << count << " messages, position " << k;
      }
    }
  }
}

TEST_F(GeneratedStoreTest, FolderListOrderAndInactiveFolders) {
  StoreSpec spec;
  spec.folders = StandardFolders();
  for (uint32_t i = 0; i < 40; ++i) {
    Folder folder = UserFolder(100 + i, "Folder " + std::to_string(i));
    if (i % 5 == 4) folder.record.flags = 0;  // not active
    if (i == 7) folder.record.flags = kFolderActive | kFolderHasSubfolders;
    if (i == 8) folder.record.parent = 107;
    spec.folders.push_back(folder);
  }
  spec.folders.back().record.message_count = 20000000;  // kept in the data area
  spec.folders.back().keep_counts = true;
  spec.folder_list.tree.fan_out = 2;
  StoreReport report = Write(spec);
  ASSERT_GE(report.folder_list.tree_depth, 4u);

  for (bool include_inactive : {false, true}) {
    std::vector<dbx::DbxFolderRecord> folders;
    ASSERT_EQ(session_.OpenStore(include_inactive, false, &folders).code(), 0);
    std::vector<std::string> expected;
    for (const Folder& f : spec.folders) {
      if (include_inactive || (f.record.flags & kFolderActive) ||
          f.record.name == "Outlook Express") {
        expected.push_back(f.record.name);
      }
    }
    std::vector<std::string> names;
    for (const auto& f : folders) names.push_back(f.folder_name);
    EXPECT_EQ(names, expected);
  }
  std::vector<dbx::DbxFolderRecord> folders;
  ASSERT_EQ(session_.OpenStore(true, false, &folders).code(), 0);
  ASSERT_EQ(folders.size(), spec.folders.size());
  for (std::size_t i = 0; i < folders.size(); ++i) {
    const FolderRecord& r = spec.folders[i].record;
    SCOPED_TRACE(r.name);
    EXPECT_EQ(folders[i].folder_index, static_cast<int32_t>(r.id));
    EXPECT_EQ(folders[i].parent_index, static_cast<int32_t>(r.parent));
    EXPECT_EQ(folders[i].folder_file, r.file_name);
    EXPECT_EQ(folders[i].is_active, (r.flags & kFolderActive) != 0);
    EXPECT_EQ(folders[i].has_subfolders, (r.flags & kFolderHasSubfolders) != 0);
    EXPECT_EQ(folders[i].record_offset, report.folder_list.record_offsets[i]);
  }
  EXPECT_EQ(folders.back().message_count, 20000000);
  EXPECT_EQ(dbx::ParentFolderName(folders, folders[2].parent_index), "Local Folders");
}

TEST_F(GeneratedStoreTest, SynthesizedStoreComesBackWhole) {
  StoreSpec spec;
  spec.folders = StandardFolders();
  SynthOptions synth;
  synth.seed = 7;
  for (std::size_t f = 2; f < 4; ++f) {
    spec.folders[f].file.tree.fan_out = 5;
    for (std::size_t i = 0; i < 150; ++i) {
      spec.folders[f].messages.push_back(SynthesizeMessage(f * 1000 + i, synth));
    }
  }
  StoreReport report = Write(spec);
  std::vector<dbx::DbxFolderRecord> folders;
  ASSERT_EQ(session_.OpenStore(false, false, &folders).code(), 0);
  for (std::size_t f = 2; f < 4; ++f) {
    const auto& written = spec.folders[f].messages;
    ASSERT_EQ(folders[f].message_count, 150);
    std::size_t unread = std::count_if(written.begin(), written.end(), [](const Message& m) {
      return (*m.flags & kFlagRead) == 0;
    });
    EXPECT_EQ(folders[f].message_unread, static_cast<int32_t>(unread));
    dbx::DbxFolderContents contents;
    ASSERT_EQ(Open(folders[f].folder_file, &contents).status.code(), 0);
    EXPECT_EQ(contents.info.internal_name, spec.folders[f].record.name);
    ASSERT_EQ(contents.messages.size(), written.size());
    for (std::size_t k = 0; k < written.size(); ++k) {
      const Message& m = written[report.folder_files[f].walk_order[k]];
      ExpectMessage(m, contents.messages[k]);
      EXPECT_EQ(Body(contents.messages[k].body_position).JoinedText(), m.text);
    }
  }
}

TEST_F(GeneratedStoreTest, BodiesPast16MiBAreFoundThroughTheDataArea) {
  StoreSpec spec;
  spec.folders = {UserFolder(100, "Big")};
  spec.folders[0].source = [](std::size_t position, Message& out) {
    if (position >= 34) return false;
    out.subject = "part " + std::to_string(position);
    out.text.assign(512 * 1024, static_cast<char>('A' + position % 26));
    out.flags = kFlagRead | kFlagDownloaded;
    return true;
  };
  StoreReport report = Write(spec);
  ASSERT_GT(report.folder_files[0].body_offsets.back(), 0xFFFFFFu);
  dbx::DbxFolderContents contents;
  ASSERT_EQ(Open("Big.dbx", &contents).status.code(), 0);
  ASSERT_EQ(contents.messages.size(), 34u);
  const dbx::DbxMessage& last = contents.messages.back();
  EXPECT_EQ(last.subject, "part 33");
  EXPECT_EQ(last.body_position, report.folder_files[0].body_offsets.back());
  dbx::DbxBody body = Body(last.body_position);
  EXPECT_EQ(body.segments.size(), 1024u);
  EXPECT_EQ(body.JoinedText(), std::string(512 * 1024, 'A' + 33 % 26));
}

}  // namespace
}  // namespace dbxgen::testing
