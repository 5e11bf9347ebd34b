// PstFile: the folder tree, the per-folder contents tables and the store
// object of a PST being written.
#include "platform/pst/pst_file.h"

#include <algorithm>
#include <map>
#include <optional>
#include <random>

#include "platform/pst/ltp/pc_builder.h"
#include "platform/pst/ltp/subnode_ids.h"
#include "platform/pst/ltp/tc_builder.h"
#include "platform/pst/messaging/message_builder.h"
#include "platform/pst/messaging/name_map.h"
#include "platform/pst/messaging/store_skeleton.h"
#include "platform/pst/messaging/templates.h"
#include "platform/text/utf.h"

namespace pst {

namespace {

constexpr uint8_t kNidTypeNormalFolder = 0x02;
constexpr uint8_t kNidTypeNormalMessage = 0x04;
constexpr uint32_t kMessageFlagRead = 0x01;

// Folder property ids.
constexpr uint16_t kPidDisplayName = 0x3001;
constexpr uint16_t kPidComment = 0x3004;
constexpr uint16_t kPidContentCount = 0x3602;
constexpr uint16_t kPidContentUnreadCount = 0x3603;
constexpr uint16_t kPidSubfolders = 0x360A;
constexpr uint16_t kPidContainerClass = 0x3613;
constexpr uint16_t kPidExtendedFolderFlags = 0x36DA;
constexpr uint16_t kPidPstHiddenCount = 0x6635;
constexpr uint16_t kPidPstHiddenUnread = 0x6636;

char16_t FoldAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? c - u'A' + u'a' : c; }

bool SameName(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

std::string Hex(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%X", v);
  return buf;
}

}  // namespace

struct PstFile::State {
  struct Folder {
    Nid nid = 0;
    Nid parent = 0;
    std::u16string name;
    std::optional<std::u16string> comment;
    std::optional<std::u16string> container_class;
    std::optional<std::vector<uint8_t>> extended_flags;
    bool pst_hidden_counts = false;
    bool holds_mail = false;  // messages and subfolders may be added
    std::vector<Nid> children;
    std::unique_ptr<ltp::TcBuilder> contents;
    uint32_t count = 0;
    uint32_t unread = 0;
  };

  std::unique_ptr<NdbWriter> ndb;
  std::string display_name;
  Guid record_key{};
  messaging::NameToIdMap names;
  std::map<Nid, Folder> folders;
  Nid ipm_subtree = 0;
  Nid deleted_items = 0;
  Nid search_root = 0;
  uint32_t row_version = 1;
  bool closed = false;

