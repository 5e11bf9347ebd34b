// Reading the folder list folders.dbx: one record per folder of the store.
#ifndef TOLLAN_READER_DBX_FOLDER_LIST_H_
#define TOLLAN_READER_DBX_FOLDER_LIST_H_

#include <string>
#include <vector>

#include "reader/dbx/byte_source.h"
#include "reader/dbx/folder_record.h"
#include "reader/dbx/status.h"

namespace dbx {

// The file name of the folder list inside a store directory.
inline constexpr char kFolderListName[] = "folders.dbx";

// Reads the folder list held by `source`, appending to *folders in index
// order (each record before the subtree that follows its entry). Folders
// that are not active are left out unless include_inactive is set; the root
// folder "Outlook Express" is always kept. An index entry with record offset
// 0 names no record and is skipped.
//
// Returns 1002 when the file does not begin with the folder-list signature;
// on a device error the error, with *folders holding the folders listed
// before it.
DbxStatus ReadFolderList(ByteSource& source, bool include_inactive,
                         std::vector<DbxFolderRecord>* folders);

// The FolderName of the first folder in `folders` whose folder index is
// `parent_index`; "" for parent index -1 or when there is none.
std::string ParentFolderName(const std::vector<DbxFolderRecord>& folders, int32_t parent_index);

}  // namespace dbx

#endif  // TOLLAN_READER_DBX_FOLDER_LIST_H_
