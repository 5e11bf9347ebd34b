// Folder list reading.
#include "reader/dbx/folder_list.h"

#include "reader/dbx/folder_file.h"
#include "reader/dbx/index_walk.h"

namespace dbx {

DbxStatus ReadFolderList(ByteSource& source, bool include_inactive,
                         std::vector<DbxFolderRecord>* folders) {
  DbxFileHeader header;
  DbxStatus s = ReadFileHeader(source, &header);
  if (!s.ok()) return s;
  if (!header.IsFolderList()) return DbxStatus(kResultWrongSignature, "not a DBX folder list");
  return WalkIndex(source, header.root_offset, IndexOrder::kFolders,
                   [&](uint32_t record_offset) {
                     if (record_offset == 0) return DbxStatus::Ok();
                     DbxFolderRecord folder;
                     DbxStatus d = DecodeFolderRecord(source, record_offset, &folder);
                     if (d.ok() && folder.Listed(include_inactive)) {
                       folders->push_back(std::move(folder));
                     }
                     return d;
                   });
}

std::string ParentFolderName(const std::vector<DbxFolderRecord>& folders, int32_t parent_index) {
  if (parent_index == -1) return "";
  for (const DbxFolderRecord& f : folders) {
    if (f.folder_index == parent_index) return f.folder_name;
  }
  return "";
}

}  // namespace dbx
