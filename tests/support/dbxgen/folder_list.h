// The folder list ("Folders.dbx" in Outlook Express stores): one record per
// folder with its number, its parent's number, its name, its file, its flags
// and its message counts, indexed by a tree in folder-number order.
#ifndef TOLLAN_TESTS_SUPPORT_DBXGEN_FOLDER_LIST_H_
#define TOLLAN_TESTS_SUPPORT_DBXGEN_FOLDER_LIST_H_

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/dbxgen/file_damage.h"
#include "tests/support/dbxgen/index_tree.h"
#include "tests/support/dbxgen/record.h"
#include "tests/support/dbxgen/status.h"

namespace dbxgen {

// Field indexes of folder records.
enum FolderField : uint8_t {
  kFolderId = 0x00,
  kFolderParent = 0x01,
  kFolderName = 0x02,
  kFolderFile = 0x03,
  kFolderStoreText = 0x05,
  kFolderFlags = 0x06,
  kFolderMessageCount = 0x07,
  kFolderUnreadCount = 0x08,
  kFolderSpecial = 0x09,
  kFolderType = 0x0A,
};

// Bits of the folder flag word (field 0x06).
inline constexpr uint32_t kFolderActive = 0x01;
inline constexpr uint32_t kFolderHasSubfolders = 0x10;

// Parent number of the root folder.
inline constexpr uint32_t kNoParent = 0xFFFFFFFF;

// One folder record as the folder list holds it.
struct FolderRecord {
  uint32_t id = 0;          // left out of the record when 0
  uint32_t parent = 0;      // left out when 0; kNoParent (stored as 4 bytes) for the root
  std::string name;
  std::string file_name;    // left out when ""
  std::optional<std::string> store_text;  // 0x05, "LocalStore" on "Local Folders"
  uint32_t flags = kFolderActive;
  uint32_t message_count = 0;  // left out when 0
  uint32_t unread_count = 0;   // left out when 0
  std::optional<uint32_t> special;  // 0x09: 1 Inbox, 2 Outbox, 3 Sent Items, 4 Deleted Items, 5 Drafts
  std::optional<uint32_t> type;     // 0x0A: 4 the root, 3 local folders, 2 a mail account
  std::map<uint8_t, Storage> storage;  // per field index; others kAuto
  std::vector<Field> extra_fields;     // appended in this order
  // Damage: the name is written without a zero byte and longer than the
  // 255-byte window a reader looks through (see StoredFolderName()).
  bool unterminated_name = false;
};

// The bytes written for the name; for an unterminated name, the name and
// filler up to 300 bytes, without a zero byte.
std::string StoredFolderName(const FolderRecord& folder);

// Fields of a folder record.
std::vector<Field> FolderRecordFields(const FolderRecord& folder);

struct FolderListOptions {
  std::string file_name = "Folders.dbx";
  TreeOptions tree;
  FileDamage damage;
};

struct FolderListReport {
  std::filesystem::path path;
  uint64_t file_size = 0;
  std::vector<uint32_t> record_offsets;  // by position
  // Positions in the order a folder-list walk of the index delivers them.
  std::vector<std::size_t> walk_order;
  uint32_t root_offset = 0;
  std::size_t tree_depth = 0;
};

// Writes the folder list into `directory`; the records are indexed in the
// order given (Outlook Express sorts them by folder number).
Result<FolderListReport> WriteFolderList(const std::filesystem::path& directory,
                                         const std::vector<FolderRecord>& folders,
                                         const FolderListOptions& options);

}  // namespace dbxgen

#endif  // TOLLAN_TESTS_SUPPORT_DBXGEN_FOLDER_LIST_H_
