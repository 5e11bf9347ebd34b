// Folder records and the folder list: values, the active filter, list order
// and damaged records.
#include <gtest/gtest.h>

#include "reader/dbx/folder_list.h"
#include "reader/dbx/folder_record.h"
#include "tests/reader/dbx/dbx_image.h"

namespace dbx {
namespace {

using testing::DbxImage;
using testing::Direct;
using testing::Indirect;
using testing::Le32;
using testing::Sz;

DbxFolderRecord Decode(DbxImage& image, uint32_t at) {
  MemorySource source(image.bytes());
  DbxFolderRecord f;
  DbxStatus s = DecodeFolderRecord(source, at, &f);
  EXPECT_TRUE(s.ok()) << s.ToString();
  return f;
}

TEST(FolderRecordTest, DecodesEveryStoredValue) {
  DbxImage image(kFolderListKind);
  image.Record(0x3000,
               {Direct(0x00, 5), Direct(0x01, 0), Indirect(0x02, 0), Indirect(0x03, 6),
                Direct(0x06, 0x11), Direct(0x07, 12), Direct(0x08, 3)},
               Sz("Inbox") + Sz("Inbox.dbx"));
  DbxFolderRecord f = Decode(image, 0x3000);
  EXPECT_EQ(f.folder_index, 5);
  EXPECT_EQ(f.parent_index, 0);
  EXPECT_EQ(f.folder_name, "Inbox");
  EXPECT_EQ(f.folder_file, "Inbox.dbx");
  EXPECT_TRUE(f.is_active);
  EXPECT_TRUE(f.has_subfolders);
  EXPECT_EQ(f.message_count, 12);
  EXPECT_EQ(f.message_unread, 3);
}

TEST(FolderRecordTest, IndirectNumbersAreWholeSignedWords) {
  DbxImage image(kFolderListKind);
  image.Record(0x3000, {Indirect(0x07, 0), Indirect(0x01, 4), Direct(0x02, 0x77654E)},
               Le32(20000000) + Le32(0xFFFFFFFF));
  DbxFolderRecord f = Decode(image, 0x3000);
  EXPECT_EQ(f.message_count, 20000000);
  EXPECT_EQ(f.parent_index, -1);
  EXPECT_EQ(f.folder_name, "New");  // direct text 4E 65 77
}

TEST(FolderRecordTest, FlagsAreOnlyEverSet) {
  DbxImage image(kFolderListKind);
  image.Record(0x3000, {Direct(0x06, 0x01), Direct(0x06, 0x10), Direct(0x06, 0x00)});
  DbxFolderRecord f = Decode(image, 0x3000);
  EXPECT_TRUE(f.is_active);
  EXPECT_TRUE(f.has_subfolders);
}

TEST(FolderRecordTest, UnterminatedNameIsCutAtTwoHundredFiftyFiveBytes) {
  DbxImage image(kFolderListKind);
  image.Record(0x3000, {Indirect(0x02, 0), Direct(0x00, 7)}, std::string(300, 'N') + Sz(""));
  DbxFolderRecord f = Decode(image, 0x3000);
  EXPECT_EQ(f.folder_name, std::string(255, 'N'));
  EXPECT_TRUE(f.damage & kDamageUnterminatedText);
  EXPECT_EQ(f.folder_index, 7);
}

// A folder list whose root holds records 1 (child -> 2) and 3, first child 0.
DbxImage FolderList(bool third_active) {
  DbxImage image(kFolderListKind);
  image.SetRoot(0x5000);
  image.Node(0x5000, 0x5400, {{0x3100, 0x5800}, {0x3200, 0}});
  image.Node(0x5400, 0, {{0x3000, 0}, {0, 0}});  // an entry without a record
  image.Node(0x5800, 0, {{0x3300, 0}});
  image.Record(0x3000, {Direct(0x00, 0), Direct(0x01, 0xFFFFFF), Indirect(0x02, 0)},
               Sz("Outlook Express"));
  image.Record(0x3100, {Direct(0x00, 1), Direct(0x06, 1), Indirect(0x02, 0)}, Sz("Local"));
  image.Record(0x3200, {Direct(0x00, 2), Direct(0x06, third_active ? 1 : 0),
                        Indirect(0x02, 0)},
               Sz("outlook express"));
  image.Record(0x3300, {Direct(0x00, 3), Direct(0x01, 1), Direct(0x06, 1), Indirect(0x02, 0)},
               Sz("Child"));
  return image;
}

std::vector<std::string> Names(const std::vector<DbxFolderRecord>& folders) {
  std::vector<std::string> names;
  for (const DbxFolderRecord& f : folders) names.push_back(f.folder_name);
  return names;
}

TEST(FolderListTest, ListsInIndexOrderAndDropsInactiveFolders) {
  DbxImage image = FolderList(false);
  MemorySource source(image.bytes());
  std::vector<DbxFolderRecord> folders;
  ASSERT_TRUE(ReadFolderList(source, false, &folders).ok());
  // The root folder is kept although inactive; "outlook express" in other
  // letter case is not the root folder and is dropped.
  EXPECT_EQ(Names(folders), (std::vector<std::string>{"Outlook Express", "Local", "Child"}));
  EXPECT_EQ(ParentFolderName(folders, folders[2].parent_index), "Local");
  EXPECT_EQ(ParentFolderName(folders, 0xFFFFFF), "");
  EXPECT_EQ(ParentFolderName(folders, -1), "");

  folders.clear();
  ASSERT_TRUE(ReadFolderList(source, true, &folders).ok());
  EXPECT_EQ(Names(folders),
            (std::vector<std::string>{"Outlook Express", "Local", "Child", "outlook express"}));
}

TEST(FolderListTest, RejectsFilesOfOtherKinds) {
  DbxImage image = FolderList(true);
  image.Put32(4, kFolderFileKind);
  MemorySource source(image.bytes());
  std::vector<DbxFolderRecord> folders;
  EXPECT_EQ(ReadFolderList(source, true, &folders).code(), kResultWrongSignature);
  image.Put32(4, 0x6F74FDC7);
  MemorySource other(image.bytes());
  EXPECT_EQ(ReadFolderList(other, true, &folders).code(), kResultWrongSignature);
  EXPECT_TRUE(folders.empty());
}

}  // namespace
}  // namespace dbx
