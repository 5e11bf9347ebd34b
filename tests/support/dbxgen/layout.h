// Byte layout of the DBX files the generator writes: the numbers and offsets
// that Outlook Express 5/6 uses in its folder files and its folder list.
// Everything here is written little-endian; offsets are 0-based file
// positions that must stay below 2^31.
#ifndef TOLLAN_TESTS_SUPPORT_DBXGEN_LAYOUT_H_
#define TOLLAN_TESTS_SUPPORT_DBXGEN_LAYOUT_H_

#include <cstddef>
#include <cstdint>

namespace dbxgen {

// File header, shared by both kinds of file.
inline constexpr uint32_t kSignature = 0xFE12ADCF;
inline constexpr uint32_t kFolderFileKind = 0x6F74FDC5;
inline constexpr uint32_t kFolderListKind = 0x6F74FDC6;
inline constexpr std::size_t kHeaderSize = 0x24BC;
inline constexpr std::size_t kHeaderRootOffset = 0xE4;     // root node of the main index
inline constexpr std::size_t kHeaderRootCount = 0xC4;      // records in the main index
inline constexpr std::size_t kHeaderInfoLength = 0x1C;     // length of the block after the header
inline constexpr std::size_t kHeaderFirstChunk = 0x24;     // first allocation after that block
inline constexpr std::size_t kHeaderFileLength = 0x7C;     // end of the used area

// The block that follows the header: folder information in a folder file,
// a small time-stamp block in the folder list.
inline constexpr std::size_t kFolderInfoLength = 0x618;
inline constexpr std::size_t kFolderListInfoLength = 0x108;
inline constexpr std::size_t kInfoSourceType = 0x24C0;     // 1 byte: 3 = local store
inline constexpr std::size_t kInfoSourceText = 0x24C1;     // 256 bytes
inline constexpr std::size_t kInfoInternalName = 0x25C1;   // 256 bytes, zero-terminated
inline constexpr std::size_t kInfoSessionNumber = 0x26D1;  // 4 bytes, unaligned
inline constexpr std::size_t kTextFieldLength = 256;

// Index tree nodes: a 24-byte head and up to 52 entries of 12 bytes.
// Outlook Express allocates 51 slots (636 bytes); readers read 52 (648).
inline constexpr std::size_t kNodeHeadSize = 0x18;
inline constexpr std::size_t kNodeEntrySize = 12;
inline constexpr std::size_t kMaxNodeEntries = 52;
inline constexpr std::size_t kUsualNodeEntries = 51;
inline constexpr std::size_t kNodeReadSize = kNodeHeadSize + kMaxNodeEntries * kNodeEntrySize;

// Records: a 12-byte head, 4-byte entries, then the data area.
inline constexpr std::size_t kRecordHeadSize = 12;
inline constexpr uint8_t kDirectFlag = 0x80;
inline constexpr uint32_t kMaxDirectValue = 0xFFFFFF;

// Body blocks: a 16-byte head and 512 text bytes.
inline constexpr std::size_t kBlockHeadSize = 16;
inline constexpr std::size_t kBlockTextSize = 512;
inline constexpr std::size_t kBlockSize = kBlockHeadSize + kBlockTextSize;

// How far readers look for the end of an indirect text.
inline constexpr std::size_t kMessageTextWindow = 8192;
inline constexpr std::size_t kFolderTextWindow = 255;

// Largest offset a DBX file can hold.
inline constexpr uint64_t kMaxFileOffset = 0x7FFFFFFF;

}  // namespace dbxgen

#endif  // TOLLAN_TESTS_SUPPORT_DBXGEN_LAYOUT_H_
