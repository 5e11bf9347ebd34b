// Reading a whole folder file: its header, its folder-info block and the
// records of every message its index lists.
#ifndef TOLLAN_READER_DBX_FOLDER_FILE_H_
#define TOLLAN_READER_DBX_FOLDER_FILE_H_

#include <vector>

#include "reader/dbx/byte_source.h"
#include "reader/dbx/format.h"
#include "reader/dbx/message_record.h"
#include "reader/dbx/status.h"

namespace dbx {

struct DbxFolderContents {
  DbxFileHeader header;
  DbxFolderInfo info;
  // One message per index entry reached, in index order (each record after
  // the subtree that follows its entry). A record that cannot be decoded
  // still yields a message, with its defaults.
  std::vector<DbxMessage> messages;
  // At least one message's body position ended up 8 or 12.
  bool unreadable_message = false;
};

// Reads the folder file held by `source` into *contents.
//
// Returns 1002 when the file does not begin with the folder-file signature
// (then only contents->header is set), 1005 when it was read but a message
// body cannot be located, 0 when it was read; on a device error the error,
// with contents holding the messages listed before it.
DbxStatus ReadFolderFile(ByteSource& source, DbxFolderContents* contents);

// Reads and decodes only the header at offset 0.
DbxStatus ReadFileHeader(ByteSource& source, DbxFileHeader* header);

}  // namespace dbx

#endif  // TOLLAN_READER_DBX_FOLDER_FILE_H_
