// Fixed nodes of a new store.
#include "platform/pst/messaging/store_skeleton.h"

#include <memory>
#include <vector>

#include "platform/pst/ltp/subnode_ids.h"
#include "platform/pst/ltp/tc_builder.h"
#include "platform/pst/messaging/templates.h"

namespace pst::messaging {
namespace {

Status PutEmptyTable(NdbWriter* ndb, Nid nid, std::vector<ltp::TcColumn> columns) {
  std::unique_ptr<ltp::TcBuilder> table;
  Status s = ltp::TcBuilder::Create(std::move(columns), &table);
  if (!s.ok()) return s;
  ltp::SubnodeIds ids;
  NodeData node;
  s = table->Finish(&ids, &node);
  if (!s.ok()) return s;
  return ndb->PutNode(nid, 0, node);
}

Status PutRaw(NdbWriter* ndb, Nid nid, std::vector<uint8_t> bytes) {
  NodeData node;
  node.data = std::move(bytes);
  return ndb->PutNode(nid, 0, node);
}

}  // namespace

Status WriteStoreSkeleton(NdbWriter* ndb, Nid receive_folder) {
  struct Template {
    Nid nid;
    std::vector<ltp::TcColumn> columns;
  };
  const Template templates[] = {
      {0x60D, HierarchyTableColumns()},     {0x60E, ContentsTableColumns()},
      {0x60F, AssocContentsTableColumns()}, {0x610, SearchContentsTableColumns()},
      {0x64C, OutgoingQueueTableColumns()}, {0x671, AttachmentTableColumns()},
      {0x692, RecipientTableColumns()},     {0x6B6, InternalTable6B6Columns()},
      {0x6D7, InternalTable6D7Columns()},   {0x6F8, InternalTable6F8Columns()},
  };
  for (const Template& t : templates) {
    Status s = PutEmptyTable(ndb, t.nid, t.columns);
    if (!s.ok()) return s;
  }

  // Receive-folder table: one row sending the default message class ("")
  // to `receive_folder`.
  {
    std::unique_ptr<ltp::TcBuilder> table;
    Status s = ltp::TcBuilder::Create(ReceiveFolderTableColumns(), &table);
    if (!s.ok()) return s;
    Property message_class = MakeString(0x001A, u"");
    Property folder = MakeInt32(0x6605, static_cast<int32_t>(receive_folder));
    std::vector<const Property*> cells;
    for (const auto& c : table->columns()) {
      cells.push_back(c.tag == 0x001A001F ? &message_class
                      : c.tag == 0x66050003 ? &folder
                                            : nullptr);
    }
    s = table->AddRow(1, 2, cells);
    if (!s.ok()) return s;
    ltp::SubnodeIds ids;
    NodeData node;
    s = table->Finish(&ids, &node);
    if (!s.ok()) return s;
    s = ndb->PutNode(0x62B, 0, node);
    if (!s.ok()) return s;
  }

  // Search management queue, search activity list, search domain object,
  // gatherer queue and gatherer folder queue start empty; so does 0xE41.
  for (Nid nid : {Nid{0x1E1}, Nid{0x201}, Nid{0x261}, Nid{0x281}, Nid{0x321}, Nid{0xE41}}) {
    Status s = ndb->PutNode(nid, 0, 0, 0);
    if (!s.ok()) return s;
  }

  // Search gatherer descriptor, as in a new store.
  std::vector<uint8_t> gatherer(88, 0);
  gatherer[16] = 1;
  gatherer[24] = 1;
  gatherer[28] = 1;
  Status s = PutRaw(ndb, 0x2A1, std::move(gatherer));
  if (!s.ok()) return s;

  // 0xC01: a heap holding an empty BTH of 16-byte keys and 4-byte entries.
  return PutRaw(ndb, 0xC01, {0x18, 0x00, 0xEC, 0x9C, 0x20, 0x00, 0x00, 0x00, 0x00,
                             0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0xB5, 0x10,
                             0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00,
                             0x00, 0x0C, 0x00, 0x10, 0x00, 0x18, 0x00});
}

}  // namespace pst::messaging
