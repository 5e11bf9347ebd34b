// Column layouts of the tables of a new store, as Outlook writes them: the
// table templates every new folder, message and attachment table is copied
// from, and the few internal tables of the store ([MS-PST] 2.4.4, 2.4.5,
// 2.4.6). Offsets and existence bits are those of Outlook's own files.
#ifndef TOLLAN_PLATFORM_PST_MESSAGING_TEMPLATES_H_
#define TOLLAN_PLATFORM_PST_MESSAGING_TEMPLATES_H_

#include <vector>

#include "platform/pst/ltp/tc_builder.h"

namespace pst::messaging {

std::vector<ltp::TcColumn> HierarchyTableColumns();      // 0x60D
std::vector<ltp::TcColumn> ContentsTableColumns();       // 0x60E
std::vector<ltp::TcColumn> AssocContentsTableColumns();  // 0x60F
std::vector<ltp::TcColumn> RootAssocContentsTableColumns();  // the root folder's
std::vector<ltp::TcColumn> SearchContentsTableColumns();  // 0x610
std::vector<ltp::TcColumn> ReceiveFolderTableColumns();   // 0x62B
std::vector<ltp::TcColumn> OutgoingQueueTableColumns();   // 0x64C
std::vector<ltp::TcColumn> AttachmentTableColumns();      // 0x671
std::vector<ltp::TcColumn> RecipientTableColumns();       // 0x692
std::vector<ltp::TcColumn> InternalTable6B6Columns();
std::vector<ltp::TcColumn> InternalTable6D7Columns();
std::vector<ltp::TcColumn> InternalTable6F8Columns();

}  // namespace pst::messaging

#endif  // TOLLAN_PLATFORM_PST_MESSAGING_TEMPLATES_H_
