// Every outside reader (libpff's pypff and pffexport, libpst's readpst and
// lspst, pst-extractor) shows every written message as it was written, in
// folders and messages whose tables end at, just past and well past the end
// of a block: tests/oracles/pst_readers.py compares each reader's listing,
// message by message, with the expectation this test writes alongside.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/pst/check/check.h"
#include "platform/pst/pst_file.h"
#include "tests/platform/pst/messaging/expectation.h"

namespace pst {
namespace {

namespace fs = std::filesystem;

// Rows per block of each table (8176 bytes over the row size).
constexpr int kContentsRowsPerBlock = 67;     // 122-byte rows
constexpr int kHierarchyRowsPerBlock = 148;   // 55-byte rows
constexpr int kRecipientRowsPerBlock = 157;   // 52-byte rows
constexpr int kAttachmentRowsPerBlock = 327;  // 25-byte rows

constexpr uint64_t kFiletime2004 = 127200000000000000ull;  // 2004-01-28

std::u16string U16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

// Message i of a folder: its own subject, body, times and flags, and one
// small attachment, so a reader that mixes up rows shows the wrong ones.
MessageContent Numbered(const std::string& folder, int i) {
  const std::string n = std::to_string(i);
  MessageContent m;
  m.props = {MakeString(0x0037, U16("Message " + n + " of " + folder)),
             MakeString(0x1000, U16("Body of message " + n + "\r\nsecond line")),
             MakeString(0x0C1A, U16("Sender " + n)),
             MakeString(0x0C1F, U16("sender" + n + "@example.com")),
             MakeString(0x0042, U16("Sender " + n)),
             MakeString(0x0065, U16("sender" + n + "@example.com")),
             MakeTime(0x0039, kFiletime2004 + uint64_t(i) * 36000000000ull),
             MakeTime(0x0E06, kFiletime2004 + uint64_t(i) * 36000000000ull + 6000000000ull),
             MakeInt32(0x0E07, i % 2 ? 0x11 : 0x10)};
  AttachmentContent a;
  a.props = {MakeInt32(0x3705, 1), MakeString(0x3707, U16("file" + n + ".txt")),
             MakeBinary(0x3701, Bytes("attachment of message " + n))};
  m.attachments.push_back(std::move(a));
  return m;
}

RecipientContent Recipient(int type, const std::string& name) {
  RecipientContent r;
  r.props = {MakeInt32(0x0C15, type), MakeString(0x3001, U16(name)), MakeString(0x3002, u"SMTP"),
             MakeString(0x3003, U16(name + "@example.com")), MakeInt32(0x0FFE, 6)};
  return r;
}

// Sets the recipients and, as the mail import does, the display lists.
void SetRecipients(MessageContent* m, std::vector<RecipientContent> recipients) {
  std::u16string lists[2];
  for (const RecipientContent& r : recipients) {
    const int type = static_cast<int>(std::get<int64_t>(r.props[0].value));
    std::u16string& list = lists[type == 2];
    if (!list.empty()) list += u"; ";
    list += std::get<std::u16string>(r.props[1].value);
  }
  m->recipients = std::move(recipients);
  m->Set(MakeString(0x0E04, lists[0]));
  m->Set(MakeString(0x0E03, lists[1]));
}

class ReadersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(TOLLAN_BINARY_DIR) / "readers_test" /
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    path_ = (dir_ / "out.pst").string();
    ASSERT_TRUE(PstFile::Create(path_, "Readers", &pst_).ok());
    expected_ = std::make_unique<testing::ExpectationWriter>((dir_ / "expected.json").string());
  }

  FolderId Folder(FolderId parent, const std::string& name, const std::string& path) {
    FolderId f = 0;
    EXPECT_TRUE(pst_->AddFolder(parent, name, &f).ok()) << name;
    expected_->BeginFolder(path);
    return f;
  }
  void Add(FolderId folder, const MessageContent& m) {
    ASSERT_TRUE(pst_->AddMessage(folder, m).ok());
    expected_->Message(m);
  }
  void AddNumbered(FolderId parent, const std::string& name, int count) {
    FolderId f = Folder(parent, name, name);
    for (int i = 0; i < count; ++i) Add(f, Numbered(name, i));
  }

  // Closes the file, checks it and runs every reader over it.
  // `options`: further options of pst_readers.py (--except ...).
  void ExpectEveryReaderAgrees(const std::string& options = "") {
    ASSERT_TRUE(pst_->Close().ok());
    expected_->Close();
    check::Report r = check::CheckFile(path_);
    EXPECT_TRUE(r.ok()) << (r.problems.empty() ? r.fatal : r.problems[0].ToString());
    const fs::path oracles = fs::path(TOLLAN_SOURCE_DIR) / "tests" / "oracles";
    ASSERT_TRUE(fs::exists(oracles / "node_modules" / "pst-extractor")) << "run npm install in " << oracles;
    const std::string cmd = "/usr/bin/python3 '" + (oracles / "pst_readers.py").string() + "' --quiet " + options + " --dump '" +
                            (dir_ / "views").string() + "' '" + path_ + "' '" + (dir_ / "expected.json").string() +
                            "' 2>&1";
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    const int status = pclose(p);
    EXPECT_EQ(status, 0) << out;
    std::printf("%s", out.c_str());
  }

  fs::path dir_;
  std::string path_;
  std::unique_ptr<PstFile> pst_;
  std::unique_ptr<testing::ExpectationWriter> expected_;
};

