// The session: result codes of opening folder files and the folder list,
// the shared open-file slot, locking, and folders holding damaged records.
#include "reader/dbx/session.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/reader/dbx/dbx_image.h"

namespace dbx {
namespace {

namespace fs = std::filesystem;
using testing::DbxImage;
using testing::Direct;
using testing::Indirect;
using testing::Le64;
using testing::Sz;

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(TOLLAN_BINARY_DIR) / "tmp" /
           ("dbx_session_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    session_.set_store_directory(dir_.string());
  }
  void TearDown() override {
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(dir_);
  }
  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream out(dir_ / name, std::ios::binary);
    out << bytes;
  }

  // A folder file with two messages: subjects "One" (body 0x6000, "Hello")
  // and "Two" (no body).
  static DbxImage TwoMessages() {
    DbxImage image(kFolderFileKind);
    image.Put8(0x24C0, 3);
    image.PutBytes(0x25C1, Sz("Internal"));
    image.Put32(0x26D1, 42);
    image.SetRoot(0x5000);
    image.Node(0x5000, 0, {{0x3000, 0}, {0x3100, 0}});
    image.Record(0x3000, {Direct(0x04, 0x6000), Indirect(0x08, 0)}, Sz("One"));
    image.Record(0x3100, {Indirect(0x08, 0)}, Sz("Two"));
    image.Block(0x6000, 5, 0, "Hello");
    return image;
  }

  fs::path dir_;
  DbxSession session_;
};

TEST_F(SessionTest, OpensAFolderFileAndReadsBodiesFromTheSlot) {
  Write("Inbox.dbx", TwoMessages().bytes());
  DbxFolderContents c;
  DbxFolderOpen open = session_.OpenFolder("Inbox.dbx", false, &c);
  ASSERT_EQ(open.status.code(), 0) << open.status.ToString();
  EXPECT_EQ(open.file_size, TwoMessages().bytes().size());
  EXPECT_STREQ(c.info.SourceTypeName(), "LocalStore");
  EXPECT_EQ(c.info.internal_name, "Internal");
  EXPECT_EQ(c.info.session_number, 42);
  ASSERT_EQ(c.messages.size(), 2u);
  EXPECT_EQ(c.messages[0].subject, "One");
  EXPECT_EQ(c.messages[1].subject, "Two");

  DbxBody body;
  ASSERT_TRUE(session_.ReadBody(c.messages[0].body_position, &body).ok());
  EXPECT_EQ(body.JoinedText(), "Hello");
  DbxBody none;
  ASSERT_TRUE(session_.ReadBody(c.messages[1].body_position, &none).ok());
  EXPECT_FALSE(none.found);

  session_.CloseFile();
  DbxBody closed;
  EXPECT_EQ(session_.ReadBody(c.messages[0].body_position, &closed).code(), kErrorBadFile);
}

TEST_F(SessionTest, ResultCodesBeforeTheFileIsOpened) {
  Write("Inbox.dbx", TwoMessages().bytes());
  DbxFolderContents c;
  ASSERT_EQ(session_.OpenFolder("Inbox.dbx", false, &c).status.code(), 0);

  DbxFolderContents other;
  DbxFolderOpen open = session_.OpenFolder("", false, &other);
  EXPECT_EQ(open.status.code(), kResultNoFileName);
  EXPECT_FALSE(open.file_opened);
  open = session_.OpenFolder("Missing.dbx", false, &other);
  EXPECT_EQ(open.status.code(), kResultNotFound);
  open = session_.OpenFolder("../Inbox.dbx", false, &other);
  EXPECT_EQ(open.status.code(), kResultNotFound);
  // Neither touched the slot.
  EXPECT_TRUE(session_.file_open());
}

TEST_F(SessionTest, NamesMatchWithoutRegardToCaseAndWindowsSeparators) {
  Write("Inbox.dbx", TwoMessages().bytes());
  session_.set_store_directory(dir_.string() + "\\");
  DbxFolderContents c;
  EXPECT_EQ(session_.OpenFolder("INBOX.DBX", false, &c).status.code(), 0);
  EXPECT_EQ(c.messages.size(), 2u);
}

