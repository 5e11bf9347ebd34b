// Sizes, offsets and constants of the Unicode PST layout ([MS-PST] 2.2 and
// 2.3), plus little-endian field readers. Only what the checker needs.
#ifndef TOLLAN_PLATFORM_PST_CHECK_FORMAT_H_
#define TOLLAN_PLATFORM_PST_CHECK_FORMAT_H_

#include <cstdint>
#include <cstring>

namespace pst::check {

inline uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t Le64(const uint8_t* p) {
  return static_cast<uint64_t>(Le32(p)) | (static_cast<uint64_t>(Le32(p + 4)) << 32);
}

// HEADER (Unicode).
constexpr uint32_t kHeaderSize = 564;
constexpr uint32_t kMagic = 0x4E444221;        // "!BDN"
constexpr uint16_t kMagicClient = 0x4D53;      // "SM"
constexpr uint16_t kVersionUnicode = 23;
constexpr uint16_t kClientVersion = 19;
constexpr size_t kCrcPartialStart = 8, kCrcPartialLength = 471;
constexpr size_t kCrcFullStart = 8, kCrcFullLength = 516;

// Pages.
constexpr uint64_t kPageSize = 512;
constexpr uint64_t kPageTrailerOffset = 496;
constexpr uint8_t kPtypeBbt = 0x80, kPtypeNbt = 0x81, kPtypeFMap = 0x82, kPtypePMap = 0x83,
                  kPtypeAMap = 0x84, kPtypeFPMap = 0x85, kPtypeDList = 0x86;
constexpr size_t kBtEntriesSize = 488;
constexpr uint8_t kBtEntrySize = 24;      // BTENTRY and BBTENTRY
constexpr uint8_t kNbtEntrySize = 32;     // NBTENTRY
constexpr uint8_t kBtEntryMax = 20, kNbtEntryMax = 15;

// Allocation maps.
constexpr uint64_t kDListOffset = 0x4200;
constexpr uint64_t kFirstAMap = 0x4400;
constexpr uint64_t kAMapCoverage = 496 * 8 * 64;      // 253,952 bytes per AMap page
constexpr uint64_t kUnit = 64;                        // bytes per AMap bit
constexpr uint64_t kAMapsPerPMap = 8;
constexpr uint64_t kFirstFMapAMap = 128, kAMapsPerFMap = 496;
constexpr uint64_t kFirstFPMapAMap = 128 * 8 * 8, kAMapsPerFPMap = 496 * 8 * 8;
// The page of its interval each map page owns, counting the AMap as 0: the
// PMap 1, the FMap 2, the FPMap 3, and a copy of the FPMap in 2 (an FPMap
// interval has no FMap) for readers that pack the map pages of an interval
// one after another. platform/pst/ndb/format.h says why both.
constexpr uint64_t kPMapSlot = 1, kFMapSlot = 2, kFPMapSlot = 3, kPackedFPMapSlot = 2;
inline bool IntervalHasPMap(uint64_t k) { return k % kAMapsPerPMap == 0; }
inline bool IntervalHasFMap(uint64_t k) {
  return k >= kFirstFMapAMap && (k - kFirstFMapAMap) % kAMapsPerFMap == 0;
}
inline bool IntervalHasFPMap(uint64_t k) {
  return k >= kFirstFPMapAMap && (k - kFirstFPMapAMap) % kAMapsPerFPMap == 0;
}

// Blocks.
constexpr uint64_t kBlockTrailerSize = 16;
constexpr uint64_t kMaxBlockData = 8192 - kBlockTrailerSize;   // 8176
constexpr uint8_t kBtypeXBlock = 0x01, kBtypeSBlock = 0x02;

// BID bits.
constexpr uint64_t kBidReserved = 0x1, kBidInternal = 0x2;

// Encodings (bCryptMethod).
constexpr uint8_t kCryptNone = 0x00, kCryptPermute = 0x01, kCryptCyclic = 0x02;

// NID types.
constexpr uint32_t kNidTypeMask = 0x1F;
constexpr uint32_t kNidTypeHid = 0x00, kNidTypeInternal = 0x01, kNidTypeNormalFolder = 0x02,
                   kNidTypeSearchFolder = 0x03, kNidTypeNormalMessage = 0x04,
                   kNidTypeAttachment = 0x05, kNidTypeSearchUpdateQueue = 0x06,
                   kNidTypeSearchCriteria = 0x07, kNidTypeAssocMessage = 0x08,
                   kNidTypeHierarchyTable = 0x0D, kNidTypeContentsTable = 0x0E,
                   kNidTypeAssocContentsTable = 0x0F, kNidTypeSearchContentsTable = 0x10,
                   kNidTypeAttachmentTable = 0x11, kNidTypeRecipientTable = 0x12;
inline uint32_t NidType(uint64_t nid) { return static_cast<uint32_t>(nid) & kNidTypeMask; }
inline uint32_t NidIndex(uint64_t nid) { return static_cast<uint32_t>(nid) >> 5; }

// Well-known nodes.
constexpr uint32_t kNidMessageStore = 0x21, kNidNameToIdMap = 0x61, kNidRootFolder = 0x122;
constexpr uint32_t kNidAttachmentTable = 0x671, kNidRecipientTable = 0x692;

// Heap-on-node.
constexpr uint8_t kHnSig = 0xEC;
constexpr uint8_t kClientTc = 0x7C, kClientBth = 0xB5, kClientPc = 0xBC;

}  // namespace pst::check

#endif  // TOLLAN_PLATFORM_PST_CHECK_FORMAT_H_
