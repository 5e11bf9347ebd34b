// The checker accepts the Outlook-written fixtures without a single problem,
// and reports files it cannot check at all as fatal.
#include <fstream>

#include <gtest/gtest.h>

#include "platform/pst/check/check.h"
#include "platform/pst/check/ltp.h"
#include "platform/pst/check/ndb_checker.h"
#include "platform/pst/check/source.h"
#include "tests/platform/pst/check/scratch_pst.h"

namespace pst::check {
namespace {

using testing::FixturePath;

std::string Problems(const Report& r) {
  std::string out = r.fatal;
  for (const Problem& p : r.problems) out += "\n" + p.ToString();
  return out;
}

class FixtureTest : public ::testing::TestWithParam<const char*> {};

TEST_P(FixtureTest, OutlookFileIsSound) {
  Report r = CheckFile(FixturePath(GetParam()), CheckOptions{true});
  EXPECT_TRUE(r.ok()) << Problems(r);
  EXPECT_GT(r.stats.nodes, 40u);
  EXPECT_GT(r.stats.blocks, 40u);
  EXPECT_GE(r.stats.folders, 5u);
  EXPECT_GE(r.stats.messages, 1u);
  EXPECT_EQ(r.stats.amaps, (r.stats.file_size - 0x4400) / 253952);
  ASSERT_FALSE(r.tree.empty());
  EXPECT_EQ(r.tree[0].rfind("folder 0x122", 0), 0u) << r.tree[0];
  EXPECT_EQ(r.Summary().rfind("ok: ", 0), 0u);
}

INSTANTIATE_TEST_SUITE_P(RealPst, FixtureTest,
                         ::testing::Values("new-store-small.pst", "outlook-sample.pst",
                                           "sample-one-message.pst"));

TEST(FixtureTest, CountsMatchTheKnownContents) {
  Report r = CheckFile(FixturePath("outlook-sample.pst"));
  ASSERT_TRUE(r.ok()) << Problems(r);
  EXPECT_EQ(r.stats.nodes, 107u);
  EXPECT_EQ(r.stats.blocks, 200u);
  EXPECT_EQ(r.stats.messages, 13u);
  EXPECT_EQ(r.stats.folders, 17u);
  EXPECT_EQ(r.stats.search_folders, 2u);
}

// What Outlook writes for an empty variable-size value in a property
// context: HNID 0, no heap item (the writer does the same, ltp_test).
TEST(FixtureTest, OutlookWritesEmptyValuesAsHnidZero) {
  int empty = 0;
  for (const char* name : {"new-store-small.pst", "outlook-sample.pst", "sample-one-message.pst"}) {
    std::string error;
    std::unique_ptr<FileSource> file = FileSource::Open(FixturePath(name), &error);
    ASSERT_TRUE(file) << error;
    Report report;
    NdbChecker ndb(*file, &report);
    ASSERT_TRUE(ndb.ReadHeader());
    ndb.CheckAll();
    std::vector<std::pair<uint64_t, uint64_t>> contexts;  // data and subnode trees
    for (const auto& [nid, node] : ndb.nodes()) contexts.emplace_back(node.bid_data, node.bid_sub);
    for (size_t i = 0; i < contexts.size(); ++i) {
      Heap heap;
      std::vector<BthRecord> records;
      if (!heap.Load(ndb, contexts[i].first, contexts[i].second, &error) || heap.client_sig() != 0xBC ||
          !ReadBth(heap, heap.user_root(), 2, 6, &records, &error)) {
        continue;
      }
      for (const auto& [snid, sub] : heap.subnodes()) contexts.emplace_back(sub.bid_data, sub.bid_sub);
      for (const BthRecord& r : records) {
        const uint16_t type = static_cast<uint16_t>(r.data[0] | r.data[1] << 8);
        const uint32_t hnid = r.data[2] | r.data[3] << 8 | r.data[4] << 16 | uint32_t{r.data[5]} << 24;
        if (type != 0x001F && type != 0x0102) continue;
        Bytes value;
        ASSERT_TRUE(heap.GetHnid(hnid, 1 << 20, &value, &error)) << name << ": " << error;
        if (value.empty()) {
          EXPECT_EQ(hnid, 0u) << name;
          ++empty;
        }
      }
    }
  }
  EXPECT_EQ(empty, 99);  // strings, and one binary value of an attachment
}

TEST(UnusableFileTest, MissingFileIsFatal) {
  Report r = CheckFile("/nonexistent/dir/none.pst");
  EXPECT_FALSE(r.ok());
  EXPECT_NE(r.fatal.find("cannot open"), std::string::npos) << r.fatal;
}

TEST(UnusableFileTest, TextFileIsNotAPst) {
  testing::ScratchPst copy(FixturePath("new-store-small.pst"));
  copy.Write(0, {'h', 'e', 'l', 'l', 'o'});
  Report r = CheckFile(copy.path());
  EXPECT_NE(r.fatal.find("not a PST"), std::string::npos) << r.fatal;
}

TEST(UnusableFileTest, AnsiFileIsRefused) {
  testing::ScratchPst copy(FixturePath("new-store-small.pst"));
  copy.PutU16(10, 14);
  Report r = CheckFile(copy.path());
  EXPECT_NE(r.fatal.find("ANSI"), std::string::npos) << r.fatal;
}

TEST(UnusableFileTest, ShortFileIsNotAPst) {
  testing::ScratchPst copy(FixturePath("new-store-small.pst"));
  copy.Resize(100);
  EXPECT_NE(CheckFile(copy.path()).fatal.find("shorter"), std::string::npos);
}

TEST(UnicodeTest, ChecksLengthAndSurrogates) {
  EXPECT_EQ(CheckUnicode({'a', 0, 'b', 0}), "");
  EXPECT_EQ(CheckUnicode({0x3D, 0xD8, 0x00, 0xDE}), "");   // U+1F600 as a pair
  EXPECT_NE(CheckUnicode({'a', 0, 'b'}), "");
  EXPECT_NE(CheckUnicode({0x3D, 0xD8, 'a', 0}), "");
  EXPECT_NE(CheckUnicode({0x00, 0xDE}), "");
}

}  // namespace
}  // namespace pst::check
