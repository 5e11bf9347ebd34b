// The on-disk structures shared by DBX folder files and the folder list
// folders.dbx, and their decoding from raw little-endian bytes.
//
// Every structure is read at a fixed size; the Decode* functions take exactly
// that many bytes and never fail. Offsets are 0-based file positions.
#ifndef TOLLAN_READER_DBX_FORMAT_H_
#define TOLLAN_READER_DBX_FORMAT_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace dbx {

inline constexpr uint32_t kDbxSignature = 0xFE12ADCF;
inline constexpr uint32_t kFolderFileKind = 0x6F74FDC5;
inline constexpr uint32_t kFolderListKind = 0x6F74FDC6;

inline constexpr size_t kFileHeaderSize = 0x24BC;   // 9404
inline constexpr size_t kFolderInfoSize = 1550;      // follows the header
inline constexpr size_t kIndexNodeSize = 648;
inline constexpr size_t kMaxNodeEntries = 52;
inline constexpr size_t kRecordHeadSize = 12;
inline constexpr size_t kRecordEntrySize = 4;
inline constexpr size_t kBodyBlockSize = 528;
inline constexpr size_t kBodyTextSize = 512;
inline constexpr size_t kInternalNameSize = 256;
inline constexpr uint8_t kLocalStoreSourceType = 3;

// Kinds of damage found while decoding a record; the record is still used.
inline constexpr uint32_t kDamageUnterminatedText = 1;  // text cut at its window's end
inline constexpr uint32_t kDamageBadDate = 2;           // date without calendar form, or direct

inline uint32_t LoadLe32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
inline uint64_t LoadLe64(const uint8_t* p) {
  return uint64_t{LoadLe32(p)} | uint64_t{LoadLe32(p + 4)} << 32;
}

// The first 9404 bytes of every DBX file.
struct DbxFileHeader {
  uint32_t signature = 0;    // 0xFE12ADCF
  uint32_t file_kind = 0;    // folder file or folder list
  uint32_t root_offset = 0;  // root node of the index tree, at 0xE4
  // The number of records the index tree holds, at 0xC4, kept by the writer
  // of the file apart from the tree itself: a tree that yields fewer is
  // damaged.
  uint32_t message_count = 0;

  bool IsFolderFile() const {
    return signature == kDbxSignature && file_kind == kFolderFileKind;
  }
  bool IsFolderList() const {
    return signature == kDbxSignature && file_kind == kFolderListKind;
  }
};
DbxFileHeader DecodeFileHeader(const uint8_t (&bytes)[kFileHeaderSize]);

// The 1550-byte block after the header of a folder file.
struct DbxFolderInfo {
  uint8_t source_type = 0;     // 3 = local mail store, else newsgroup
  std::string internal_name;   // raw ANSI bytes up to the first zero
  bool internal_name_terminated = true;  // false: no zero byte in 256 bytes
  int32_t session_number = 0;  // at block offset 0x215 (unaligned)

  bool IsLocalStore() const { return source_type == kLocalStoreSourceType; }
  // "LocalStore" or "News".
  const char* SourceTypeName() const { return IsLocalStore() ? "LocalStore" : "News"; }
};
DbxFolderInfo DecodeFolderInfo(const uint8_t (&bytes)[kFolderInfoSize]);

// One entry of an index node.
struct DbxIndexEntry {
  uint32_t record_offset = 0;  // where the entry's DbxRecord lies
  uint32_t child_offset = 0;   // subtree following this entry; 0 = none
};

// One node of an index tree.
struct DbxIndexNode {
  uint32_t own_offset = 0;     // equals the offset the node was read from
  uint32_t first_child = 0;    // subtree in front of entry 0; 0 = none
  uint8_t entry_count = 0;     // as stored; may exceed kMaxNodeEntries
  std::array<DbxIndexEntry, kMaxNodeEntries> entries{};

  // The number of entries to use: the stored count, at most 52.
  size_t UsableEntries() const {
    return entry_count < kMaxNodeEntries ? entry_count : kMaxNodeEntries;
  }
};
DbxIndexNode DecodeIndexNode(const uint8_t (&bytes)[kIndexNodeSize]);

// The 12-byte head of a message or folder record.
struct DbxRecord {
  uint32_t own_offset = 0;
  uint8_t entry_count = 0;  // c; entries follow at +12, data area at +12+4c
};
DbxRecord DecodeRecordHead(const uint8_t (&bytes)[kRecordHeadSize]);

// One 4-byte entry of a record.
struct DbxRecordEntry {
  uint8_t index = 0;    // field index, 0 to 127
  bool direct = false;  // value held in the entry itself
  uint32_t value = 0;   // 24-bit value, or offset into the data area
};
DbxRecordEntry DecodeRecordEntry(const uint8_t (&bytes)[kRecordEntrySize]);

// The text of a direct text entry: value bytes 1, 2, 3 up to the first zero.
std::string DirectEntryText(uint32_t value);

// One block of a message body chain.
struct DbxBodyBlock {
  uint32_t own_offset = 0;
  uint32_t used_length = 0;  // text bytes used; 512 in all but the last block
  uint32_t next_offset = 0;  // 0 = last block
  const uint8_t* text = nullptr;  // the 512 text bytes, inside the decoded buffer
};
DbxBodyBlock DecodeBodyBlock(const uint8_t (&bytes)[kBodyBlockSize]);

}  // namespace dbx

#endif  // TOLLAN_READER_DBX_FORMAT_H_
