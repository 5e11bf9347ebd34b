// Files past 4 GiB: a fixture grown (sparsely) with properly initialised
// allocation map intervals to just over 4 GiB, with one data block moved
// beyond the 4 GiB mark, checks clean; damage beyond 4 GiB is reported with
// its full 64-bit offset.
#include <gtest/gtest.h>

#include "platform/pst/check/check.h"
#include "platform/pst/check/crc.h"
#include "platform/pst/check/ndb_checker.h"
#include "tests/platform/pst/check/scratch_pst.h"

namespace pst::check {
namespace {

using testing::FixturePath;
using testing::ScratchPst;

constexpr uint64_t kCoverage = 253952;
constexpr uint64_t kFourGiB = uint64_t{1} << 32;

std::string Problems(const Report& r) {
  std::string out = r.fatal;
  for (const Problem& p : r.problems) out += "\n" + p.ToString();
  return out;
}

void WriteMapPage(ScratchPst* copy, uint64_t ib, uint8_t ptype, std::vector<uint8_t> page) {
  page.resize(512, 0);
  page[496] = page[497] = ptype;
  uint32_t crc = ComputeCrc(page.data(), 496);
  for (int i = 0; i < 4; ++i) page[500 + i] = static_cast<uint8_t>(crc >> (8 * i));
  for (int i = 0; i < 8; ++i) page[504 + i] = static_cast<uint8_t>(ib >> (8 * i));
  copy->Write(ib, page);
}

void SetUnits(ScratchPst* copy, uint64_t ib, uint64_t size, bool on) {
  for (uint64_t u = ib; u < ib + size; u += 64) {
    uint64_t amap = 0x4400 + (u - 0x4400) / kCoverage * kCoverage;
    uint64_t bit = (u - amap) / 64;
    uint8_t b = copy->U8(amap + bit / 8);
    uint8_t mask = static_cast<uint8_t>(0x80 >> (bit % 8));
    copy->PutU8(amap + bit / 8, static_cast<uint8_t>(on ? (b | mask) : (b & ~mask)));
  }
}

// Grows the file to the first AMap boundary past 4 GiB + 2 MiB.
void GrowPastFourGiB(ScratchPst* copy) {
  uint64_t old_amaps = (copy->U64(184) - 0x4400) / kCoverage;
  uint64_t amaps = (kFourGiB + (2u << 20) - 0x4400) / kCoverage + 1;
  uint64_t eof = 0x4400 + amaps * kCoverage;
  copy->Resize(eof);
  uint64_t added_free = 0;
  for (uint64_t k = old_amaps; k < amaps; ++k) {
    uint64_t ib = 0x4400 + k * kCoverage;
    bool pmap = k % 8 == 0;
    bool fmap = k >= 128 && (k - 128) % 496 == 0;
    bool fpmap = k >= 8192 && (k - 8192) % 31744 == 0;
    size_t maps = 1 + pmap + fmap + 2 * fpmap;
    WriteMapPage(copy, ib, 0x84, std::vector<uint8_t>(maps, 0xFF));
    if (pmap) WriteMapPage(copy, ib + 512, 0x83, std::vector<uint8_t>(496, 0xFF));
    if (fmap) WriteMapPage(copy, ib + 1024, 0x82, {});
    if (fpmap) {   // the fourth page, and a copy in the third
      WriteMapPage(copy, ib + 1024, 0x85, std::vector<uint8_t>(496, 0xFF));
      WriteMapPage(copy, ib + 1536, 0x85, std::vector<uint8_t>(496, 0xFF));
    }
    added_free += (496 * 8 - maps * 8) * 64;
  }
  copy->PutU64(184, eof);
  copy->PutU64(192, 0x4400 + (amaps - 1) * kCoverage);
  copy->PutU64(200, copy->U64(200) + added_free);
  copy->FixHeaderCrcs();
}

// Moves the data block of node `nid` to `to`, updating its BBT entry, its
// trailer signature and both AMaps. Returns the block.
BlockEntry MoveBlock(ScratchPst* copy, uint64_t nid, uint64_t to) {
  Report scratch;
  std::string error;
  auto file = FileSource::Open(copy->path(), &error);
  NdbChecker ndb(*file, &scratch);
  ndb.ReadHeader();
  ndb.CheckAll();
  BlockEntry b = *ndb.FindBlock(ndb.FindNode(nid)->bid_data);
  uint64_t size = (b.cb + 16 + 63) / 64 * 64;
  copy->Write(to, copy->Read(b.ib, size));
  copy->PutU16(to + size - 16 + 2, ComputeSig(to, b.bid));
  for (int i = 0; i < copy->U8(b.page + 488); ++i) {
    if (copy->U64(b.page + 24 * i) == b.bid) copy->PutU64(b.page + 24 * i + 8, to);
  }
  copy->FixPageCrc(b.page);
  SetUnits(copy, b.ib, size, false);
  SetUnits(copy, to, size, true);
  copy->FixPageCrc(0x4400 + (b.ib - 0x4400) / kCoverage * kCoverage);
  copy->FixPageCrc(0x4400 + (to - 0x4400) / kCoverage * kCoverage);
  b.ib = to;
  return b;
}

TEST(LargeFileTest, BlockBeyondFourGiBIsReadAndChecked) {
  ScratchPst copy(FixturePath("new-store-small.pst"));
  GrowPastFourGiB(&copy);
  uint64_t last_amap = copy.U64(192);
  ASSERT_GT(last_amap, kFourGiB);
  BlockEntry moved = MoveBlock(&copy, 0x21, last_amap + 4096);

  Report r = CheckFile(copy.path());
  EXPECT_TRUE(r.ok()) << Problems(r);
  EXPECT_GT(r.stats.file_size, kFourGiB);
  EXPECT_EQ(r.stats.amaps, (r.stats.file_size - 0x4400) / kCoverage);

  copy.FlipByte(moved.ib + 3);
  r = CheckFile(copy.path());
  bool found = false;
  for (const Problem& p : r.problems) found |= p.offset == moved.ib && p.what.find("CRC mismatch") != std::string::npos;
  EXPECT_TRUE(found) << Problems(r);
}

// The first FPMap belongs in the fourth page of interval 8192 with a copy in
// the third. A file with only one of them is named at the other's offset;
// -v lists both places.
TEST(LargeFileTest, FreePageMapMissingFromEitherPlaceIsNamed) {
  const uint64_t packed = 0x4400 + 8192 * kCoverage + 1024;   // 0x7C004800
  const uint64_t fixed = packed + 512;                        // 0x7C004A00
  struct Case {
    uint64_t overwritten;
    const char* finding;
  };
  // Text where a page is missing, as in files whose data took that page.
  std::vector<uint8_t> text(512);
  for (size_t i = 0; i < text.size(); ++i) text[i] = "in the message "[i % 15];
  for (const Case& c : {Case{fixed, "FPMap page misplaced"}, Case{packed, "FPMap page missing at 0x7c004800"}}) {
    ScratchPst copy(FixturePath("new-store-small.pst"));
    GrowPastFourGiB(&copy);
    copy.Write(c.overwritten, text);
    CheckOptions options;
    options.map_pages = true;
    Report r = CheckFile(copy.path(), options);
    bool found = false;
    for (const Problem& p : r.problems) found |= p.offset == c.overwritten && p.what.find(c.finding) != std::string::npos;
    EXPECT_TRUE(found) << c.finding << Problems(r);
    std::vector<uint64_t> listed;
    for (const MapPage& m : r.map_pages) {
      if (m.kind.rfind("FPMap", 0) == 0) listed.push_back(m.offset);
    }
    EXPECT_EQ(listed, (std::vector<uint64_t>{packed, fixed}));
  }
}

}  // namespace
}  // namespace pst::check
