// Sizes and names for a .pst split into parts at a size limit: how many
// bytes a message will take in the file, how many Close will still add for
// it, and the name of each further part.
//
//   if (ProjectedSize(file.FileSize(), MessageBytes(m) + pending + CloseBytes(m) +
//                     CloseBytesFixed(folders)) > limit)
//     ... complete this part and go on in PartPath(path, 2) ...
//
// The estimates are from above: a part closed by these rules stays under
// its limit unless a single message is larger than the limit.
#ifndef TOLLAN_CONVERTER_ENGINE_PST_PARTS_H_
#define TOLLAN_CONVERTER_ENGINE_PST_PARTS_H_

#include <cstdint>
#include <string>

#include "platform/pst/message.h"

namespace tollan {

// The bytes AddMessage writes for `m`: its property data, recipient rows and
// attachments, with room for block trailers, alignment and data trees.
uint64_t MessageBytes(const pst::MessageContent& m);

// The bytes Close adds for `m` once it is stored: its row in the folder's
// contents table and the index entries of its node and blocks.
uint64_t CloseBytes(const pst::MessageContent& m);

// The bytes Close adds to any file: the store's tables and maps, the
// indexes' upper pages, and `folders` folders with their tables.
uint64_t CloseBytesFixed(size_t folders);

// The size of a file of `written` bytes so far once `to_come` more are
// written and it is closed: blocks never span an allocation interval (the
// end of one may stay unused), and the file ends with a whole interval.
uint64_t ProjectedSize(uint64_t written, uint64_t to_come);

// "NAME (part N).pst" for "NAME.pst" (a name without extension gets
// " (part N)").
std::string PartPath(const std::string& path, int part);

// The display name of part N (N > 1) of a store: "NAME (part N)", so that
// parts opened side by side can be told apart.
std::string PartDisplayName(const std::string& name, int part);

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_ENGINE_PST_PARTS_H_
