// Messaging-layer checks: mandatory nodes, store, name-to-id map, folders,
// messages, attachments and the tables that list them.
#include "platform/pst/check/messaging_checker.h"

#include <cinttypes>
#include <cstdio>
#include <vector>

#include "platform/pst/check/format.h"
#include "platform/text/utf.h"

namespace pst::check {
namespace {

std::string Hex(uint64_t v) {
  char buf[24];
  std::snprintf(buf, sizeof(buf), "0x%" PRIx64, v);
  return buf;
}

std::string TagName(uint32_t tag) {
  char buf[16];
  std::snprintf(buf, sizeof(buf), "0x%08X", tag);
  return buf;
}

constexpr uint32_t kTagRecordKey = 0x0FF90102;
constexpr uint32_t kTagDisplayName = 0x3001001F;
constexpr uint32_t kTagSubject = 0x0037001F;
constexpr uint32_t kTagMessageClass = 0x001A001F;
constexpr uint32_t kTagMessageFlags = 0x0E070003;
constexpr uint32_t kTagMessageSize = 0x0E080003;
constexpr uint32_t kTagContentCount = 0x36020003;
constexpr uint32_t kTagContentUnread = 0x36030003;
constexpr uint32_t kTagSubfolders = 0x360A000B;
constexpr uint32_t kTagAssocContentCount = 0x36170003;
constexpr uint32_t kTagLtpRowId = 0x67F20003;
constexpr uint32_t kTagLtpRowVer = 0x67F30003;
constexpr uint32_t kMsgFlagRead = 0x1;
constexpr uint32_t kTagAttachSize = 0x0E200003;
constexpr uint32_t kTagAttachDataBinary = 0x37010102;

struct Mandatory {
  uint32_t nid;
  const char* what;
};
// Nodes every Unicode store carries ([MS-PST] 2.7.1, and what Outlook creates).
constexpr Mandatory kMandatory[] = {
    {0x21, "message store"},
    {0x61, "name-to-id map"},
    {0x122, "root folder"},
    {0x12D, "root folder hierarchy table"},
    {0x12E, "root folder contents table"},
    {0x12F, "root folder associated contents table"},
    {0x1E1, "search management queue"},
    {0x201, "search activity list"},
    {0x261, "search domain object"},
    {0x281, "search gatherer queue"},
    {0x2A1, "search gatherer descriptor"},
    {0x321, "search gatherer folder queue"},
    {0x60D, "hierarchy table template"},
    {0x60E, "contents table template"},
    {0x60F, "associated contents table template"},
    {0x610, "search contents table template"},
    {0x62B, "receive folder table"},
    {0x64C, "outgoing queue table"},
    {0x671, "attachment table template"},
    {0x692, "recipient table template"},
    {0x6B6, "internal table (type 0x16)"},
    {0x6D7, "internal table (type 0x17)"},
    {0x6F8, "internal table (type 0x18)"},
};
// The tables among them.
constexpr uint32_t kMandatoryTables[] = {0x60D, 0x60E, 0x60F, 0x610, 0x62B, 0x64C,
                                         0x671, 0x692, 0x6B6, 0x6D7, 0x6F8};

uint32_t TableNid(uint64_t folder, uint32_t type) {
  return (static_cast<uint32_t>(folder) & ~kNidTypeMask) | type;
}

uint32_t PropU32(const PropMap& props, uint32_t tag, bool* found) {
  auto it = props.find(tag);
  *found = it != props.end() && it->second.data.size() >= 4;
  return *found ? Le32(it->second.data.data()) : 0;
}

// A name for a finding: the first 80 or so bytes of its UTF-8 form, without
// control characters.
std::string Utf8(const Bytes& utf16) {
  std::u16string units;
  units.reserve(utf16.size() / 2);
  for (size_t i = 0; i + 1 < utf16.size(); i += 2) units.push_back(Le16(&utf16[i]));
  std::string out;
  for (char c : text::Utf16ToUtf8(units)) {
    const unsigned char b = static_cast<unsigned char>(c);
    if (b < 0x20) continue;
    if (out.size() >= 80 && (b & 0xC0) != 0x80) break;  // stop on a character boundary
    out.push_back(c);
  }
  return out;
}

}  // namespace

uint64_t MessagingChecker::OffsetOf(const NodeEntry& node) const {
  uint64_t ib = ndb_.DataOffset(node.bid_data);
  return ib != 0 ? ib : node.page;
}

std::string MessagingChecker::NameOf(uint64_t nid) const {
  std::string kind;
  switch (NidType(nid)) {
    case kNidTypeNormalFolder: kind = "folder "; break;
    case kNidTypeSearchFolder: kind = "search folder "; break;
    case kNidTypeNormalMessage: kind = "message "; break;
    case kNidTypeAssocMessage: kind = "associated message "; break;
    default: kind = "node "; break;
  }
  return kind + Hex(nid);
}

bool MessagingChecker::LoadPc(const NodeEntry& node, const std::string& what, PropMap* props) {
  Heap heap;
  std::string error;
  std::vector<std::string> problems;
  bool ok = heap.Load(ndb_, node.bid_data, node.bid_sub, &error) && ReadPc(heap, props, &error, &problems);
  uint64_t at = OffsetOf(node);
  if (!ok) report_->Add(at, what + ": property context: " + error);
  for (const std::string& p : problems) report_->Add(at, what + ": " + p);
  return ok;
}

bool MessagingChecker::LoadTc(uint64_t nid, const std::string& what, Table* table) {
  const NodeEntry* node = ndb_.FindNode(nid);
  if (node == nullptr) {
    report_->Add(0, what + ": node " + Hex(nid) + " is missing");
    return false;
  }
  Heap heap;
  std::string error;
  std::vector<std::string> problems;
  bool ok = heap.Load(ndb_, node->bid_data, node->bid_sub, &error) && ReadTc(heap, table, &error, &problems);
  uint64_t at = OffsetOf(*node);
  if (!ok) report_->Add(at, what + " (node " + Hex(nid) + "): table context: " + error);
  for (const std::string& p : problems) report_->Add(at, what + " (node " + Hex(nid) + "): " + p);
  return ok;
}

void MessagingChecker::CheckMandatoryNodes() {
  for (const Mandatory& m : kMandatory) {
    if (ndb_.FindNode(m.nid) == nullptr) {
      report_->Add(ndb_.header().nbt.ib, std::string("mandatory node ") + Hex(m.nid) + " (" + m.what +
                                             ") is missing from the NBT");
    }
  }
  for (uint32_t nid : kMandatoryTables) {
    Table t;
    if (ndb_.FindNode(nid) != nullptr) LoadTc(nid, "internal table", &t);
  }
}

void MessagingChecker::CheckStore() {
  const NodeEntry* store = ndb_.FindNode(kNidMessageStore);
  if (store == nullptr) return;
  PropMap props;
  if (!LoadPc(*store, "message store", &props)) return;
  uint64_t at = OffsetOf(*store);
  auto key = props.find(kTagRecordKey);
  if (key == props.end() || key->second.data.size() != 16) {
    report_->Add(at, "message store: PidTagRecordKey is missing or not 16 bytes");
    return;
  }
  if (!props.count(kTagDisplayName)) report_->Add(at, "message store: PidTagDisplayName is missing");
  struct EntryId { uint32_t tag; const char* what; };
  const EntryId ids[] = {{0x35E00102, "PidTagIpmSubTreeEntryId"},
                         {0x35E30102, "PidTagIpmWastebasketEntryId"},
                         {0x35E70102, "PidTagFinderEntryId"}};
  for (const EntryId& id : ids) {
    auto it = props.find(id.tag);
    if (it == props.end()) {
      report_->Add(at, std::string("message store: ") + id.what + " is missing");
      continue;
    }
    const Bytes& v = it->second.data;
    if (v.size() != 24 || Le32(v.data()) != 0 ||
        !std::equal(v.begin() + 4, v.begin() + 20, key->second.data.begin())) {
      report_->Add(at, std::string("message store: ") + id.what +
                           " is not a 24-byte entry id carrying the store's record key");
      continue;
    }
    uint32_t nid = Le32(v.data() + 20);
    const NodeEntry* target = ndb_.FindNode(nid);
    if (target == nullptr || NidType(nid) != kNidTypeNormalFolder) {
      report_->Add(at, std::string("message store: ") + id.what + " names " + Hex(nid) +
                           ", which is not a folder in the NBT");
    }
  }
}

void MessagingChecker::CheckNameToIdMap() {
  const NodeEntry* node = ndb_.FindNode(kNidNameToIdMap);
  if (node == nullptr) return;
  PropMap props;
  if (!LoadPc(*node, "name-to-id map", &props)) return;
  uint64_t at = OffsetOf(*node);
  auto guids = props.find(0x00020102), entries = props.find(0x00030102), strings = props.find(0x00040102);
  bool bucket_found;
  PropU32(props, 0x00010003, &bucket_found);
  if (!bucket_found || guids == props.end() || entries == props.end() || strings == props.end()) {
    report_->Add(at, "name-to-id map: bucket count, GUID, entry or string stream is missing");
    return;
  }
  const Bytes& g = guids->second.data;
  const Bytes& e = entries->second.data;
  const Bytes& s = strings->second.data;
  if (g.size() % 16 != 0) report_->Add(at, "name-to-id map: GUID stream is not whole GUIDs");
  if (e.size() % 8 != 0) {
    report_->Add(at, "name-to-id map: entry stream is not whole 8-byte entries");
    return;
  }
  std::set<uint16_t> indices;
  for (size_t i = 0; i < e.size(); i += 8) {
    uint32_t id = Le32(&e[i]);
    uint16_t guid_and_kind = Le16(&e[i + 4]);
    uint16_t index = Le16(&e[i + 6]);
    std::string which = "name-to-id map: entry " + std::to_string(i / 8);
    uint16_t guid = guid_and_kind >> 1;
    if (guid >= 3 && static_cast<size_t>(guid - 3) >= g.size() / 16) {
      report_->Add(at, which + " names GUID " + std::to_string(guid) + ", beyond the GUID stream");
    }
    if (guid_and_kind & 1) {
      if (static_cast<uint64_t>(id) + 4 > s.size() || id + 4 + static_cast<uint64_t>(Le32(&s[id])) > s.size()) {
        report_->Add(at, which + " names a string outside the string stream");
      }
    }
    if (!indices.insert(index).second) {
      report_->Add(at, which + " reuses property index " + std::to_string(index));
    }
  }
}

void MessagingChecker::CompareRow(uint64_t offset, const std::string& table, const Row& row,
                                  const PropMap& props) {
  for (const auto& [tag, cell] : row.cells) {
    // Row id and version belong to the table; the message size is computed
    // by the store and differs between the row and the message in Outlook's
    // own files.
    if (tag == kTagLtpRowId || tag == kTagLtpRowVer || tag == kTagMessageSize) continue;
    auto it = props.find(tag);
    if (it == props.end() || !cell.complete || !it->second.complete) continue;
    if (it->second.data != cell.data) {
      report_->Add(offset, table + ": row " + Hex(row.id) + " column " + TagName(tag) +
                               " differs from the object's own property");
    }
  }
}

void MessagingChecker::CheckAttachments(const NodeEntry& message, const Heap& heap) {
  std::string what = NameOf(message.nid);
  uint64_t at = OffsetOf(message);
  std::map<uint32_t, PropMap> attachments;
  for (const auto& [nid, sub] : heap.subnodes()) {
    if (NidType(nid) != kNidTypeAttachment) continue;
    ++report_->stats.attachments;
    Heap attach;
    std::string error;
    std::vector<std::string> problems;
    PropMap props;
    if (!attach.Load(ndb_, sub.bid_data, sub.bid_sub, &error) || !ReadPc(attach, &props, &error, &problems)) {
      report_->Add(at, what + " attachment " + Hex(nid) + ": property context: " + error);
    }
    for (const std::string& p : problems) report_->Add(at, what + " attachment " + Hex(nid) + ": " + p);
    // PidTagAttachSize is the size of the whole attachment object, so never
    // less than its data.
    bool found;
    uint32_t size = PropU32(props, kTagAttachSize, &found);
    auto data = props.find(kTagAttachDataBinary);
    if (!found) {
      report_->Add(at, what + " attachment " + Hex(nid) + ": PidTagAttachSize is missing");
    } else if (data != props.end() && data->second.complete && size < data->second.data.size()) {
      report_->Add(at, what + " attachment " + Hex(nid) + ": PidTagAttachSize " + std::to_string(size) +
                           " is less than its " + std::to_string(data->second.data.size()) + " data bytes");
    }
    attachments[nid] = std::move(props);
  }
  auto table_it = heap.subnodes().find(kNidAttachmentTable);
  if (table_it == heap.subnodes().end()) {
    if (!attachments.empty()) report_->Add(at, what + ": has attachments but no attachment table");
    return;
  }
  Heap th;
  Table table;
  std::string error;
  std::vector<std::string> problems;
  if (!th.Load(ndb_, table_it->second.bid_data, table_it->second.bid_sub, &error) ||
      !ReadTc(th, &table, &error, &problems)) {
    report_->Add(at, what + ": attachment table: " + error);
    return;
  }
  for (const std::string& p : problems) report_->Add(at, what + ": attachment table: " + p);
  std::set<uint32_t> listed;
  for (const Row& r : table.rows) {
    listed.insert(r.id);
    auto a = attachments.find(r.id);
    if (a == attachments.end()) {
      report_->Add(at, what + ": attachment table lists " + Hex(r.id) + ", which is not an attachment subnode");
      continue;
    }
    CompareRow(at, what + " attachment table", r, a->second);
  }
  for (const auto& [nid, props] : attachments) {
    if (!listed.count(nid)) report_->Add(at, what + ": attachment " + Hex(nid) + " is missing from the attachment table");
  }
}

PropMap MessagingChecker::CheckMessage(const NodeEntry& message) {
  std::string what = NameOf(message.nid);
  uint64_t at = OffsetOf(message);
  const NodeEntry* parent = ndb_.FindNode(message.nid_parent);
  if (parent == nullptr || NidType(parent->nid) != kNidTypeNormalFolder) {
    report_->Add(message.page, what + ": parent " + Hex(message.nid_parent) + " is not a folder");
  }
  PropMap props;
  if (!LoadPc(message, what, &props)) return props;
  if (!props.count(kTagMessageClass)) report_->Add(at, what + ": PidTagMessageClass is missing");
  Heap heap;
  std::string error;
  if (heap.Load(ndb_, message.bid_data, message.bid_sub, &error)) {
    auto rec = heap.subnodes().find(kNidRecipientTable);
    if (rec != heap.subnodes().end()) {
      Heap rh;
      Table table;
      std::vector<std::string> problems;
      if (!rh.Load(ndb_, rec->second.bid_data, rec->second.bid_sub, &error) ||
          !ReadTc(rh, &table, &error, &problems)) {
        report_->Add(at, what + ": recipient table: " + error);
      }
      for (const std::string& p : problems) report_->Add(at, what + ": recipient table: " + p);
    }
    CheckAttachments(message, heap);
  }
  return props;
}

void MessagingChecker::CheckFolder(const NodeEntry& folder) {
  std::string what = NameOf(folder.nid);
  uint64_t at = OffsetOf(folder);
  auto props_it = folder_props_.find(folder.nid);
  if (props_it == folder_props_.end()) return;
  const PropMap& props = props_it->second;
  if (!props.count(kTagDisplayName)) report_->Add(at, what + ": PidTagDisplayName is missing");
  if (folder.nid == kNidRootFolder) {
    if (folder.nid_parent != folder.nid) report_->Add(folder.page, what + ": the root folder must be its own parent");
  } else {
    const NodeEntry* parent = ndb_.FindNode(folder.nid_parent);
    if (parent == nullptr || NidType(parent->nid) != kNidTypeNormalFolder || folder.nid_parent == folder.nid) {
      report_->Add(folder.page, what + ": parent " + Hex(folder.nid_parent) + " is not another folder");
    }
  }

  // What the NBT says lives in this folder. Its messages are checked here,
  // each as its row is compared, so only one message's properties are held
  // at a time however large the folder.
  std::set<uint64_t> child_folders, child_messages, child_assoc, checked;
  for (uint64_t nid : children_[folder.nid]) {
    uint32_t type = NidType(nid);
    if (type == kNidTypeNormalFolder || type == kNidTypeSearchFolder) child_folders.insert(nid);
    if (type == kNidTypeNormalMessage) child_messages.insert(nid);
    if (type == kNidTypeAssocMessage) child_assoc.insert(nid);
  }
  auto check_message = [&](uint64_t nid) {
    checked.insert(nid);
    return CheckMessage(*ndb_.FindNode(nid));
  };

  Table hierarchy, contents, assoc;
  std::string hname = what + " hierarchy table", cname = what + " contents table",
              aname = what + " associated contents table";
  if (LoadTc(TableNid(folder.nid, kNidTypeHierarchyTable), hname, &hierarchy)) {
    std::set<uint64_t> listed;
    for (const Row& r : hierarchy.rows) {
      listed.insert(r.id);
      if (!child_folders.count(r.id)) {
        report_->Add(at, hname + ": row " + Hex(r.id) + " is not a subfolder of this folder");
        continue;
      }
      auto child = folder_props_.find(r.id);
      if (child != folder_props_.end()) CompareRow(at, hname, r, child->second);
    }
    for (uint64_t nid : child_folders) {
      if (!listed.count(nid)) report_->Add(at, hname + ": subfolder " + Hex(nid) + " has no row");
    }
    auto sub = props.find(kTagSubfolders);
    if (sub != props.end() && !sub->second.data.empty() &&
        (sub->second.data[0] != 0) != !hierarchy.rows.empty()) {
      report_->Add(at, what + ": PidTagSubfolders is " + std::to_string(sub->second.data[0]) + " but the folder has " +
                           std::to_string(hierarchy.rows.size()) + " subfolder(s)");
    }
  }
  if (LoadTc(TableNid(folder.nid, kNidTypeContentsTable), cname, &contents)) {
    std::set<uint64_t> listed;
    uint32_t unread = 0;
    for (const Row& r : contents.rows) {
      listed.insert(r.id);
      if (!child_messages.count(r.id)) {
        report_->Add(at, cname + ": row " + Hex(r.id) + " is not a message of this folder");
        continue;
      }
      if (checked.count(r.id)) continue;   // listed twice: the row index rejects that
      PropMap msg = check_message(r.id);
      if (msg.empty()) continue;
      CompareRow(at, cname, r, msg);
      bool found;
      if (!(PropU32(msg, kTagMessageFlags, &found) & kMsgFlagRead)) ++unread;
    }
    for (uint64_t nid : child_messages) {
      if (!listed.count(nid)) report_->Add(at, cname + ": message " + Hex(nid) + " has no row");
    }
    bool found;
    uint32_t count = PropU32(props, kTagContentCount, &found);
    if (found && count != contents.rows.size()) {
      report_->Add(at, what + ": PidTagContentCount is " + std::to_string(count) + " but the contents table has " +
                           std::to_string(contents.rows.size()) + " row(s)");
    }
    uint32_t stored_unread = PropU32(props, kTagContentUnread, &found);
    if (found && stored_unread != unread) {
      report_->Add(at, what + ": PidTagContentUnreadCount is " + std::to_string(stored_unread) + " but " +
                           std::to_string(unread) + " message(s) are unread");
    }
  }
  if (LoadTc(TableNid(folder.nid, kNidTypeAssocContentsTable), aname, &assoc)) {
    std::set<uint64_t> listed;
    for (const Row& r : assoc.rows) {
      listed.insert(r.id);
      if (!child_assoc.count(r.id)) {
        report_->Add(at, aname + ": row " + Hex(r.id) + " is not an associated message of this folder");
        continue;
      }
      if (checked.count(r.id)) continue;
      PropMap msg = check_message(r.id);
      if (!msg.empty()) CompareRow(at, aname, r, msg);
    }
    for (uint64_t nid : child_assoc) {
      if (!listed.count(nid)) report_->Add(at, aname + ": associated message " + Hex(nid) + " has no row");
    }
    bool found;
    uint32_t count = PropU32(props, kTagAssocContentCount, &found);
    if (found && count != assoc.rows.size()) {
      report_->Add(at, what + ": PidTagAssociatedContentCount is " + std::to_string(count) +
                           " but the associated contents table has " + std::to_string(assoc.rows.size()) +
                           " row(s)");
    }
  }
  // Messages without a row (already reported) or behind an unreadable table.
  for (const std::set<uint64_t>* set : {&child_messages, &child_assoc}) {
    for (uint64_t nid : *set) {
      if (!checked.count(nid)) check_message(nid);
    }
  }
}

void MessagingChecker::CheckSearchFolder(const NodeEntry& folder) {
  std::string what = NameOf(folder.nid);
  auto props = folder_props_.find(folder.nid);
  if (props != folder_props_.end() && !props->second.count(kTagDisplayName)) {
    report_->Add(OffsetOf(folder), what + ": PidTagDisplayName is missing");
  }
  // Outlook keeps some search folders' contents in a heap of client type
  // 0xAC rather than a table context; both are accepted, the latter only as
  // a sound heap.
  uint32_t table_nid = TableNid(folder.nid, kNidTypeSearchContentsTable);
  const NodeEntry* node = ndb_.FindNode(table_nid);
  std::string tname = what + " search contents table";
  if (node == nullptr) {
    report_->Add(OffsetOf(folder), tname + ": node " + Hex(table_nid) + " is missing");
    return;
  }
  Heap heap;
  std::string error;
  if (!heap.Load(ndb_, node->bid_data, node->bid_sub, &error)) {
    report_->Add(OffsetOf(*node), tname + ": heap: " + error);
    return;
  }
  if (heap.client_sig() == 0xAC) return;
  Table contents;
  LoadTc(table_nid, tname, &contents);
}

void MessagingChecker::CheckAll() {
  if (!ndb_.CanDecode()) return;
  for (const auto& [nid, n] : ndb_.nodes()) {
    if (n.nid_parent != nid) children_[n.nid_parent].push_back(nid);
  }
  CheckMandatoryNodes();
  CheckStore();
  CheckNameToIdMap();
  for (const auto& [nid, n] : ndb_.nodes()) {
    uint32_t type = NidType(nid);
    if (type == kNidTypeNormalMessage) ++report_->stats.messages;
    if (type == kNidTypeAssocMessage) ++report_->stats.associated;
    if (type == kNidTypeNormalFolder || type == kNidTypeSearchFolder) {
      ++(type == kNidTypeNormalFolder ? report_->stats.folders : report_->stats.search_folders);
      PropMap props;
      if (LoadPc(n, NameOf(nid), &props)) folder_props_[nid] = std::move(props);
    }
  }
  for (const auto& [nid, n] : ndb_.nodes()) {
    uint32_t type = NidType(nid);
    if (type == kNidTypeNormalFolder) CheckFolder(n);
    if (type == kNidTypeSearchFolder) CheckSearchFolder(n);
    // Messages outside any normal folder are not reached by CheckFolder.
    if (type == kNidTypeNormalMessage || type == kNidTypeAssocMessage) {
      const NodeEntry* parent = ndb_.FindNode(n.nid_parent);
      if (parent == nullptr || NidType(parent->nid) != kNidTypeNormalFolder ||
          !folder_props_.count(n.nid_parent)) {
        CheckMessage(n);
      }
    }
  }
}

void MessagingChecker::AddTreeLines(uint64_t nid, int depth, std::set<uint64_t>* seen) {
  if (depth > 64 || !seen->insert(nid).second) return;
  std::string indent(static_cast<size_t>(depth) * 2, ' ');
  std::string name;
  auto f = folder_props_.find(nid);
  if (f != folder_props_.end()) {
    auto dn = f->second.find(kTagDisplayName);
    if (dn != f->second.end()) name = Utf8(dn->second.data);
  }
  std::vector<uint64_t> folders, messages;
  for (uint64_t child : children_[nid]) {
    uint32_t type = NidType(child);
    if (type == kNidTypeNormalFolder || type == kNidTypeSearchFolder) folders.push_back(child);
    if (type == kNidTypeNormalMessage || type == kNidTypeAssocMessage) messages.push_back(child);
  }
  report_->tree.push_back(indent + NameOf(nid) + " \"" + name + "\" (" + std::to_string(folders.size()) +
                          " subfolders, " + std::to_string(messages.size()) + " messages)");
  for (uint64_t m : messages) {
    std::string subject;
    const NodeEntry* node = ndb_.FindNode(m);
    Heap heap;
    PropMap props;
    std::string error;
    std::vector<std::string> ignored;   // reported by CheckAll already
    if (heap.Load(ndb_, node->bid_data, node->bid_sub, &error) && ReadPc(heap, &props, &error, &ignored)) {
      auto s = props.find(kTagSubject);
      if (s != props.end()) subject = Utf8(s->second.data);
    }
    report_->tree.push_back(indent + "  " + NameOf(m) + " \"" + subject + "\"");
  }
  for (uint64_t c : folders) AddTreeLines(c, depth + 1, seen);
}

void MessagingChecker::BuildTree() {
  report_->tree.clear();
  std::set<uint64_t> seen;
  if (ndb_.FindNode(kNidRootFolder) != nullptr) AddTreeLines(kNidRootFolder, 0, &seen);
  // Folders not reachable from the root.
  for (const auto& [nid, n] : ndb_.nodes()) {
    uint32_t type = NidType(nid);
    if ((type == kNidTypeNormalFolder || type == kNidTypeSearchFolder) && !seen.count(nid)) {
      report_->tree.push_back("(unreachable)");
      AddTreeLines(nid, 1, &seen);
    }
  }
}

}  // namespace pst::check