TEST_F(SessionTest, WrongKindIsRefusedAndTheSlotClosed) {
  DbxImage list(kFolderListKind);
  Write("Folders.dbx", list.bytes());
  DbxFolderContents c;
  c.info.internal_name = "earlier";
  DbxFolderOpen open = session_.OpenFolder("Folders.dbx", false, &c);
  EXPECT_EQ(open.status.code(), kResultWrongSignature);
  EXPECT_TRUE(open.file_opened);
  EXPECT_EQ(open.file_size, list.bytes().size());
  EXPECT_FALSE(open.contents_read);
  EXPECT_EQ(c.info.internal_name, "earlier");
  EXPECT_FALSE(session_.file_open());

  Write("short.dbx", "\xCF\xAD\x12\xFE");  // shorter than a header
  EXPECT_EQ(session_.OpenFolder("short.dbx", false, &c).status.code(), kResultWrongSignature);
  Write("empty.dbx", "");
  EXPECT_EQ(session_.OpenFolder("empty.dbx", false, &c).status.code(), kResultWrongSignature);
}

TEST_F(SessionTest, TheSlotHoldsOneFileForTheWholeSession) {
  DbxImage a = TwoMessages();
  DbxImage b = TwoMessages();
  b.Block(0x6000, 5, 0, "World");
  Write("A.dbx", a.bytes());
  Write("B.dbx", b.bytes());
  DbxFolderContents ca, cb;
  ASSERT_EQ(session_.OpenFolder("A.dbx", false, &ca).status.code(), 0);
  ASSERT_EQ(session_.OpenFolder("B.dbx", false, &cb).status.code(), 0);
  // A's message body is read at its offset in the file now open: B's.
  DbxBody body;
  ASSERT_TRUE(session_.ReadBody(ca.messages[0].body_position, &body).ok());
  EXPECT_EQ(body.JoinedText(), "World");
}

TEST_F(SessionTest, UnreadableBodyGivesResultAndFlagUntilTheNextOpen) {
  DbxImage image = TwoMessages();
  image.Record(0x3100, {Direct(0x04, 8), Indirect(0x08, 12)},
               std::string(8, '\0') + testing::Le32(12) + Sz("Two"));
  Write("Bad.dbx", image.bytes());
  Write("Good.dbx", TwoMessages().bytes());
  DbxFolderContents c;
  DbxFolderOpen open = session_.OpenFolder("Bad.dbx", false, &c);
  EXPECT_EQ(open.status.code(), kResultUnreadableBody);
  EXPECT_TRUE(open.contents_read);
  EXPECT_TRUE(session_.unreadable_message());
  EXPECT_TRUE(session_.file_open());
  ASSERT_EQ(c.messages.size(), 2u);
  EXPECT_TRUE(c.messages[1].body_unreadable);
  EXPECT_EQ(c.messages[1].subject, "Two");

  EXPECT_EQ(session_.OpenFolder("Good.dbx", false, &c).status.code(), 0);
  EXPECT_FALSE(session_.unreadable_message());
}

TEST_F(SessionTest, DamagedRecordsDoNotLoseTheFolder) {
  DbxImage image(kFolderFileKind);
  image.SetRoot(0x9000);
  std::vector<std::pair<uint32_t, uint32_t>> entries = {{0x3000, 0}, {0x3100, 0}, {0x3200, 0}};
  image.Node(0x9000, 0, entries, /*count=*/99);  // overfull node
  image.Record(0x3000, {Indirect(0x08, 0)}, Sz("Before"));
  // Unterminated sender name, a date in the year 30828 and one without a
  // calendar form.
  uint32_t data = image.Record(0x3100, {Indirect(0x02, 0), Indirect(0x06, 8),
                                        Indirect(0x08, 16), Indirect(0x0D, 0x1000)},
                               Le64(0x7FFFFFFFFFFFFFFF) + Le64(0xFFFFFFFFFFFFFFFF) +
                                   Sz("Hurt!"));
  image.PutBytes(data + 0x1000, std::string(9000, 'x'));
  image.Record(0x3200, {Indirect(0x08, 0)}, Sz("After"));
  Write("Damaged.dbx", image.bytes());

  DbxFolderContents c;
  DbxFolderOpen open = session_.OpenFolder("Damaged.dbx", false, &c);
  ASSERT_EQ(open.status.code(), 0) << open.status.ToString();
  // 52 usable entries: the three records, then 49 empty entries (record
  // offset 0, which fails the own-offset test: defaults).
  ASSERT_EQ(c.messages.size(), 52u);
  EXPECT_EQ(c.messages[0].subject, "Before");
  EXPECT_EQ(c.messages[1].subject, "Hurt!");
  EXPECT_EQ(c.messages[1].sender_name, std::string(8192, 'x'));
  EXPECT_EQ(c.messages[1].date_created, 0);
  EXPECT_EQ(c.messages[1].date_saved, 0);
  EXPECT_EQ(c.messages[2].subject, "After");
  EXPECT_FALSE(c.messages[3].decoded);
}

