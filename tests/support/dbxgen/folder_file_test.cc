// Folder files: header, folder info, records, body chains, index and the
// damaged variants, read back byte by byte.
#include "tests/support/dbxgen/folder_file.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <functional>

#include "tests/support/dbxgen/filetime.h"
#include "tests/support/dbxgen/layout.h"
#include "tests/support/dbxgen/test_bytes.h"

namespace dbxgen {
namespace {

using testing::CString;
using testing::FindEntry;
using testing::U32;
using testing::U64;
using testing::U8;

class FolderFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("dbxgen-folder-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // Writes `messages` and returns the file's bytes.
  std::string Write(const std::vector<Message>& messages, FolderFileOptions options = {}) {
    auto writer = FolderFileWriter::Create(dir_ / "Inbox.dbx", options);
    EXPECT_TRUE(writer.ok());
    for (const Message& m : messages) {
      Status added = writer.value()->Add(m);
      EXPECT_TRUE(added.ok()) << added.message();
    }
    auto report = writer.value()->Finish();
    EXPECT_TRUE(report.ok()) << report.status().message();
    report_ = report.value();
    return testing::ReadAll(dir_ / "Inbox.dbx");
  }

  // The text of a body chain, followed for at most `limit` blocks.
  static std::string Chain(const std::string& f, uint32_t at, std::size_t limit = 1000) {
    std::string text;
    for (std::size_t n = 0; at != 0 && n < limit; ++n) {
      EXPECT_EQ(U32(f, at), at);
      EXPECT_EQ(U32(f, at + 4), 512u);
      uint32_t used = U32(f, at + 8);
      text += f.substr(at + 16, std::min<uint32_t>(used, 512));
      at = U32(f, at + 12);
    }
    return text;
  }

  static Message Sample(std::size_t size) {
    Message m;
    m.flags = kFlagRead | kFlagDownloaded;
    m.subject = "Quarterly report";
    m.sender_name = "Alice";
    m.date_received = FileTimeFromCivil(2003, 1, 1, 12, 34, 56, 789);
    m.text.resize(size);
    for (std::size_t i = 0; i < size; ++i) m.text[i] = static_cast<char>('a' + i % 26);
    return m;
  }

  std::filesystem::path dir_;
  FolderFileReport report_;
};

TEST_F(FolderFileTest, HeaderAndFolderInfoLookLikeOutlookExpress) {
  FolderFileOptions options;
  options.internal_name = "Inbox";
  options.session_number = 0x01020304;
  std::string f = Write({}, options);
  ASSERT_GE(f.size(), kHeaderSize + kFolderInfoLength);
  EXPECT_EQ(f.substr(0, 8), std::string("\xCF\xAD\x12\xFE\xC5\xFD\x74\x6F", 8));
  EXPECT_EQ(U32(f, 0xE4), 0u);  // empty index
  EXPECT_EQ(U32(f, 0x1C), kFolderInfoLength);
  EXPECT_EQ(U8(f, 0x24C0), 3);
  EXPECT_EQ(CString(f, 0x24C1), "LocalStore");
  EXPECT_EQ(CString(f, 0x25C1), "Inbox");
  EXPECT_EQ(U32(f, 0x26D1), 0x01020304u);
}

TEST_F(FolderFileTest, RecordsCarryEveryFieldAndPointAtTheirBodyChain) {
  Message m = Sample(1300);
  m.segment_lengths = {512, 512, 276};
  m.priority = 5;
  m.lines = 21;
  m.extra_flags = 0x88;
  std::string f = Write({m});
  ASSERT_EQ(report_.record_offsets.size(), 1u);
  uint32_t r = report_.record_offsets[0];
  EXPECT_EQ(U32(f, r), r);
  EXPECT_EQ(U32(f, 0xC4), 1u);

  auto flags = FindEntry(f, r, 0x01);
  ASSERT_FALSE(flags.direct);  // 0x01000080 needs more than 24 bits
  EXPECT_EQ(U32(f, flags.data_offset), 0x01000080u);
  auto subject = FindEntry(f, r, 0x08);
  EXPECT_EQ(CString(f, subject.data_offset), "Quarterly report");
  auto received = FindEntry(f, r, 0x12);
  EXPECT_EQ(U64(f, received.data_offset), FileTimeFromCivil(2003, 1, 1, 12, 34, 56, 789));
  EXPECT_EQ(FindEntry(f, r, 0x10).value, 5u);
  EXPECT_EQ(FindEntry(f, r, 0x03).value, 21u);
  EXPECT_EQ(FindEntry(f, r, 0x11).value, 1300u);
  EXPECT_EQ(FindEntry(f, r, 0x00).value, 1u);
  auto extra = FindEntry(f, r, 0x1C);
  EXPECT_FALSE(extra.direct);
  EXPECT_EQ(U32(f, extra.data_offset), 0x88u);

  auto body = FindEntry(f, r, 0x04);
  ASSERT_TRUE(body.direct);
  EXPECT_EQ(body.value, report_.body_offsets[0]);
  EXPECT_EQ(U32(f, body.value + 8), 512u);
  EXPECT_EQ(U32(f, body.value + 528 + 528 + 8), 276u);
  EXPECT_EQ(Chain(f, body.value), m.text);
}

TEST_F(FolderFileTest, IndexDeliversEveryRecordAndReportsTheFolderFileWalk) {
  std::vector<Message> messages(40, Sample(700));
  FolderFileOptions options;
  options.tree.fan_out = 3;
  std::string f = Write(messages, options);
  EXPECT_GE(report_.tree_depth, 3u);
  // Walk the written nodes in folder-file order.
  std::vector<uint32_t> seen;
  std::function<void(uint32_t)> walk = [&](uint32_t node) {
    ASSERT_EQ(U32(f, node), node);
    if (U32(f, node + 8)) walk(U32(f, node + 8));
    for (uint8_t i = 0; i < U8(f, node + 0x11); ++i) {
      uint32_t child = U32(f, node + 24 + 12 * i + 4);
      if (child) walk(child);
      seen.push_back(U32(f, node + 24 + 12 * i));
    }
  };
  walk(U32(f, 0xE4));
  ASSERT_EQ(seen.size(), 40u);
  for (std::size_t k = 0; k < seen.size(); ++k) {
    EXPECT_EQ(seen[k], report_.record_offsets[report_.walk_order[k]]);
  }
}

TEST_F(FolderFileTest, BodyPositionsInTheDataAreaAndShiftedRecords) {
  Message via = Sample(600);
  via.body_position_in_data_area = 12;
  Message shifted = Sample(100);
  shifted.shifted_record = true;
  std::string f = Write({via, shifted});
  uint32_t r = report_.record_offsets[0];
  auto body = FindEntry(f, r, 0x04);
  EXPECT_TRUE(body.direct);
  EXPECT_EQ(body.value, 12u);
  uint64_t data = r + 12 + 4 * U8(f, r + 10);
  EXPECT_EQ(U32(f, data + 12), report_.body_offsets[0]);

  uint32_t s = report_.record_offsets[1];
  EXPECT_NE(U32(f, s), s);
  EXPECT_EQ(U32(f, s + 2), s);
  EXPECT_EQ(CString(f, FindEntry(f, s + 2, 0x08).data_offset), "Quarterly report");
}

TEST_F(FolderFileTest, BodiesOutgrowing24BitsAreKeptInTheDataArea) {
  // 16 MiB of bodies push the last body past 24-bit positions.
  std::vector<Message> messages(33, Sample(512 * 1024));
  std::string f = Write(messages);
  uint32_t r = report_.record_offsets.back();
  ASSERT_GT(report_.body_offsets.back(), 0xFFFFFFu);
  auto body = FindEntry(f, r, 0x04);
  EXPECT_FALSE(body.direct);
  EXPECT_EQ(U32(f, body.data_offset), report_.body_offsets.back());
}

TEST_F(FolderFileTest, MessageDamage) {
  std::vector<Message> m(6, Sample(1100));
  m[0].damage.bad_own_offset = true;
  m[1].damage.cyclic_body_chain = true;
  m[2].damage.unterminated_subject = true;
  m[3].damage.unrepresentable_dates = true;
  m[4].damage.overlong_last_segment = true;
  m[5].damage.unreadable_body_position = 8;
  std::string f = Write(m);
  const auto& at = report_.record_offsets;

  EXPECT_NE(U32(f, at[0]), at[0]);
  EXPECT_NE(U32(f, at[0] + 2), at[0]);

  uint32_t first = report_.body_offsets[1];
  EXPECT_EQ(U32(f, first + 2 * 528 + 12), first);

  auto subject = FindEntry(f, at[2], 0x08);
  std::string window = f.substr(subject.data_offset, kMessageTextWindow);
  EXPECT_EQ(window.find('\0'), std::string::npos);
  EXPECT_EQ(StoredSubject(m[2]).substr(0, 16), "Quarterly report");

  EXPECT_TRUE(FindEntry(f, at[3], 0x02).direct);
  EXPECT_EQ(U64(f, FindEntry(f, at[3], 0x06).data_offset), ~uint64_t{0});
  EXPECT_EQ(U64(f, FindEntry(f, at[3], 0x12).data_offset), UnrepresentableReceivedDate());

  EXPECT_EQ(U32(f, report_.body_offsets[4] + 2 * 528 + 8), 600u);

  auto body = FindEntry(f, at[5], 0x04);
  EXPECT_EQ(body.value, 8u);
  EXPECT_EQ(U32(f, at[5] + 12 + 4 * U8(f, at[5] + 10) + 8), 8u);
}

TEST_F(FolderFileTest, FileDamage) {
  std::vector<Message> messages(52, Sample(10));
  FolderFileOptions options;
  options.tree.fan_out = 52;
  options.damage.overfull_node = true;
  options.damage.cyclic_tree = true;
  options.damage.wrong_signature = true;
  options.damage.kind = kFolderListKind;
  std::string f = Write(messages, options);
  EXPECT_EQ(U32(f, 0), kSignature - 1);
  EXPECT_EQ(U32(f, 4), kFolderListKind);
  uint32_t root = U32(f, 0xE4);
  EXPECT_EQ(U8(f, root + 0x11), 60);
  EXPECT_EQ(U32(f, root + 8), root);  // the only node is its own first child

  options = {};
  options.damage.root_into_node = true;
  options.damage.cut_tail = 100;
  f = Write(std::vector<Message>(3, Sample(10)), options);
  EXPECT_EQ(f.size(), report_.file_size);
  EXPECT_EQ(U32(f, U32(f, 0xE4) - 12), U32(f, 0xE4) - 12);  // a node starts 12 bytes before

  options = {};
  options.damage.truncate_to = 4096;
  f = Write(std::vector<Message>(3, Sample(10)), options);
  EXPECT_EQ(f.size(), 4096u);
}

TEST_F(FolderFileTest, OverfullDamageWithoutAFullNodeFailsAndLeavesNoFile) {
  FolderFileOptions options;
  options.damage.overfull_node = true;
  auto writer = FolderFileWriter::Create(dir_ / "Bad.dbx", options);
  ASSERT_TRUE(writer.ok());
  ASSERT_TRUE(writer.value()->Add(Sample(10)).ok());
  auto report = writer.value()->Finish();
  EXPECT_FALSE(report.ok());
  writer.value().reset();
  EXPECT_FALSE(std::filesystem::exists(dir_ / "Bad.dbx"));
  EXPECT_TRUE(std::filesystem::is_empty(dir_));
}

TEST_F(FolderFileTest, SegmentLengthsMustFitTheBlocksAndTheText) {
  auto writer = FolderFileWriter::Create(dir_ / "Bad.dbx", {});
  ASSERT_TRUE(writer.ok());
  Message m = Sample(600);
  m.segment_lengths = {600};
  EXPECT_FALSE(writer.value()->Add(m).ok());
  m.segment_lengths = {512, 10};
  auto second = FolderFileWriter::Create(dir_ / "Bad2.dbx", {});
  ASSERT_TRUE(second.ok());
  Status status = second.value()->Add(m);
  EXPECT_FALSE(status.ok());
  EXPECT_NE(status.message().find("do not add up"), std::string::npos);
}

}  // namespace
}  // namespace dbxgen
