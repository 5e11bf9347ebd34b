// Faults planted in copies of the fixtures are found and named, with the
// offset of the structure at fault. Each test locates its target by parsing
// the clean copy, patches it, and repairs the checksums around the patch when
// the fault under test is not the checksum itself.
#include <algorithm>
#include <array>
#include <functional>
#include <map>
#include <memory>

#include <gtest/gtest.h>

#include "platform/pst/check/check.h"
#include "platform/pst/check/crc.h"
#include "platform/pst/check/ndb_checker.h"
#include "tests/platform/pst/check/scratch_pst.h"

namespace pst::check {
namespace {

using testing::FixturePath;
using testing::ScratchPst;

std::string Problems(const Report& r) {
  std::string out = r.fatal;
  for (const Problem& p : r.problems) out += "\n" + p.ToString();
  return out;
}

bool HasProblemAt(const Report& r, uint64_t offset, const std::string& needle) {
  return std::any_of(r.problems.begin(), r.problems.end(), [&](const Problem& p) {
    return p.offset == offset && p.what.find(needle) != std::string::npos;
  });
}

// The node database of a file, parsed by the checker itself.
class Parsed {
 public:
  explicit Parsed(const std::string& path) {
    std::string error;
    file_ = FileSource::Open(path, &error);
    ndb_ = std::make_unique<NdbChecker>(*file_, &report_);
    ndb_->ReadHeader();
    ndb_->CheckAll();
  }
  const NdbChecker& ndb() const { return *ndb_; }
  const BlockEntry& DataBlockOf(uint64_t nid) const {
    const NodeEntry* n = ndb_->FindNode(nid);
    EXPECT_NE(n, nullptr);
    const BlockEntry* b = ndb_->FindBlock(n->bid_data);
    EXPECT_NE(b, nullptr);
    return *b;
  }

