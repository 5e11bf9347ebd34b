// The fixed nodes of a new store that do not change as folders and messages
// are added: table templates, the receive-folder and outgoing-queue tables,
// the search management nodes and a few internal nodes, with the contents
// Outlook gives them in a new personal-folders file.
#ifndef TOLLAN_PLATFORM_PST_MESSAGING_STORE_SKELETON_H_
#define TOLLAN_PLATFORM_PST_MESSAGING_STORE_SKELETON_H_

#include "platform/pst/ndb/ndb_writer.h"
#include "platform/pst/status.h"

namespace pst::messaging {

inline constexpr Nid kNidMessageStore = 0x21;
inline constexpr Nid kNidNameToIdMap = 0x61;
inline constexpr Nid kNidRootFolder = 0x122;

// Writes the fixed nodes. `receive_folder` is the folder named in the
// receive-folder table for the default message class.
Status WriteStoreSkeleton(NdbWriter* ndb, Nid receive_folder);

// Node id of a folder's hierarchy, contents and associated-contents tables.
inline Nid HierarchyTableNid(Nid folder) { return (folder & ~Nid{0x1F}) | 0x0D; }
inline Nid ContentsTableNid(Nid folder) { return (folder & ~Nid{0x1F}) | 0x0E; }
inline Nid AssocContentsTableNid(Nid folder) { return (folder & ~Nid{0x1F}) | 0x0F; }

}  // namespace pst::messaging

#endif  // TOLLAN_PLATFORM_PST_MESSAGING_STORE_SKELETON_H_
