// A table whose row matrix spans several blocks: the writer's padded blocks
// pass, and a block cut short after its last whole row (as files written
// before the padding was added have it) is named.
#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "platform/pst/check/check.h"
#include "platform/pst/check/ndb_checker.h"
#include "platform/pst/pst_file.h"
#include "tests/platform/pst/check/scratch_pst.h"

namespace pst::check {
namespace {

using testing::ScratchPst;

std::string Problems(const Report& r) {
  std::string out = r.fatal;
  for (const Problem& p : r.problems) out += "\n" + p.ToString();
  return out;
}

constexpr int kMessages = 100;

// A store with one folder of kMessages messages; returns its folder id.
FolderId WriteFolder(const std::string& path) {
  std::unique_ptr<PstFile> pst;
  EXPECT_TRUE(PstFile::Create(path, "Rows", &pst).ok());
  FolderId folder = 0;
  EXPECT_TRUE(pst->AddFolder(pst->IpmSubtree(), "Many", &folder).ok());
  for (int i = 0; i < kMessages; ++i) {
    MessageContent m;
    m.props = {MakeString(0x0037, u"Message " + std::u16string(1, static_cast<char16_t>(u'A' + i % 26)))};
    EXPECT_TRUE(pst->AddMessage(folder, m).ok());
  }
  EXPECT_TRUE(pst->Close().ok());
  return folder;
}

TEST(RowMatrixTest, PaddedBlocksPassAndAShortBlockIsNamed) {
  const std::string dir = std::string(TOLLAN_BINARY_DIR) + "/row_matrix_test";
  std::filesystem::create_directories(dir);
  const std::string written = dir + "/rows.pst";
  std::filesystem::remove(written);
  const FolderId folder = WriteFolder(written);
  Report clean = CheckFile(written);
  ASSERT_TRUE(clean.ok()) << Problems(clean);

  ScratchPst copy(written);
  Report ignored;
  std::string error;
  auto file = FileSource::Open(copy.path(), &error);
  ASSERT_NE(file, nullptr) << error;
  NdbChecker ndb(*file, &ignored);
  ASSERT_TRUE(ndb.ReadHeader());
  ndb.CheckAll();
  // The contents table's row matrix is the subnode held in an XBLOCK.
  const NodeEntry* contents = ndb.FindNode((folder & ~0x1Fu) | 0x0E);
  ASSERT_NE(contents, nullptr);
  std::map<uint32_t, Subnode> subnodes;
  ASSERT_TRUE(ndb.ReadSubnodes(contents->bid_sub, &subnodes));
  const BlockEntry* xblock = nullptr;
  for (const auto& [nid, sub] : subnodes) {
    if (sub.bid_data & 0x2) xblock = ndb.FindBlock(sub.bid_data);
  }
  ASSERT_NE(xblock, nullptr);
  ASSERT_EQ(copy.U16(xblock->ib + 2), 2) << "the matrix should span two blocks";
  const BlockEntry* first = ndb.FindBlock(copy.U64(xblock->ib + 8));
  ASSERT_NE(first, nullptr);
  ASSERT_EQ(first->cb, 8176);

  // The row size, from the stream's length: 8176 + (rows - rows per block) * size.
  const uint32_t total = copy.U32(xblock->ib + 4);
  uint32_t row_size = 0;
  for (uint32_t rs = 1; rs < 8176 && row_size == 0; ++rs) {
    const uint32_t per = 8176 / rs;
    if (per < kMessages && 8176 + (kMessages - per) * rs == total) row_size = rs;
  }
  ASSERT_NE(row_size, 0u);
  const uint16_t unpadded = static_cast<uint16_t>(8176 / row_size * row_size);
  ASSERT_LT(unpadded, 8176) << "rows fill the block exactly; nothing to cut";

  // Cut the first block after its last whole row: its trailer, its entry in
  // the block B-tree, the XBLOCK's total and the checksums.
  copy.PutU16(first->ib + 8192 - 16, unpadded);
  copy.FixBlockCrc(first->ib, unpadded);
  std::vector<uint8_t> key(16);
  for (int i = 0; i < 8; ++i) {
    key[i] = static_cast<uint8_t>(first->bid >> (8 * i));
    key[8 + i] = static_cast<uint8_t>(first->ib >> (8 * i));
  }
  const std::vector<uint8_t> all = copy.Read(0, std::filesystem::file_size(copy.path()));
  auto entry = std::search(all.begin(), all.end(), key.begin(), key.end());
  ASSERT_NE(entry, all.end());
  const uint64_t at = static_cast<uint64_t>(entry - all.begin());
  copy.PutU16(at + 16, unpadded);
  copy.FixPageCrc(at / 512 * 512);
  copy.PutU32(xblock->ib + 4, total - (8176 - unpadded));
  copy.FixBlockCrc(xblock->ib, xblock->cb);

  Report r = CheckFile(copy.path());
  ASSERT_FALSE(r.ok());
  EXPECT_TRUE(r.Mentions("row matrix block 0 of 2 holds " + std::to_string(unpadded) +
                         " bytes; every block but the last must be padded to 8176 bytes"))
      << Problems(r);
  EXPECT_EQ(r.problems.size(), 1u) << Problems(r);
}

}  // namespace
}  // namespace pst::check
