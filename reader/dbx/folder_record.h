// Decoding of the folder records of the folder list folders.dbx.
#ifndef TOLLAN_READER_DBX_FOLDER_RECORD_H_
#define TOLLAN_READER_DBX_FOLDER_RECORD_H_

#include <cstdint>
#include <string>

#include "reader/dbx/byte_source.h"
#include "reader/dbx/format.h"
#include "reader/dbx/status.h"

namespace dbx {

// How far a text window of a folder record looks for its terminating zero.
inline constexpr size_t kFolderTextWindow = 255;

// Folder flag bits (field 0x06).
inline constexpr uint32_t kFolderFlagActive = 0x01;
inline constexpr uint32_t kFolderFlagHasSubfolders = 0x10;

// The folder name that is always listed, active or not (the store's root).
inline constexpr char kRootFolderName[] = "Outlook Express";

// One folder as its record in the folder list describes it. Texts are raw
// single-byte text in the store's ANSI code page. Values the record does not
// give keep their defaults (the parent index included: 0, not -1).
struct DbxFolderRecord {
  uint32_t record_offset = 0;
  int32_t folder_index = 0;    // 0x00
  int32_t parent_index = 0;    // 0x01; -1 for none
  std::string folder_name;     // 0x02
  std::string folder_file;     // 0x03: file name inside the store directory
  bool is_active = false;      // 0x06 bit 0
  bool has_subfolders = false; // 0x06 bit 4
  int32_t message_count = 0;   // 0x07
  int32_t message_unread = 0;  // 0x08
  uint32_t damage = 0;         // kDamageUnterminatedText when a text was cut

  // Whether the folder belongs in a folder list built with or without the
  // inactive folders: the root folder and active folders always do.
  bool Listed(bool include_inactive) const {
    return include_inactive || is_active || folder_name == kRootFolderName;
  }
};

// Decodes the folder record at record_offset into *folder (which starts from
// its defaults). Folder records carry no own-offset test. A number held
// indirectly is the signed 4-byte value at its data offset; a text without a
// zero byte within 255 bytes is cut there. The flag field only sets flags,
// never clears them. Fails only on a device error.
DbxStatus DecodeFolderRecord(ByteSource& source, uint32_t record_offset, DbxFolderRecord* folder);

}  // namespace dbx

#endif  // TOLLAN_READER_DBX_FOLDER_RECORD_H_
