// Message, recipient and attachment objects.
#include "platform/pst/messaging/message_builder.h"

#include <algorithm>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>

#include "platform/pst/ltp/pc_builder.h"
#include "platform/pst/ltp/subnode_ids.h"
#include "platform/pst/messaging/templates.h"

namespace pst::messaging {
namespace {

constexpr int kMaxEmbeddingDepth = 32;
constexpr uint8_t kNidTypeNormalMessage = 0x04;

// The cell of `column` among resolved properties: same id and type.
const Property* Cell(const MessageBuilder::Resolved& props, uint32_t tag) {
  const Property* p = props.Find(static_cast<uint16_t>(tag >> 16));
  if (p == nullptr || static_cast<uint16_t>(p->type) != (tag & 0xFFFF)) return nullptr;
  return p;
}

Status SetAll(const MessageBuilder::Resolved& props, ltp::PcBuilder* pc) {
  for (const auto& [id, p] : props) {
    Status s = pc->Set(id, *p);
    if (!s.ok()) return s;
  }
  return Status::Ok();
}

}  // namespace

uint64_t StoredSize(const NodeData& node) {
  uint64_t size = node.data_size();
  for (const auto& [nid, sub] : node.subnodes) size += StoredSize(sub);
  return size;
}

const Property* MessageBuilder::Resolved::Find(uint16_t id) const {
  auto it = std::lower_bound(props_.begin(), props_.end(), id,
                             [](const auto& e, uint16_t key) { return e.first < key; });
  return it != props_.end() && it->first == id ? it->second : nullptr;
}

void MessageBuilder::Resolved::Set(uint16_t id, const Property* p) {
  auto it = std::lower_bound(props_.begin(), props_.end(), id,
                             [](const auto& e, uint16_t key) { return e.first < key; });
  if (it != props_.end() && it->first == id) {
    it->second = p;
  } else {
    props_.emplace(it, id, p);
  }
}

Status MessageBuilder::Resolve(const Property& p, uint16_t* id) {
  if (p.named) return names_->Map(p.name, id);
  if (p.id >= 0x8000) {
    char buf[96];
    std::snprintf(buf, sizeof buf,
                  "tagged property 0x%08X uses an id of the named-property range", p.tag());
    return Status::InvalidArgument(buf);
  }
  *id = p.id;
  return Status::Ok();
}

Status MessageBuilder::ResolveAll(const std::vector<Property>& in, const char* what,
                                  Resolved* out) {
  out->props_.reserve(out->props_.size() + in.size() + 2);  // and the defaults the caller adds
  for (const Property& p : in) {
    if (p.type == PropType::kObject) {
      return Status::InvalidArgument(std::string("a ") + what +
                                     " property cannot be of the object type");
    }
    uint16_t id;
    Status s = Resolve(p, &id);
    if (!s.ok()) return s;
    out->props_.emplace_back(id, &p);
  }
  // In id order; of several properties with one id the last one given wins.
  auto& v = out->props_;
  // The values lie in `in` in its order, so their addresses keep it.
  std::sort(v.begin(), v.end(), [](const auto& a, const auto& b) {
    return a.first != b.first ? a.first < b.first : std::less<const Property*>()(a.second, b.second);
  });
  size_t kept = 0;
  for (size_t i = 0; i < v.size(); ++i) {
    if (kept > 0 && v[kept - 1].first == v[i].first) {
      v[kept - 1] = v[i];
    } else {
      v[kept++] = v[i];
    }
  }
  v.resize(kept);
  return Status::Ok();
}

Status MessageBuilder::Build(const MessageContent& msg,
                             const std::vector<ltp::TcColumn>& row_columns, NodeData* out,
                             std::vector<std::optional<Property>>* row) {
  return BuildMessage(msg, 0, out, &row_columns, row);
}

Status MessageBuilder::BuildMessage(const MessageContent& msg, int depth, NodeData* out,
                                    const std::vector<ltp::TcColumn>* row_columns,
                                    std::vector<std::optional<Property>>* row) {
  if (depth > kMaxEmbeddingDepth) {
    return Status::InvalidArgument("embedded messages nested deeper than 32 levels");
  }
  Resolved props;
  Status s = ResolveAll(msg.props, "message", &props);
  if (!s.ok()) return s;
  const Property default_class = MakeString(kPidMessageClass, u"IPM.Note");
  props.SetDefault(kPidMessageClass, &default_class);
  Property size_prop = MakeInt32(kPidMessageSize, 0);
  props.Set(kPidMessageSize, &size_prop);

  ltp::SubnodeIds ids;
  ltp::PcBuilder pc(&ids);
  s = SetAll(props, &pc);
  if (!s.ok()) return s;

  // Recipient table: the template's columns plus every other property a
  // recipient carries (recipient properties live only in this table).
  if (!msg.recipients.empty()) {
    std::vector<Resolved> rows(msg.recipients.size());
    std::vector<uint32_t> tags;
    for (const auto& c : RecipientTableColumns()) tags.push_back(c.tag);
    for (size_t i = 0; i < rows.size(); ++i) {
      s = ResolveAll(msg.recipients[i].props, "recipient", &rows[i]);
      if (!s.ok()) return s;
      for (const auto& [id, p] : rows[i]) {
        uint32_t tag = (uint32_t{id} << 16) | static_cast<uint16_t>(p->type);
        if (std::find(tags.begin(), tags.end(), tag) == tags.end()) tags.push_back(tag);
      }
    }
    std::unique_ptr<ltp::TcBuilder> table;
    s = ltp::TcBuilder::Create(ltp::AutoLayout(tags), &table);
    if (!s.ok()) return s;
    for (size_t i = 0; i < rows.size(); ++i) {
      std::vector<const Property*> cells;
      for (const auto& c : table->columns()) cells.push_back(Cell(rows[i], c.tag));
      s = table->AddRow(static_cast<uint32_t>(i), static_cast<uint32_t>(i + 1), cells);
      if (!s.ok()) return s;
    }
    NodeData node;
    s = table->Finish(&ids, &node);
    if (!s.ok()) return s;
    pc.AddSubnode(kNidRecipientTable, std::move(node));
  }

  // Attachments and their table.
  if (!msg.attachments.empty()) {
    std::unique_ptr<ltp::TcBuilder> table;
    s = ltp::TcBuilder::Create(AttachmentTableColumns(), &table);
    if (!s.ok()) return s;
    uint32_t version = 1;
    for (const AttachmentContent& a : msg.attachments) {
      NodeData node;
      Nid nid = ids.Next(ltp::kNidTypeAttachment);
      s = BuildAttachment(a, depth, &node, table.get(), nid, version++, &ids);
      if (!s.ok()) return s;
      pc.AddSubnode(nid, std::move(node));
    }
    NodeData node;
    s = table->Finish(&ids, &node);
    if (!s.ok()) return s;
    pc.AddSubnode(kNidAttachmentTable, std::move(node));
  }

  s = pc.Finish(out);
  if (!s.ok()) return s;
  uint64_t size = StoredSize(*out);
  if (size > 0x7FFFFFFF) return Status::TooLarge("message larger than 2 GB");
  s = pc.RewriteInline(kPidMessageSize, static_cast<uint32_t>(size), out);
  if (!s.ok()) return s;
  size_prop = MakeInt32(kPidMessageSize, static_cast<int32_t>(size));
  if (row_columns != nullptr && row != nullptr) {
    row->clear();
    for (const auto& c : *row_columns) {
      const Property* p = Cell(props, c.tag);
      if (p == nullptr) {
        row->emplace_back();
      } else {
        Property q = *p;
        q.id = static_cast<uint16_t>(c.tag >> 16);
        q.named = false;
        row->emplace_back(std::move(q));
      }
    }
  }
  return Status::Ok();
}

Status MessageBuilder::BuildAttachment(const AttachmentContent& a, int depth, NodeData* out,
                                       ltp::TcBuilder* table, Nid nid, uint32_t row_version,
                                       ltp::SubnodeIds* message_ids) {
  Resolved props;
  Status s = ResolveAll(a.props, "attachment", &props);
  if (!s.ok()) return s;
  const Property not_rendered = MakeInt32(kPidRenderingPosition, -1);
  props.SetDefault(kPidRenderingPosition, &not_rendered);
  const Property embedded_method = MakeInt32(kPidAttachMethod, 5);  // afEmbeddedMessage
  if (a.embedded) props.SetDefault(kPidAttachMethod, &embedded_method);
  Property size_prop = MakeInt32(kPidAttachSize, 0);
  props.Set(kPidAttachSize, &size_prop);

  ltp::SubnodeIds ids;
  ltp::PcBuilder pc(&ids);
  s = SetAll(props, &pc);
  if (!s.ok()) return s;
  if (a.embedded) {
    NodeData node;
    s = BuildMessage(*a.embedded, depth + 1, &node, nullptr, nullptr);
    if (!s.ok()) return s;
    // The embedded message is a subnode of the attachment; its id is also
    // kept unique among the message's subnodes, as some readers look it up
    // there.
    Nid sub = message_ids->Next(kNidTypeNormalMessage);
    pc.SetObject(kPidAttachDataObject, sub, static_cast<uint32_t>(StoredSize(node)));
    pc.AddSubnode(sub, std::move(node));
  }
  s = pc.Finish(out);
  if (!s.ok()) return s;
  uint64_t size = StoredSize(*out);
  if (size > 0x7FFFFFFF) return Status::TooLarge("attachment larger than 2 GB");
  s = pc.RewriteInline(kPidAttachSize, static_cast<uint32_t>(size), out);
  if (!s.ok()) return s;
  size_prop = MakeInt32(kPidAttachSize, static_cast<int32_t>(size));

  std::vector<const Property*> cells;
  for (const auto& c : table->columns()) cells.push_back(Cell(props, c.tag));
  return table->AddRow(nid, row_version, cells);
}

}  // namespace pst::messaging