TEST_F(ReadersTest, TablesAroundTheirBlockBoundaries) {
  const FolderId top = pst_->IpmSubtree();
  // Contents tables: one message, a full block, one and two rows past it,
  // and many blocks.
  for (int count : {1, kContentsRowsPerBlock, kContentsRowsPerBlock + 1, kContentsRowsPerBlock + 2, 1000}) {
    AddNumbered(top, "Folder of " + std::to_string(count), count);
  }
  // Hierarchy tables: a full block of subfolders, one more, three blocks.
  for (int count : {kHierarchyRowsPerBlock, kHierarchyRowsPerBlock + 1, 3 * kHierarchyRowsPerBlock}) {
    const std::string name = std::to_string(count) + " subfolders";
    FolderId parent = Folder(top, name, name);
    for (int i = 0; i < count; ++i) {
      FolderId sub = Folder(parent, "Sub " + std::to_string(i), name + "/Sub " + std::to_string(i));
      if (i % 50 == 0) Add(sub, Numbered("sub", i));
    }
  }
  // Recipient and attachment tables of single messages, likewise.
  FolderId wide = Folder(top, "Wide", "Wide");
  for (int count : {kRecipientRowsPerBlock, kRecipientRowsPerBlock + 1, 3 * kRecipientRowsPerBlock}) {
    MessageContent m = Numbered("Wide", count);
    std::vector<RecipientContent> recipients;
    for (int i = 0; i < count; ++i) recipients.push_back(Recipient(1 + i % 2, "Person " + std::to_string(i)));
    SetRecipients(&m, std::move(recipients));
    Add(wide, m);
  }
  auto with_attachments = [](int count) {
    MessageContent m = Numbered("Wide", count);
    for (int i = 1; i < count; ++i) {
      AttachmentContent a;
      a.props = {MakeInt32(0x3705, 1), MakeString(0x3707, U16("part" + std::to_string(i) + ".bin")),
                 MakeBinary(0x3701, Bytes("part " + std::to_string(i)))};
      m.attachments.push_back(std::move(a));
    }
    return m;
  };
  Add(wide, with_attachments(kAttachmentRowsPerBlock));
  Add(wide, with_attachments(kAttachmentRowsPerBlock + 1));
  // Three blocks of attachment rows. A message of more than 340 subnodes
  // has a two-level subnode tree, and libpst then shows none of its
  // attachments (338 attachments read, 340 do not), so readpst is left out.
  FolderId many = Folder(top, "Many attachments", "Many attachments");
  Add(many, with_attachments(3 * kAttachmentRowsPerBlock));
  ExpectEveryReaderAgrees("--except 'readpst:Many attachments'");
}

TEST_F(ReadersTest, EveryFieldOfAMessage) {
  FolderId f = Folder(pst_->IpmSubtree(), "Fields", "Fields");
  MessageContent m = Numbered("Fields", 7);
  m.Set(MakeString(0x0037, u"Caf\u00e9 \u4e2d\u6587 \U0001F600 grin"));  // an emoji beyond U+FFFF
  m.Set(MakeBinary(0x1013, Bytes("<html><body><p>Hello <b>there</b></p></body></html>")));
  m.props.push_back(MakeInt32(0x3FDE, 65001));
  SetRecipients(&m, {Recipient(1, "Ann To"), Recipient(2, "Ben Cc"), Recipient(1, "Cy To")});
  std::vector<uint8_t> big(100000);
  for (size_t k = 0; k < big.size(); ++k) big[k] = static_cast<uint8_t>(k * 31 + 7);
  AttachmentContent a;
  a.props = {MakeInt32(0x3705, 1), MakeString(0x3707, u"data.bin"), MakeBinary(0x3701, big)};
  m.attachments.push_back(std::move(a));
  AttachmentContent e;
  e.props = {MakeString(0x3001, u"Forwarded note")};
  e.embedded = std::make_unique<MessageContent>();
  e.embedded->props = {MakeString(0x0037, u"Forwarded note"), MakeString(0x1000, u"inner body"),
                       MakeString(0x0C1A, u"Inner Sender")};
  m.attachments.push_back(std::move(e));
  Add(f, m);
  MessageContent unread = Numbered("Fields", 8);
  unread.attachments.clear();
  unread.Set(MakeInt32(0x0E07, 0));
  Add(f, unread);
  ExpectEveryReaderAgrees();
}

TEST_F(ReadersTest, EmptyValues) {
  // An empty body, an empty recipient list and an attachment without bytes
  // are written as Outlook writes empty values (HNID 0, check_fixtures_test).
  // libpst reads a zero-length attachment value and then shows no attachment
  // (it does the same with a zero-length heap item), so readpst is left out.
  FolderId f = Folder(pst_->IpmSubtree(), "Empty", "Empty");
  MessageContent m = Numbered("Empty", 1);
  m.Set(MakeString(0x1000, u""));
  m.Set(MakeString(0x0E04, u""));
  m.attachments[0].props = {MakeInt32(0x3705, 1), MakeString(0x3707, u"empty.bin"), MakeBinary(0x3701, std::vector<uint8_t>{})};
  Add(f, m);
  ExpectEveryReaderAgrees("--except readpst:Empty");
}

TEST_F(ReadersTest, TenThousandMessagesInOneFolder) {
  // Slow (every reader lists and reads 10,000 messages): one test on its own.
  AddNumbered(pst_->IpmSubtree(), "Bulk", 10000);
  ExpectEveryReaderAgrees();
}

}  // namespace
}  // namespace pst
