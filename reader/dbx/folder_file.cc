// Folder file reading: signature check, folder info, message index.
#include "reader/dbx/folder_file.h"

#include <memory>
#include <string>
#include <vector>

#include "reader/dbx/index_walk.h"

namespace dbx {

namespace {

// The end of the last header field a folder file is read by (the index
// root at 0xE4).
constexpr uint64_t kHeaderFieldsEnd = 0xE8;

}  // namespace

DbxStatus ReadFileHeader(ByteSource& source, DbxFileHeader* header) {
  uint8_t bytes[kFileHeaderSize];
  DbxStatus s = source.Read(0, sizeof(bytes), bytes);
  if (s.ok()) *header = DecodeFileHeader(bytes);
  return s;
}

DbxStatus ReadFolderFile(ByteSource& source, DbxFolderContents* contents) {
  DbxStatus s = ReadFileHeader(source, &contents->header);
  if (!s.ok()) return s;
  if (!contents->header.IsFolderFile()) {
    return DbxStatus(kResultWrongSignature, "not a DBX folder file");
  }
  // Past its end a file reads as zeros: a file cut inside the header would
  // pass for an empty folder.
  if (source.size() < kHeaderFieldsEnd) {
    return DbxStatus(kErrorBadFile, "the folder file is cut short: its " + std::to_string(source.size()) +
                                        " bytes end before its header's message count and index root");
  }
  uint8_t info[kFolderInfoSize];
  s = source.Read(kFileHeaderSize, sizeof(info), info);
  if (!s.ok()) return s;
  contents->info = DecodeFolderInfo(info);

  // Collect the record offsets first, so the messages are built in place.
  std::vector<uint32_t> records;
  DbxStatus walk = WalkIndex(source, contents->header.root_offset, IndexOrder::kMessages,
                             [&](uint32_t record_offset) {
                               records.push_back(record_offset);
                               return DbxStatus::Ok();
                             });
  contents->messages.reserve(contents->messages.size() + records.size());
  for (uint32_t record_offset : records) {
    DbxMessage& m = contents->messages.emplace_back();
    s = DecodeMessageRecord(source, record_offset, &m);
    if (m.body_unreadable) contents->unreadable_message = true;
    if (!s.ok()) return s;
  }
  if (!walk.ok()) return walk;
  if (contents->unreadable_message) {
    return DbxStatus(kResultUnreadableBody,
                     "a message body position points into its record; the folder needs "
                     "compacting");
  }
  return DbxStatus::Ok();
}

}  // namespace dbx
