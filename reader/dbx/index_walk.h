// Walking the index tree of a DBX file, delivering record offsets in the
// order that gives the order of the message list or of the folder list.
#ifndef TOLLAN_READER_DBX_INDEX_WALK_H_
#define TOLLAN_READER_DBX_INDEX_WALK_H_

#include <cstdint>
#include <functional>

#include "reader/dbx/byte_source.h"
#include "reader/dbx/status.h"

namespace dbx {

enum class IndexOrder {
  // Folder files: each entry's record comes after the subtree that follows
  // the entry (first child, then for each entry: its child, its record).
  kMessages,
  // The folder list: each entry's record comes before the subtree that
  // follows it (first child, then for each entry: its record, its child).
  kFolders,
};

// Receives each record offset as stored. Returning a non-ok status stops the
// walk, and WalkIndex returns that status.
using RecordVisitor = std::function<DbxStatus(uint32_t record_offset)>;

// Walks the tree rooted at the node at root_offset.
//
// A node whose own-offset field differs from the offset it was read at ends
// its subtree silently (so a root offset of 0 gives an empty tree). A node
// holding more than 52 entries is treated as holding 52. A node reached a
// second time (a cycle, or two parents sharing a subtree) is not walked
// again, so every walk ends. The walk keeps its own stack: deep trees do not
// exhaust the call stack. Fails only on a device error.
DbxStatus WalkIndex(ByteSource& source, uint32_t root_offset, IndexOrder order,
                    const RecordVisitor& visit);

}  // namespace dbx

#endif  // TOLLAN_READER_DBX_INDEX_WALK_H_
