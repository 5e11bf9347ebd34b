// The CRC against a bitwise reference and Outlook-written pages, and the
// placement of map pages in the AMap intervals.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "platform/pst/ndb/crc.h"
#include "platform/pst/ndb/format.h"

namespace pst::ndb {
namespace {

uint32_t BitwiseCrc(uint32_t c, const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    c ^= p[i];
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
  }
  return c;
}

TEST(CrcTest, MatchesBitwiseReferenceAtEveryLengthAndAlignment) {
  std::mt19937 rng(1);
  std::vector<uint8_t> d(20000);
  for (auto& b : d) b = static_cast<uint8_t>(rng());
  for (size_t n = 0; n < 700; ++n) {
    for (uint32_t seed : {0u, 0xDEADBEEFu}) {
      size_t off = n % 13;
      ASSERT_EQ(Crc32(seed, d.data() + off, n), BitwiseCrc(seed, d.data() + off, n)) << n;
    }
  }
  for (size_t n : {8176u, 8177u, 19999u}) EXPECT_EQ(Crc32(0, d.data(), n), BitwiseCrc(0, d.data(), n));
}

TEST(CrcTest, AgreesWithOutlookWrittenHeaderAndPages) {
  std::ifstream in(TOLLAN_SHARED_DIR "/fixtures/real-pst/new-store-small.pst", std::ios::binary);
  ASSERT_TRUE(in);
  std::vector<uint8_t> f((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(f.size(), 0x4800u);
  EXPECT_EQ(Crc32(0, f.data() + 8, 471), Get32(f.data() + 4));      // dwCRCPartial
  EXPECT_EQ(Crc32(0, f.data() + 8, 516), Get32(f.data() + 524));    // dwCRCFull
  EXPECT_EQ(Crc32(0, f.data() + 0x4400, 496), Get32(f.data() + 0x4400 + 500));  // AMap
  EXPECT_EQ(Crc32(0, f.data() + 0x4600, 496), Get32(f.data() + 0x4600 + 500));  // PMap
}

TEST(LayoutTest, MapPagesSitInTheirSlotsAfterTheAMap) {
  EXPECT_EQ(IntervalStart(0), 0x4400u);
  EXPECT_EQ(IntervalStart(1), 0x4400u + 253952u);
  EXPECT_EQ(PMapOffset(0), 0x4600u);
  EXPECT_EQ(IntervalDataStart(0), 0x4800u);  // AMap, PMap
  EXPECT_EQ(IntervalDataStart(1), IntervalStart(1) + 512);
  EXPECT_EQ(IntervalDataStart(8), IntervalStart(8) + 1024);
  // The header's rgbFM covers AMaps 0..127; FMaps follow every 496 AMaps.
  EXPECT_FALSE(HasFMap(127));
  EXPECT_TRUE(HasFMap(128));
  EXPECT_TRUE(HasFMap(128 + 496));
  EXPECT_FALSE(HasFMap(129));
  EXPECT_EQ(FMapOffset(128), IntervalStart(128) + 1024);  // after AMap and PMap
  EXPECT_EQ(IntervalDataStart(128), IntervalStart(128) + 1536);
  // rgbFP covers 1024 PMaps (8192 AMaps, about 2 GB); FPMaps then every 31744.
  EXPECT_FALSE(HasFPMap(8191));
  EXPECT_TRUE(HasFPMap(8192));
  EXPECT_TRUE(HasFPMap(8192 + 31744));
  EXPECT_LT(IntervalStart(8192), 2100000000u);
  // The FPMap in its fixed slot (the fourth page) with a copy in the third,
  // where the packed reading looks: 0x7C004A00 and 0x7C004800.
  EXPECT_EQ(FPMapOffset(8192), 0x7C004A00u);
  EXPECT_EQ(PackedFPMapOffset(8192), 0x7C004800u);
  EXPECT_EQ(IntervalDataStart(8192), IntervalStart(8192) + 2048);
  EXPECT_EQ(FPMapOffset(8192 + 31744), IntervalStart(8192 + 31744) + 1536);
  EXPECT_EQ(IntervalOf(IntervalStart(9000) + 253951), 9000u);
}

TEST(LayoutTest, BlockSizesAndSignatures) {
  EXPECT_EQ(BlockDiskSize(0), 64u);
  EXPECT_EQ(BlockDiskSize(48), 64u);
  EXPECT_EQ(BlockDiskSize(49), 128u);
  EXPECT_EQ(BlockDiskSize(kMaxBlockData), 8192u);
  // An Outlook-written block trailer: bid 4 at 0x5800 has wSig 0x5804.
  EXPECT_EQ(ComputeSig(0x5800, 4), 0x5804);
  EXPECT_EQ(ComputeSig(0x6800, 0x178), 0x6978);
}

}  // namespace
}  // namespace pst::ndb