 private:
  std::unique_ptr<FileSource> file_;
  Report report_;
  std::unique_ptr<NdbChecker> ndb_;
};

// Byte that encodes to `plain` under the permutation the fixtures use.
uint8_t Encode(uint8_t plain) {
  for (int c = 0; c < 256; ++c) {
    uint8_t b = static_cast<uint8_t>(c);
    DecodePermute(&b, 1);
    if (b == plain) return static_cast<uint8_t>(c);
  }
  return 0;
}

// Rewrites the 4-byte value of the inline property `tag` in the single-block
// property context of node `nid` to change(old value), keeping the block's
// checksum valid.
void PatchInlineProperty(ScratchPst* copy, const BlockEntry& b, uint32_t tag,
                         const std::function<uint32_t(uint32_t)>& change) {
  std::vector<uint8_t> data = copy->Read(b.ib, b.cb);
  DecodePermute(data.data(), data.size());
  const std::array<uint8_t, 4> record = {static_cast<uint8_t>(tag >> 16), static_cast<uint8_t>(tag >> 24),
                                         static_cast<uint8_t>(tag), static_cast<uint8_t>(tag >> 8)};
  auto it = std::search(data.begin(), data.end(), record.begin(), record.end());
  ASSERT_NE(it, data.end()) << "property not found";
  size_t pos = static_cast<size_t>(it - data.begin()) + 4;
  uint32_t old = data[pos] | (data[pos + 1] << 8) | (data[pos + 2] << 16) | (static_cast<uint32_t>(data[pos + 3]) << 24);
  uint32_t value = change(old);
  uint64_t at = b.ib + pos;
  for (int i = 0; i < 4; ++i) copy->PutU8(at + i, Encode(static_cast<uint8_t>(value >> (8 * i))));
  copy->FixBlockCrc(b.ib, b.cb);
}

void PatchInlineProperty(ScratchPst* copy, const Parsed& parsed, uint64_t nid, uint32_t tag,
                         const std::function<uint32_t(uint32_t)>& change) {
  PatchInlineProperty(copy, parsed.DataBlockOf(nid), tag, change);
}

TEST(CorruptionTest, FlippedHeaderByteBreaksBothHeaderCrcs) {
  ScratchPst copy(FixturePath("new-store-small.pst"));
  copy.FlipByte(0x30);   // inside rgnid
  Report r = CheckFile(copy.path());
  EXPECT_TRUE(HasProblemAt(r, 4, "dwCRCPartial")) << Problems(r);
  EXPECT_TRUE(HasProblemAt(r, 524, "dwCRCFull")) << Problems(r);
}

TEST(CorruptionTest, FlippedByteInBlockIsNamedWithItsOffset) {
  ScratchPst copy(FixturePath("outlook-sample.pst"));
  Parsed parsed(copy.path());
  const BlockEntry& b = parsed.DataBlockOf(0x21);
  copy.FlipByte(b.ib + b.cb / 2);
  Report r = CheckFile(copy.path());
  EXPECT_TRUE(HasProblemAt(r, b.ib, "CRC mismatch")) << Problems(r);
}

TEST(CorruptionTest, FlippedByteInPageIsNamedWithItsOffset) {
  ScratchPst copy(FixturePath("new-store-small.pst"));
  uint64_t nbt_root = copy.U64(224);
  copy.FlipByte(nbt_root + 487);   // past the entries in use
  Report r = CheckFile(copy.path());
  EXPECT_TRUE(HasProblemAt(r, nbt_root, "NBT page: CRC mismatch")) << Problems(r);
}

TEST(CorruptionTest, FlippedByteInBlockTrailerIsFound) {
  ScratchPst copy(FixturePath("sample-one-message.pst"));
  Parsed parsed(copy.path());
  const BlockEntry& b = parsed.DataBlockOf(0x122);
  uint64_t trailer = b.ib + (b.cb + 16 + 63) / 64 * 64 - 16;
  copy.FlipByte(trailer + 2);   // wSig
  Report r = CheckFile(copy.path());
  EXPECT_TRUE(HasProblemAt(r, b.ib, "wSig")) << Problems(r);
}

TEST(CorruptionTest, ClearedAMapBitIsFound) {
  ScratchPst copy(FixturePath("new-store-small.pst"));
  Parsed parsed(copy.path());
  const BlockEntry& b = parsed.DataBlockOf(0x21);
  uint64_t unit = (b.ib - 0x4400) / 64;
  uint8_t byte = copy.U8(0x4400 + unit / 8);
  copy.PutU8(0x4400 + unit / 8, static_cast<uint8_t>(byte & ~(0x80 >> (unit % 8))));
  copy.FixPageCrc(0x4400);
  Report r = CheckFile(copy.path());
  EXPECT_TRUE(HasProblemAt(r, b.ib, "does not mark space in use")) << Problems(r);
  EXPECT_TRUE(HasProblemAt(r, 200, "cbAMapFree")) << Problems(r);
}

TEST(CorruptionTest, SetAMapBitOverFreeSpaceIsFound) {
  ScratchPst copy(FixturePath("sample-one-message.pst"));
  // The last 64 bytes of the only AMap interval are free in this file.
  uint64_t last = 0x4400 + 253952 - 64;
  Parsed parsed(copy.path());
  ASSERT_EQ(copy.U8(0x4400 + 495) & 1, 0);
  copy.PutU8(0x4400 + 495, static_cast<uint8_t>(copy.U8(0x4400 + 495) | 1));
  copy.FixPageCrc(0x4400);
  copy.PutU64(200, copy.U64(200) - 64);
  copy.FixHeaderCrcs();
  Report r = CheckFile(copy.path());
  ASSERT_EQ(r.problems.size(), 1u) << Problems(r);
  EXPECT_TRUE(HasProblemAt(r, last, "marks space allocated that nothing uses")) << Problems(r);
}

TEST(CorruptionTest, WrongFreeSpaceTotalsAreFound) {
  ScratchPst copy(FixturePath("outlook-sample.pst"));
  copy.PutU64(200, copy.U64(200) + 64);
  copy.PutU64(208, copy.U64(208) + 512);
  copy.FixHeaderCrcs();
  Report r = CheckFile(copy.path());
  EXPECT_EQ(r.problems.size(), 2u) << Problems(r);
  EXPECT_TRUE(HasProblemAt(r, 200, "cbAMapFree")) << Problems(r);
  EXPECT_TRUE(HasProblemAt(r, 208, "cbPMapFree")) << Problems(r);
}

TEST(CorruptionTest, OutOfOrderBTreeKeysAreFound) {
  ScratchPst copy(FixturePath("outlook-sample.pst"));
  Parsed parsed(copy.path());
  uint64_t page = parsed.DataBlockOf(0x21).page;   // a BBT leaf page
  ASSERT_GE(copy.U8(page + 488), 2);
  std::vector<uint8_t> first = copy.Read(page, 24), second = copy.Read(page + 24, 24);
  copy.Write(page, second);
  copy.Write(page + 24, first);
  copy.FixPageCrc(page);
  Report r = CheckFile(copy.path());
  EXPECT_TRUE(HasProblemAt(r, page, "BBT page: keys out of order")) << Problems(r);
}

TEST(CorruptionTest, WrongLevelInBTreeIsFound) {
  ScratchPst copy(FixturePath("outlook-sample.pst"));
  uint64_t root = copy.U64(240);
  ASSERT_GE(copy.U8(root + 491), 1);
  Parsed parsed(copy.path());
  uint64_t leaf = parsed.DataBlockOf(0x21).page;
  copy.PutU8(leaf + 491, 3);
  copy.FixPageCrc(leaf);
  Report r = CheckFile(copy.path());
  EXPECT_TRUE(HasProblemAt(r, leaf, "cLevel 3")) << Problems(r);
}

TEST(CorruptionTest, WrongReferenceCountIsFound) {
  ScratchPst copy(FixturePath("new-store-small.pst"));
  Parsed parsed(copy.path());
  const BlockEntry& b = parsed.DataBlockOf(0x21);
  int count = copy.U8(b.page + 488);
  for (int i = 0; i < count; ++i) {
    uint64_t e = b.page + 24 * i;
    if (copy.U64(e) != b.bid) continue;
    copy.PutU16(e + 18, static_cast<uint16_t>(copy.U16(e + 18) + 1));
  }
  copy.FixPageCrc(b.page);
  Report r = CheckFile(copy.path());
  ASSERT_EQ(r.problems.size(), 1u) << Problems(r);
  EXPECT_TRUE(HasProblemAt(r, b.page, "cRef 3")) << Problems(r);
}

TEST(CorruptionTest, WrongBidCountersAreFound) {
  ScratchPst copy(FixturePath("new-store-small.pst"));
  copy.PutU64(516, 4);        // bidNextB
  copy.PutU32(44 + 4 * 4, 3);  // rgnid[NORMAL_MESSAGE]
  copy.FixHeaderCrcs();
  Report r = CheckFile(copy.path());
  EXPECT_TRUE(HasProblemAt(r, 516, "bidNextB")) << Problems(r);
  EXPECT_TRUE(HasProblemAt(r, 60, "rgnid[0x4]")) << Problems(r);
}

TEST(CorruptionTest, MissingMandatoryNodeIsFound) {
  ScratchPst copy(FixturePath("new-store-small.pst"));
  Parsed parsed(copy.path());
  const NodeEntry* n = parsed.ndb().FindNode(0x6F8);
  ASSERT_NE(n, nullptr);
  int count = copy.U8(n->page + 488);
  for (int i = 0; i < count; ++i) {
    if (copy.U32(n->page + 32 * i) != 0x6F8) continue;
    std::vector<uint8_t> rest = copy.Read(n->page + 32 * (i + 1), 32 * (count - i - 1));
    rest.resize(32 * (count - i), 0);
    copy.Write(n->page + 32 * i, rest);
  }
  copy.PutU8(n->page + 488, static_cast<uint8_t>(count - 1));
  copy.FixPageCrc(n->page);
  Report r = CheckFile(copy.path());
  EXPECT_TRUE(r.Mentions("mandatory node 0x6f8")) << Problems(r);
  EXPECT_TRUE(r.Mentions("no node references it")) << Problems(r);
}

TEST(CorruptionTest, ContentsRowDifferingFromMessageIsFound) {
  ScratchPst copy(FixturePath("new-store-small.pst"));
  Parsed parsed(copy.path());
  // PidTagMessageFlags: toggle MSGFLAG_UNMODIFIED, which does not change
  // the read state, so only the row comparison can notice.
  PatchInlineProperty(&copy, parsed, 0x200024, 0x0E070003, [](uint32_t v) { return v ^ 0x2; });
  Report r = CheckFile(copy.path());
  EXPECT_TRUE(r.Mentions("contents table: row 0x200024 column 0x0E070003 differs")) << Problems(r);
}

TEST(CorruptionTest, SubfolderFlagAndCountsAreCrossChecked) {
  ScratchPst copy(FixturePath("new-store-small.pst"));
  Parsed parsed(copy.path());
  PatchInlineProperty(&copy, parsed, 0x8082, 0x36020003, [](uint32_t) { return 7u; });   // PidTagContentCount
  PatchInlineProperty(&copy, parsed, 0x8082, 0x360A000B, [](uint32_t) { return 1u; });   // PidTagSubfolders
  Report r = CheckFile(copy.path());
  EXPECT_TRUE(r.Mentions("PidTagContentCount is 7 but the contents table has 1 row(s)")) << Problems(r);
  EXPECT_TRUE(r.Mentions("PidTagSubfolders is 1 but the folder has 0 subfolder(s)")) << Problems(r);
  // The parent's hierarchy row still holds the old values.
  EXPECT_TRUE(r.Mentions("hierarchy table: row 0x8082 column 0x36020003 differs")) << Problems(r);
}

TEST(CorruptionTest, WrongXBlockTotalIsFound) {
  ScratchPst copy(FixturePath("outlook-sample.pst"));
  Parsed parsed(copy.path());
  // The large attachment of this file is held in an XBLOCK.
  const BlockEntry* xblock = nullptr;
  for (const auto& [nid, node] : parsed.ndb().nodes()) {
    std::map<uint32_t, Subnode> subnodes;
    if (node.bid_sub == 0 || !parsed.ndb().ReadSubnodes(node.bid_sub, &subnodes)) continue;
    for (const auto& [sub_nid, sub] : subnodes) {
      if (sub.bid_data & 0x2) xblock = parsed.ndb().FindBlock(sub.bid_data);
    }
  }
  ASSERT_NE(xblock, nullptr);
  ASSERT_EQ(copy.U8(xblock->ib), 0x01);
  copy.PutU32(xblock->ib + 4, copy.U32(xblock->ib + 4) + 1);
  copy.FixBlockCrc(xblock->ib, xblock->cb);
  Report r = CheckFile(copy.path());
  ASSERT_EQ(r.problems.size(), 1u) << Problems(r);
  EXPECT_TRUE(HasProblemAt(r, xblock->ib, "lcbTotal")) << Problems(r);
}

TEST(CorruptionTest, AttachmentSizeBelowItsDataIsFound) {
  ScratchPst copy(FixturePath("outlook-sample.pst"));
  Parsed parsed(copy.path());
  const NodeEntry* message = parsed.ndb().FindNode(0x200264);
  ASSERT_NE(message, nullptr);
  std::map<uint32_t, Subnode> subnodes;
  ASSERT_TRUE(parsed.ndb().ReadSubnodes(message->bid_sub, &subnodes));
  ASSERT_TRUE(subnodes.count(0x8045));
  const BlockEntry* block = parsed.ndb().FindBlock(subnodes[0x8045].bid_data);
  ASSERT_NE(block, nullptr);
  PatchInlineProperty(&copy, *block, 0x0E200003, [](uint32_t) { return 10u; });
  Report r = CheckFile(copy.path());
  EXPECT_TRUE(r.Mentions("attachment 0x8045: PidTagAttachSize 10 is less than its 88021 data bytes")) << Problems(r);
  EXPECT_TRUE(r.Mentions("attachment table: row 0x8045 column 0x0E200003 differs")) << Problems(r);
}

TEST(CorruptionTest, TruncatedFileIsReportedNotCrashed) {
  ScratchPst copy(FixturePath("outlook-sample.pst"));
  copy.Resize(0x42400);
  Report r = CheckFile(copy.path());
  EXPECT_TRUE(r.fatal.empty());
  EXPECT_TRUE(HasProblemAt(r, 184, "file truncated")) << Problems(r);
  EXPECT_TRUE(r.Mentions("outside the data area")) << Problems(r);
}

TEST(CorruptionTest, ZeroedRegionGivesBoundedReport) {
  ScratchPst copy(FixturePath("outlook-sample.pst"));
  copy.Write(0x4400, std::vector<uint8_t>(0x8000, 0));
  Report r = CheckFile(copy.path());
  EXPECT_FALSE(r.ok());
  EXPECT_LT(r.problems.size(), Report::kMaxProblems);
}

}  // namespace
}  // namespace pst::check
