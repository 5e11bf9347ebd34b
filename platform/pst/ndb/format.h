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

// AMap interval arithmetic. Interval i starts at its AMap page and is
// followed, in this order, by the PMap, FMap and FPMap pages that fall into
// it; the rest of the interval holds blocks and B-tree pages.
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
inline constexpr uint64_t MapPagesIn(uint64_t i) {
  return 1 + (HasPMap(i) ? 1 : 0) + (HasFMap(i) ? 1 : 0) + (HasFPMap(i) ? 1 : 0);
}
// First offset of interval i free for blocks and pages.
inline constexpr uint64_t IntervalDataStart(uint64_t i) {
  return IntervalStart(i) + MapPagesIn(i) * kPageSize;
}
// Offsets of the optional map pages of interval i (valid when present).
inline constexpr uint64_t PMapOffset(uint64_t i) { return IntervalStart(i) + kPageSize; }
inline constexpr uint64_t FMapOffset(uint64_t i) {
  return IntervalStart(i) + kPageSize * (HasPMap(i) ? 2 : 1);
}
inline constexpr uint64_t FPMapOffset(uint64_t i) {
  return IntervalStart(i) + kPageSize * (1 + (HasPMap(i) ? 1 : 0) + (HasFMap(i) ? 1 : 0));
}

}  // namespace pst::ndb

#endif  // TOLLAN_PLATFORM_PST_NDB_FORMAT_H_