  Status NewFolder(Nid parent, std::u16string name, Nid* out);
  std::vector<Property> FolderProps(const Folder& f) const;
  Status WriteFolder(const Folder& f);
  Status WriteStore();
};

Status PstFile::State::NewFolder(Nid parent, std::u16string name, Nid* out) {
  Folder f;
  f.nid = parent == 0 ? messaging::kNidRootFolder : ndb->NewNid(kNidTypeNormalFolder);
  f.parent = parent == 0 ? f.nid : parent;
  f.name = std::move(name);
  Status s = ltp::TcBuilder::Create(messaging::ContentsTableColumns(), &f.contents);
  if (!s.ok()) return s;
  if (parent != 0) folders.at(parent).children.push_back(f.nid);
  *out = f.nid;
  folders.emplace(f.nid, std::move(f));
  return Status::Ok();
}

// The folder's properties in id order, as its PC and its parent's hierarchy
// row hold them.
std::vector<Property> PstFile::State::FolderProps(const Folder& f) const {
  std::vector<Property> props;
  props.push_back(MakeString(kPidDisplayName, f.name));
  if (f.comment) props.push_back(MakeString(kPidComment, *f.comment));
  props.push_back(MakeInt32(kPidContentCount, static_cast<int32_t>(f.count)));
  props.push_back(MakeInt32(kPidContentUnreadCount, static_cast<int32_t>(f.unread)));
  props.push_back(MakeBool(kPidSubfolders, !f.children.empty()));
  if (f.container_class) props.push_back(MakeString(kPidContainerClass, *f.container_class));
  if (f.extended_flags) props.push_back(MakeBinary(kPidExtendedFolderFlags, *f.extended_flags));
  if (f.pst_hidden_counts) {
    props.push_back(MakeInt32(kPidPstHiddenCount, 0));
    props.push_back(MakeInt32(kPidPstHiddenUnread, 0));
  }
  return props;
}

Status PstFile::State::WriteFolder(const Folder& f) {
  // Property context.
  ltp::SubnodeIds ids;
  ltp::PcBuilder pc(&ids);
  for (const Property& p : FolderProps(f)) {
    Status s = pc.Set(p.id, p);
    if (!s.ok()) return s;
  }
  NodeData node;
  Status s = pc.Finish(&node);
  if (!s.ok()) return s;
  s = ndb->PutNode(f.nid, f.parent, node);
  if (!s.ok()) return s;

  // Hierarchy table: one row per child folder.
  std::unique_ptr<ltp::TcBuilder> hierarchy;
  s = ltp::TcBuilder::Create(messaging::HierarchyTableColumns(), &hierarchy);
  if (!s.ok()) return s;
  for (Nid child : f.children) {
    std::vector<Property> props = FolderProps(folders.at(child));
    std::vector<const Property*> cells;
    for (const auto& c : hierarchy->columns()) {
      const Property* cell = nullptr;
      for (const Property& p : props) {
        if (p.tag() == c.tag) cell = &p;
      }
      cells.push_back(cell);
    }
    s = hierarchy->AddRow(child, row_version++, cells);
    if (!s.ok()) return s;
  }
  NodeData table;
  ltp::SubnodeIds table_ids;
  s = hierarchy->Finish(&table_ids, &table);
  if (!s.ok()) return s;
  s = ndb->PutNode(messaging::HierarchyTableNid(f.nid), 0, table);
  if (!s.ok()) return s;

  // Contents table.
  ltp::SubnodeIds contents_ids;
  s = f.contents->Finish(&contents_ids, &table);
  if (!s.ok()) return s;
  s = ndb->PutNode(messaging::ContentsTableNid(f.nid), 0, table);
  if (!s.ok()) return s;

  // Associated contents table (no associated messages are written).
  std::unique_ptr<ltp::TcBuilder> assoc;
  s = ltp::TcBuilder::Create(f.nid == messaging::kNidRootFolder
                                 ? messaging::RootAssocContentsTableColumns()
                                 : messaging::AssocContentsTableColumns(),
                             &assoc);
  if (!s.ok()) return s;
  ltp::SubnodeIds assoc_ids;
  s = assoc->Finish(&assoc_ids, &table);
  if (!s.ok()) return s;
  return ndb->PutNode(messaging::AssocContentsTableNid(f.nid), 0, table);
}

Status PstFile::State::WriteStore() {
  // Sized once and filled in place (GCC 12 at -O3 warns, wrongly, about
  // the growth of a 4-byte vector).
  auto entry_id = [&](Nid nid) {
    std::vector<uint8_t> id(4 + record_key.size() + 4, 0);
    std::copy(record_key.begin(), record_key.end(), id.begin() + 4);
    for (size_t i = 0; i < 4; ++i) id[4 + record_key.size() + i] = (nid >> (8 * i)) & 0xFF;
    return id;
  };
  std::vector<Property> props = {
      MakeInt32(0x0E38, 0),  // PidTagReplFlags
      MakeBinary(0x0FF9, std::vector<uint8_t>(record_key.begin(), record_key.end())),
      MakeString(0x3001, text::Utf8ToUtf16(display_name)),
      // PidTagValidFolderMask: IPM subtree, wastebasket and finder valid.
      MakeInt32(0x35DF, 0x89),
      MakeBinary(0x35E0, entry_id(ipm_subtree)),    // PidTagIpmSubTreeEntryId
      MakeBinary(0x35E3, entry_id(deleted_items)),  // PidTagIpmWastebasketEntryId
      MakeBinary(0x35E7, entry_id(search_root)),    // PidTagFinderEntryId
      MakeBool(0x6633, true),                       // PidTagPstLrNoRestrictions
      MakeInt32(0x66FA, 0x000E000D),                // as in Outlook's new stores
  };
  ltp::SubnodeIds ids;
  ltp::PcBuilder pc(&ids);
  for (const Property& p : props) {
    Status s = pc.Set(p.id, p);
    if (!s.ok()) return s;
  }
  NodeData node;
  Status s = pc.Finish(&node);
  if (!s.ok()) return s;
  return ndb->PutNode(messaging::kNidMessageStore, 0, node);
}

PstFile::PstFile(std::unique_ptr<State> state) : state_(std::move(state)) {}
PstFile::~PstFile() = default;

Status PstFile::Create(const std::string& path, const std::string& display_name,
                       std::unique_ptr<PstFile>* out) {
  std::unique_ptr<NdbWriter> ndb;
  Status s = NdbWriter::Create(path, &ndb);
  if (!s.ok()) return s;
  return Create(std::move(ndb), display_name, out);
}

Status PstFile::Create(std::unique_ptr<NdbWriter> ndb, const std::string& display_name,
                       std::unique_ptr<PstFile>* out) {
  auto state = std::make_unique<State>();
  state->ndb = std::move(ndb);
  state->display_name = display_name;
  std::random_device random;
  for (size_t i = 0; i < 16; i += 4) {
    uint32_t r = random();
    for (int k = 0; k < 4; ++k) state->record_key[i + k] = (r >> (8 * k)) & 0xFF;
  }

  Nid root;
  Status s = state->NewFolder(0, u"", &root);
  if (s.ok()) s = state->NewFolder(root, u"Top of Personal Folders", &state->ipm_subtree);
  if (s.ok()) s = state->NewFolder(root, u"Search Root", &state->search_root);
  if (s.ok()) s = state->NewFolder(state->ipm_subtree, u"Deleted Items", &state->deleted_items);
  if (!s.ok()) return s;
  auto& ipm = state->folders.at(state->ipm_subtree);
  ipm.holds_mail = true;
  ipm.extended_flags = std::vector<uint8_t>{0x01, 0x04, 0x00, 0x00, 0x10, 0x00};
  ipm.pst_hidden_counts = true;
  auto& deleted = state->folders.at(state->deleted_items);
  deleted.holds_mail = true;
  deleted.comment = u"Deleted Items folder";

  // Outlook's new stores come with named properties already mapped, and
  // some readers refuse a map without entries; map two common ones.
  uint16_t unused_id;
  PropertyName current_version;  // PidLidCurrentVersion
  current_version.property_set = {0x08, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
                                  0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
  current_version.id = 0x8552;
  PropertyName content_class;  // content-class of PS_INTERNET_HEADERS
  content_class.property_set = {0x86, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
  content_class.kind = PropertyName::Kind::kString;
  content_class.name = u"content-class";
  s = state->names.Map(current_version, &unused_id);
  if (s.ok()) s = state->names.Map(content_class, &unused_id);
  if (!s.ok()) return s;

  s = messaging::WriteStoreSkeleton(state->ndb.get(), root);
  if (!s.ok()) return s;
  out->reset(new PstFile(std::move(state)));
  return Status::Ok();
}

const std::string& PstFile::display_name() const { return state_->display_name; }
FolderId PstFile::IpmSubtree() const { return state_->ipm_subtree; }
FolderId PstFile::DeletedItems() const { return state_->deleted_items; }

Status PstFile::AddFolder(FolderId parent, const std::string& name, FolderId* out) {
  if (state_->closed) return Status::InvalidArgument("the file is already closed");
  auto it = state_->folders.find(parent);
  if (it == state_->folders.end() || !it->second.holds_mail) {
    return Status::InvalidArgument("folder " + Hex(parent) +
                                   " is not a mail folder of this store");
  }
  std::u16string name16 = text::Utf8ToUtf16(name);
  if (name16.empty()) return Status::InvalidArgument("a folder name cannot be empty");
  if (name16.find(u'\\') != std::u16string::npos) {
    return Status::InvalidArgument("folder name \"" + name + "\" contains a backslash");
  }
  for (Nid child : it->second.children) {
    if (SameName(state_->folders.at(child).name, name16)) {
      return Status::InvalidArgument("folder \"" + text::Utf16ToUtf8(it->second.name) +
                                     "\" already has a folder named \"" + name + "\"");
    }
  }
  Nid nid;
  Status s = state_->NewFolder(parent, std::move(name16), &nid);
  if (!s.ok()) return s;
  auto& f = state_->folders.at(nid);
  f.holds_mail = true;
  f.container_class = u"IPF.Note";
  f.pst_hidden_counts = true;
  *out = nid;
  return Status::Ok();
}

Status PstFile::FindFolder(const std::string& path, FolderId* out) const {
  const std::u16string p = text::Utf8ToUtf16(path);
  const std::u16string store = text::Utf8ToUtf16(state_->display_name);
  if (p.size() < 2 || p[0] != u'\\' || p[1] != u'\\') {
    return Status::InvalidArgument("folder path \"" + path + "\" does not start with \\\\");
  }
  std::vector<std::u16string> parts;
  size_t start = 2;
  while (true) {
    size_t end = p.find(u'\\', start);
    parts.push_back(p.substr(start, end == std::u16string::npos ? end : end - start));
    if (end == std::u16string::npos) break;
    start = end + 1;
  }
  if (!parts.empty() && parts.back().empty() && parts.size() > 1) parts.pop_back();
  if (!SameName(parts[0], store)) {
    return Status::NotFound("no store named \"" + text::Utf16ToUtf8(parts[0]) + "\" (this store is \"" +
                            state_->display_name + "\")");
  }
  Nid current = state_->ipm_subtree;
  for (size_t i = 1; i < parts.size(); ++i) {
    const auto& folder = state_->folders.at(current);
    Nid next = 0;
    for (Nid child : folder.children) {
      if (SameName(state_->folders.at(child).name, parts[i])) next = child;
    }
    if (next == 0) {
      return Status::NotFound("folder \"" + text::Utf16ToUtf8(parts[i]) + "\" of path \"" + path +
                              "\" does not exist");
    }
    current = next;
  }
  *out = current;
  return Status::Ok();
}

Status PstFile::FolderName(FolderId folder, std::string* name) const {
  auto it = state_->folders.find(folder);
  if (it == state_->folders.end()) return Status::NotFound("no folder " + Hex(folder));
  *name = text::Utf16ToUtf8(it->second.name);
  return Status::Ok();
}

Status PstFile::MessageCount(FolderId folder, uint32_t* count) const {
  auto it = state_->folders.find(folder);
  if (it == state_->folders.end()) return Status::NotFound("no folder " + Hex(folder));
  *count = it->second.count;
  return Status::Ok();
}

Status PstFile::AddMessage(FolderId folder, const MessageContent& content, MessageRef* ref) {
  if (state_->closed) return Status::InvalidArgument("the file is already closed");
  auto it = state_->folders.find(folder);
  if (it == state_->folders.end() || !it->second.holds_mail) {
    return Status::InvalidArgument("folder " + Hex(folder) +
                                   " is not a mail folder of this store");
  }
  State::Folder& f = it->second;
  if (f.count == 0xFFFFFFFF) return Status::TooLarge("folder holds too many messages");

  messaging::MessageBuilder builder(&state_->names);
  NodeData node;
  std::vector<std::optional<Property>> row;
  Status s = builder.Build(content, f.contents->columns(), &node, &row);
  if (!s.ok()) return s;

  Nid nid = state_->ndb->NewNid(kNidTypeNormalMessage);
  s = state_->ndb->PutNode(nid, f.nid, node);
  if (!s.ok()) return s;

  std::vector<const Property*> cells;
  uint32_t flags = 0;
  for (const auto& cell : row) {
    cells.push_back(cell ? &*cell : nullptr);
    if (cell && cell->tag() == 0x0E070003) {
      flags = static_cast<uint32_t>(std::get<int64_t>(cell->value));
    }
  }
  s = f.contents->AddRow(nid, state_->row_version++, cells);
  if (!s.ok()) return s;
  ++f.count;
  if ((flags & kMessageFlagRead) == 0) ++f.unread;
  if (ref != nullptr) {
    ref->nid = nid;
    ref->entry_id = EntryId(nid);
  }
  return Status::Ok();
}

Status PstFile::Close() {
  if (state_->closed) return Status::InvalidArgument("the file is already closed");
  state_->closed = true;
  for (const auto& [nid, folder] : state_->folders) {
    Status s = state_->WriteFolder(folder);
    if (!s.ok()) return s;
  }
  Status s = state_->WriteStore();
  if (!s.ok()) return s;
  NodeData names;
  s = state_->names.Build(&names);
  if (!s.ok()) return s;
  s = state_->ndb->PutNode(messaging::kNidNameToIdMap, 0, names);
  if (!s.ok()) return s;
  return state_->ndb->Close();
}

uint64_t PstFile::FileSize() const { return state_->ndb->FileSize(); }

std::vector<uint8_t> PstFile::EntryId(Nid nid) const {
  const auto& key = state_->record_key;
  std::vector<uint8_t> id(4 + key.size() + 4, 0);
  std::copy(key.begin(), key.end(), id.begin() + 4);
  for (size_t i = 0; i < 4; ++i) id[4 + key.size() + i] = (nid >> (8 * i)) & 0xFF;
  return id;
}

}  // namespace pst
