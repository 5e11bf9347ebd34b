// Layout constants and small encoders of the Unicode PST node database
// ([MS-PST] 2.2.2): page, block and map geometry, little-endian stores, the
// page/block signature and the AMap interval arithmetic that decides where
// the map pages sit.
#ifndef TOLLAN_PLATFORM_PST_NDB_FORMAT_H_
#define TOLLAN_PLATFORM_PST_NDB_FORMAT_H_

#include <cstddef>
#include <cstdint>

namespace pst::ndb {

// Pages ([MS-PST] 2.2.2.7).
inline constexpr uint64_t kPageSize = 512;
inline constexpr uint64_t kPageTrailerSize = 16;
inline constexpr uint64_t kPageDataSize = kPageSize - kPageTrailerSize;  // 496

inline constexpr uint8_t kPtypeBbt = 0x80;
inline constexpr uint8_t kPtypeNbt = 0x81;
inline constexpr uint8_t kPtypeFMap = 0x82;
inline constexpr uint8_t kPtypePMap = 0x83;
inline constexpr uint8_t kPtypeAMap = 0x84;
inline constexpr uint8_t kPtypeFPMap = 0x85;
inline constexpr uint8_t kPtypeDList = 0x86;

// Blocks ([MS-PST] 2.2.2.8): 64-byte aligned, at most 8192 bytes including
// the 16-byte trailer.
inline constexpr uint64_t kBlockAlign = 64;
inline constexpr uint64_t kBlockTrailerSize = 16;
inline constexpr uint64_t kMaxBlockSize = 8192;
inline constexpr uint64_t kMaxBlockData = kMaxBlockSize - kBlockTrailerSize;  // 8176

// Internal blocks ([MS-PST] 2.2.2.8.3): an 8-byte head, then entries.
inline constexpr uint8_t kBtypeDataTree = 0x01;  // XBLOCK, XXBLOCK
inline constexpr uint8_t kBtypeSubnode = 0x02;   // SLBLOCK, SIBLOCK
inline constexpr size_t kInternalHeadSize = 8;
inline constexpr size_t kXEntriesMax = (kMaxBlockData - kInternalHeadSize) / 8;    // 1021
inline constexpr size_t kSlEntrySize = 24;
inline constexpr size_t kSlEntriesMax = (kMaxBlockData - kInternalHeadSize) / 24;  // 340
inline constexpr size_t kSiEntrySize = 16;
inline constexpr size_t kSiEntriesMax = (kMaxBlockData - kInternalHeadSize) / 16;  // 510

// Block ids ([MS-PST] 2.2.2.2): bit 0 reserved, bit 1 marks internal blocks;
// block ids advance by 4.
inline constexpr uint64_t kBidInternal = 0x2;
inline constexpr uint64_t kBidStep = 4;

// B-tree pages ([MS-PST] 2.2.2.7.7): 488 bytes of entries, then cEnt, cEntMax,
// cbEnt, cLevel and 4 bytes of padding.
inline constexpr size_t kBtEntriesSize = 488;
inline constexpr size_t kBtEntrySize = 24;      // BTENTRY (intermediate levels)
inline constexpr size_t kNbtLeafEntrySize = 32; // NBTENTRY
inline constexpr size_t kBbtLeafEntrySize = 24; // BBTENTRY

// File layout ([MS-PST] 2.2.2.6, 2.2.2.7.2 - 2.2.2.7.6).
inline constexpr uint64_t kHeaderSize = 564;
inline constexpr uint64_t kDListOffset = 0x4200;
inline constexpr uint64_t kFirstAMapOffset = 0x4400;
inline constexpr uint64_t kAMapBitBytes = 64;                       // one AMap bit
inline constexpr uint64_t kIntervalSize = kPageDataSize * 8 * 64;  // 253,952
inline constexpr uint64_t kPMapEvery = 8;              // AMap intervals per PMap
inline constexpr uint64_t kFMapFirst = 128;            // header's rgbFM covers 0..127
inline constexpr uint64_t kFMapEvery = kPageDataSize;  // 496 AMaps per FMap page
inline constexpr uint64_t kFPMapFirst = 128 * 8 * kPMapEvery;  // rgbFP covers 8192 AMaps
inline constexpr uint64_t kFPMapEvery = kPageDataSize * 8 * kPMapEvery;  // 31,744

// Little-endian stores into a byte buffer.
inline void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void Put64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline uint64_t Get64(const uint8_t* p) {
  return static_cast<uint64_t>(Get32(p)) | static_cast<uint64_t>(Get32(p + 4)) << 32;
}

// wSig of a page or block trailer ([MS-PST] 5.5).
inline uint16_t ComputeSig(uint64_t ib, uint64_t bid) {
  ib ^= bid;
  return static_cast<uint16_t>(static_cast<uint16_t>(ib >> 16) ^ static_cast<uint16_t>(ib));
}

// Size a block of `cb` data bytes takes on disk, trailer and padding included.
inline constexpr uint64_t BlockDiskSize(uint64_t cb) {
  return (cb + kBlockTrailerSize + kBlockAlign - 1) / kBlockAlign * kBlockAlign;
}

// AMap interval arithmetic and the place of each map page.
//
// Every interval starts with its AMap. The PMap of every eighth interval
// is the second page ([MS-PST] 2.2.2.7.3 gives the first at 0x4600, right
// after the first AMap). FMaps fall into every 496th interval from 128 on and
// FPMaps into every 31,744th from 8192 on; both counts are multiples of 8, so
// each such interval also has a PMap, and no interval has both an FMap and
// an FPMap. [MS-PST] gives no offset for either page: its text requires them
// "at the correct intervals" (2.2.2.7.4, 2.2.2.7.5, 2.6.1.1.2), and the
// diagram of 1.3.2 shows the map pages after the AMap without a rule for an
// interval that lacks some of them. Two readings are in use:
//   - fixed slots: the PMap, FMap and FPMap each own one page position,
//     the second, third and fourth page, whether or not the others are
//     present. Some readers look for the FPMap of interval 8192 at
//     0x7C004A00.
//   - packed: the pages that are due follow the AMap without gaps, so the
//     FPMap is the third page, 0x7C004800 (what this writer did before).
// An FPMap interval therefore carries the FPMap in both places: the fourth
// page (its fixed slot) and, in the otherwise unused FMap slot, the third
// page, with the same contents. Both are marked allocated and both have their
// own trailer, so a program that keeps the maps where either reading puts
// them writes over a map page, never over data. Intervals without an FPMap
// look the same under both readings.
inline constexpr uint64_t IntervalStart(uint64_t i) { return kFirstAMapOffset + i * kIntervalSize; }
inline constexpr uint64_t IntervalOf(uint64_t offset) {
  return (offset - kFirstAMapOffset) / kIntervalSize;
}
inline constexpr bool HasPMap(uint64_t i) { return i % kPMapEvery == 0; }
inline constexpr bool HasFMap(uint64_t i) {
  return i >= kFMapFirst && (i - kFMapFirst) % kFMapEvery == 0;
}
inline constexpr bool HasFPMap(uint64_t i) {
  return i >= kFPMapFirst && (i - kFPMapFirst) % kFPMapEvery == 0;
}
static_assert(kFMapFirst % kPMapEvery == 0 && kFMapEvery % kPMapEvery == 0, "an FMap interval has a PMap");
static_assert(kFPMapFirst % kPMapEvery == 0 && kFPMapEvery % kPMapEvery == 0, "an FPMap interval has a PMap");
static_assert(kFPMapEvery % kFMapEvery == 0 && (kFPMapFirst - kFMapFirst) % kFMapEvery != 0,
              "no interval has both an FMap and an FPMap");

// Offsets of the map pages of interval i (valid when the page is due).
inline constexpr uint64_t PMapOffset(uint64_t i) { return IntervalStart(i) + kPageSize; }
inline constexpr uint64_t FMapOffset(uint64_t i) { return IntervalStart(i) + 2 * kPageSize; }
inline constexpr uint64_t FPMapOffset(uint64_t i) { return IntervalStart(i) + 3 * kPageSize; }
// The copy of the FPMap where the packed reading looks for it.
inline constexpr uint64_t PackedFPMapOffset(uint64_t i) { return IntervalStart(i) + 2 * kPageSize; }

// Pages at the start of interval i taken by its map pages.
inline constexpr uint64_t MapPagesIn(uint64_t i) {
  return HasFPMap(i) ? 4 : HasFMap(i) ? 3 : HasPMap(i) ? 2 : 1;
}
// First offset of interval i free for blocks and pages.
inline constexpr uint64_t IntervalDataStart(uint64_t i) {
  return IntervalStart(i) + MapPagesIn(i) * kPageSize;
}

}  // namespace pst::ndb

#endif  // TOLLAN_PLATFORM_PST_NDB_FORMAT_H_
