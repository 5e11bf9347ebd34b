// The folder list and whole stores: standard folders, counts taken from the
// folder files, record forms and damage.
#include "tests/support/dbxgen/folder_list.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include "tests/support/dbxgen/layout.h"
#include "tests/support/dbxgen/store.h"
#include "tests/support/dbxgen/test_bytes.h"

namespace dbxgen {
namespace {

using testing::CString;
using testing::FindEntry;
using testing::U32;
using testing::U8;

class FolderListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("dbxgen-list-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::filesystem::path dir_;
};

TEST_F(FolderListTest, StandardStoreHasTheUsualFoldersAndCountsFromTheFiles) {
  StoreSpec spec;
  spec.folders = StandardFolders();
  Message read;
  read.flags = kFlagRead;
  read.text = "Subject: x\r\n\r\nbody\r\n";
  Message unread = read;
  unread.flags = 0;
  spec.folders[2].messages = {read, unread, unread};
  auto report = WriteStore(dir_, spec);
  ASSERT_TRUE(report.ok()) << report.status().message();

  for (const char* name : {"Folders.dbx", "Inbox.dbx", "Outbox.dbx", "Sent Items.dbx",
                           "Deleted Items.dbx", "Drafts.dbx"}) {
    EXPECT_TRUE(std::filesystem::exists(dir_ / name)) << name;
  }
  std::string f = testing::ReadAll(dir_ / "Folders.dbx");
  EXPECT_EQ(U32(f, 0), kSignature);
  EXPECT_EQ(U32(f, 4), kFolderListKind);
  EXPECT_EQ(U32(f, 0xC4), 7u);
  const auto& at = report->folder_list.record_offsets;
  ASSERT_EQ(at.size(), 7u);

  // The root: parent -1 kept in the data area, no number field (0).
  auto parent = FindEntry(f, at[0], 0x01);
  EXPECT_FALSE(parent.direct);
  EXPECT_EQ(U32(f, parent.data_offset), kNoParent);
  EXPECT_EQ(FindEntry(f, at[0], 0x00).index, 0xFF);
  EXPECT_EQ(CString(f, FindEntry(f, at[0], 0x02).data_offset), "Outlook Express");
  EXPECT_EQ(U32(f, FindEntry(f, at[0], 0x06).data_offset) & kFolderActive, 0u);

  EXPECT_EQ(CString(f, FindEntry(f, at[1], 0x05).data_offset), "LocalStore");

  // Inbox: number 4 below Local Folders, its file and the counts written.
  EXPECT_EQ(FindEntry(f, at[2], 0x00).value, 4u);
  EXPECT_EQ(FindEntry(f, at[2], 0x01).value, 1u);
  EXPECT_EQ(CString(f, FindEntry(f, at[2], 0x03).data_offset), "Inbox.dbx");
  EXPECT_EQ(FindEntry(f, at[2], 0x06).value, kFolderActive);
  EXPECT_EQ(FindEntry(f, at[2], 0x07).value, 3u);
  EXPECT_EQ(FindEntry(f, at[2], 0x08).value, 2u);
  EXPECT_EQ(FindEntry(f, at[2], 0x09).value, 1u);
  // An empty folder has no count fields.
  EXPECT_EQ(FindEntry(f, at[3], 0x07).index, 0xFF);

  EXPECT_EQ(report->folder_list.walk_order, (std::vector<std::size_t>{0, 1, 2, 3, 4, 5, 6}));
  std::string inbox = testing::ReadAll(dir_ / "Inbox.dbx");
  EXPECT_EQ(CString(inbox, 0x25C1), "Inbox");
}

TEST_F(FolderListTest, LargeCountsAndUnterminatedNames) {
  FolderRecord big;
  big.id = 5;
  big.name = "Archive";
  big.message_count = 20000000;
  FolderRecord broken;
  broken.id = 6;
  broken.name = "Broken";
  broken.unterminated_name = true;
  std::filesystem::create_directories(dir_);
  auto report = WriteFolderList(dir_, {big, broken}, {});
  ASSERT_TRUE(report.ok());
  std::string f = testing::ReadAll(dir_ / "Folders.dbx");
  auto count = FindEntry(f, report->record_offsets[0], 0x07);
  EXPECT_FALSE(count.direct);
  EXPECT_EQ(U32(f, count.data_offset), 20000000u);
  auto name = FindEntry(f, report->record_offsets[1], 0x02);
  EXPECT_EQ(f.substr(name.data_offset, kFolderTextWindow).find('\0'), std::string::npos);
  EXPECT_EQ(StoredFolderName(broken).substr(0, 6), "Broken");
}

TEST_F(FolderListTest, AFailedFolderLeavesNoFilesBehind) {
  StoreSpec spec;
  spec.folders = StandardFolders();
  spec.folders[2].messages.resize(2);
  spec.folders[3].file.tree.fan_out = 99;  // Outbox cannot be written
  spec.folders[3].messages.resize(1);
  auto report = WriteStore(dir_, spec);
  ASSERT_FALSE(report.ok());
  EXPECT_NE(report.status().message().find("Outbox"), std::string::npos);
  EXPECT_TRUE(std::filesystem::is_empty(dir_));
}

TEST_F(FolderListTest, StreamedMessagesComeAfterHeldOnes) {
  StoreSpec spec;
  spec.folders = {UserFolder(100, "Projects")};
  spec.folders[0].messages.resize(2);
  spec.folders[0].source = [](std::size_t position, Message& out) {
    if (position >= 5) return false;
    out.subject = "streamed " + std::to_string(position);
    return true;
  };
  auto report = WriteStore(dir_, spec);
  ASSERT_TRUE(report.ok());
  EXPECT_EQ(report->folder_files[0].message_count, 5u);
  std::string f = testing::ReadAll(dir_ / "Projects.dbx");
  uint32_t r = report->folder_files[0].record_offsets[4];
  EXPECT_EQ(CString(f, FindEntry(f, r, 0x08).data_offset), "streamed 4");
  EXPECT_EQ(FindEntry(f, r, 0x00).value, 5u);
}

}  // namespace
}  // namespace dbxgen