TEST_F(SessionTest, DenyReadLockRefusesOtherOpeners) {
  Write("Inbox.dbx", TwoMessages().bytes());
  DbxSession other;
  other.set_store_directory(dir_.string());
  DbxFolderContents c, d;
  ASSERT_EQ(session_.OpenFolder("Inbox.dbx", true, &c).status.code(), 0);
  EXPECT_EQ(other.OpenFolder("Inbox.dbx", false, &d).status.code(), kResultAccessDenied);
  EXPECT_EQ(other.OpenFolder("Inbox.dbx", true, &d).status.code(), kResultAccessDenied);
  session_.CloseFile();
  EXPECT_EQ(other.OpenFolder("Inbox.dbx", false, &d).status.code(), 0);
  // Plain readers do not refuse each other, but refuse a locking opener.
  EXPECT_EQ(session_.OpenFolder("Inbox.dbx", false, &c).status.code(), 0);
  EXPECT_EQ(session_.OpenFolder("Inbox.dbx", true, &c).status.code(), kResultAccessDenied);
}

TEST_F(SessionTest, UnreadableFileIsAccessDenied) {
  Write("Inbox.dbx", TwoMessages().bytes());
  DbxFolderContents c;
  // A file held with a lock by another opener is refused. (Permissions would
  // do too, but they do not bind root, under whom the tests may run.)
  std::unique_ptr<FileSource> holder;
  ASSERT_EQ(FileSource::Open((dir_ / "Inbox.dbx").string(), true, &holder).code(), kResultOk);
  EXPECT_EQ(session_.OpenFolder("Inbox.dbx", false, &c).status.code(), kResultAccessDenied);
  holder.reset();
  EXPECT_EQ(session_.OpenFolder("Inbox.dbx", false, &c).status.code(), kResultOk);
  if (::geteuid() != 0) {
    session_.CloseFile();
    ::chmod((dir_ / "Inbox.dbx").c_str(), 0);
    EXPECT_EQ(session_.OpenFolder("Inbox.dbx", false, &c).status.code(), kResultAccessDenied);
  }
}

TEST_F(SessionTest, OpenStoreResultCodes) {
  std::vector<DbxFolderRecord> folders;
  DbxSession nowhere;
  nowhere.set_store_directory((dir_ / "no-such-dir").string());
  EXPECT_EQ(nowhere.OpenStore(false, false, &folders).code(), kResultLookupFailed);
  EXPECT_EQ(session_.OpenStore(false, false, &folders).code(), kResultNotFound);

  Write("folders.dbx", TwoMessages().bytes());  // a folder file, not the list
  EXPECT_EQ(session_.OpenStore(false, false, &folders).code(), kResultWrongSignature);
  EXPECT_FALSE(session_.file_open());

  DbxImage list(kFolderListKind);
  list.SetRoot(0x5000);
  list.Node(0x5000, 0, {{0x3000, 0}});
  list.Record(0x3000, {Direct(0x06, 1), Indirect(0x02, 0)}, Sz("Inbox"));
  Write("folders.dbx", list.bytes());
  ASSERT_TRUE(session_.OpenStore(false, false, &folders).ok());
  ASSERT_EQ(folders.size(), 1u);
  EXPECT_EQ(folders[0].folder_name, "Inbox");
  EXPECT_FALSE(session_.file_open());
}

}  // namespace
}  // namespace dbx
