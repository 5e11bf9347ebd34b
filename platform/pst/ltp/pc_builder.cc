// Property context layout: BTH header, leaf records, then the values in
// property id order, as Outlook lays out a freshly written context.
#include "platform/pst/ltp/pc_builder.h"

#include <cstdio>

#include "platform/pst/ltp/prop_codec.h"

namespace pst::ltp {
namespace {

void Put16(uint8_t* p, uint16_t v) { p[0] = v & 0xFF; p[1] = v >> 8; }
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = (v >> (8 * i)) & 0xFF;
}

}  // namespace

Status PcBuilder::Set(uint16_t id, const Property& prop) {
  if (prop.type == PropType::kObject || !IsKnownType(static_cast<uint16_t>(prop.type))) {
    char buf[80];
    std::snprintf(buf, sizeof buf, "property 0x%04X has unsupported type 0x%04X", id,
                  static_cast<unsigned>(prop.type));
    return Status::InvalidArgument(buf);
  }
  Value v;
  v.type = static_cast<uint16_t>(prop.type);
  const auto* source = std::get_if<std::shared_ptr<const ValueSource>>(&prop.value);
  if (prop.type == PropType::kBinary && source != nullptr && *source &&
      (*source)->size() > HeapBuilder::kMaxItemSize) {
    v.source = *source;
  } else if (IsInlineInPc(prop.type)) {
    uint64_t bits;
    Status s = FixedBits(prop, &bits);
    if (!s.ok()) return s;
    v.is_inline = true;
    v.inline_value = static_cast<uint32_t>(bits);
  } else {
    Status s = EncodeValue(prop, &v.bytes);
    if (!s.ok()) return s;
  }
  props_[id] = std::move(v);
  return Status::Ok();
}

void PcBuilder::SetObject(uint16_t id, Nid subnode, uint32_t size) {
  Value v;
  v.type = static_cast<uint16_t>(PropType::kObject);
  v.bytes.resize(8);
  Put32(v.bytes.data(), subnode);
  Put32(v.bytes.data() + 4, size);
  props_[id] = std::move(v);
}

void PcBuilder::AddSubnode(Nid nid, NodeData data) {
  subnodes_.emplace_back(nid, std::move(data));
}

Status PcBuilder::Finish(NodeData* out) {
  if (finished_) return Status::InvalidArgument("property context finished twice");
  finished_ = true;
  // Records: wPropId, wPropType, dwValueHnid (filled below).
  std::vector<uint8_t> records(props_.size() * 8, 0);
  size_t i = 0;
  for (const auto& [id, v] : props_) {
    Put16(&records[i * 8], id);
    Put16(&records[i * 8 + 2], v.type);
    if (v.is_inline) Put32(&records[i * 8 + 4], v.inline_value);
    ++i;
  }
  Status s = BuildBth(&heap_, 2, 6, records, &layout_);
  if (!s.ok()) return s;
  i = 0;
  for (auto& [id, v] : props_) {
    if (v.source) {
      Nid nid = ids_->Next(kNidTypeLtp);
      NodeData value;
      value.source = std::move(v.source);
      subnodes_.emplace_back(nid, std::move(value));
      Put32(layout_.Record(&heap_, i).data() + 4, nid);
    } else if (!v.is_inline && !v.bytes.empty()) {
      uint32_t hnid;
      if (v.bytes.size() <= HeapBuilder::kMaxItemSize) {
        Hid hid;
        s = heap_.Allocate(v.bytes, &hid);
        if (!s.ok()) return s;
        hnid = hid;
      } else {
        Nid nid = ids_->Next(kNidTypeLtp);
        NodeData value;
        value.data = std::move(v.bytes);
        subnodes_.emplace_back(nid, std::move(value));
        hnid = nid;
      }
      Put32(layout_.Record(&heap_, i).data() + 4, hnid);
      v.bytes.clear();
      v.bytes.shrink_to_fit();
    }
    ++i;
  }
  out->data = heap_.Finish(HeapClient::kPropertyContext, layout_.header);
  out->subnodes = std::move(subnodes_);
  subnodes_.clear();
  return Status::Ok();
}

Status PcBuilder::RewriteInline(uint16_t id, uint32_t value, NodeData* out) {
  auto it = props_.find(id);
  if (!finished_ || it == props_.end() || !it->second.is_inline) {
    return Status::InvalidArgument("no inline property to rewrite");
  }
  size_t index = std::distance(props_.begin(), it);
  Put32(layout_.Record(&heap_, index).data() + 4, value);
  it->second.inline_value = value;
  out->data = heap_.Finish(HeapClient::kPropertyContext, layout_.header);
  return Status::Ok();
}

}  // namespace pst::ltp
