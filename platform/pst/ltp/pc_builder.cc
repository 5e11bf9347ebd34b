// Property context layout: BTH header, leaf records, then the values in
// property id order, as Outlook lays out a freshly written context.
#include "platform/pst/ltp/pc_builder.h"

#include <algorithm>
#include <cstdio>

#include "platform/pst/ltp/prop_codec.h"

namespace pst::ltp {
namespace {

void Put16(uint8_t* p, uint16_t v) { p[0] = v & 0xFF; p[1] = v >> 8; }
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = (v >> (8 * i)) & 0xFF;
}

}  // namespace

PcBuilder::Value* PcBuilder::Find(uint16_t id) {
  auto it = std::lower_bound(props_.begin(), props_.end(), id,
                             [](const Value& v, uint16_t key) { return v.id < key; });
  return it != props_.end() && it->id == id ? &*it : nullptr;
}

PcBuilder::Value& PcBuilder::Slot(uint16_t id) {
  if (props_.empty()) props_.reserve(32);  // a message's properties, mostly
  auto it = props_.end();
  if (!props_.empty() && props_.back().id >= id) {
    it = std::lower_bound(props_.begin(), props_.end(), id,
                          [](const Value& v, uint16_t key) { return v.id < key; });
  }
  if (it == props_.end() || it->id != id) {
    it = props_.emplace(it);
  } else {
    *it = Value();
  }
  it->id = id;
  return *it;
}

Status PcBuilder::Set(uint16_t id, const Property& prop) {
  if (prop.type == PropType::kObject || !IsKnownType(static_cast<uint16_t>(prop.type))) {
    char buf[80];
    std::snprintf(buf, sizeof buf, "property 0x%04X has unsupported type 0x%04X", id,
                  static_cast<unsigned>(prop.type));
    return Status::InvalidArgument(buf);
  }
  const auto* source = std::get_if<std::shared_ptr<const ValueSource>>(&prop.value);
  if (prop.type == PropType::kBinary && source != nullptr && *source &&
      (*source)->size() > HeapBuilder::kMaxItemSize) {
    Value& v = Slot(id);
    v.type = static_cast<uint16_t>(prop.type);
    v.source = *source;
  } else if (IsInlineInPc(prop.type)) {
    uint64_t bits;
    Status s = FixedBits(prop, &bits);
    if (!s.ok()) return s;
    Value& v = Slot(id);
    v.type = static_cast<uint16_t>(prop.type);
    v.is_inline = true;
    v.inline_value = static_cast<uint32_t>(bits);
  } else {
    // Encoded apart first, so that a value that fails leaves nothing set.
    scratch_.clear();
    Status s = EncodeValue(prop, &scratch_);
    if (!s.ok()) return s;
    Value& v = Slot(id);
    v.type = static_cast<uint16_t>(prop.type);
    if (scratch_.size() > HeapBuilder::kMaxItemSize) {
      v.bytes = std::move(scratch_);
      scratch_ = std::vector<uint8_t>();
    } else {
      v.offset = static_cast<uint32_t>(small_.size());
      v.size = static_cast<uint32_t>(scratch_.size());
      small_.insert(small_.end(), scratch_.begin(), scratch_.end());
    }
  }
  return Status::Ok();
}

void PcBuilder::SetObject(uint16_t id, Nid subnode, uint32_t size) {
  uint8_t bytes[8];
  Put32(bytes, subnode);
  Put32(bytes + 4, size);
  Value& v = Slot(id);
  v.type = static_cast<uint16_t>(PropType::kObject);
  v.offset = static_cast<uint32_t>(small_.size());
  v.size = sizeof(bytes);
  small_.insert(small_.end(), bytes, bytes + sizeof(bytes));
}

void PcBuilder::AddSubnode(Nid nid, NodeData data) {
  subnodes_.emplace_back(nid, std::move(data));
}

Status PcBuilder::Finish(NodeData* out) {
  if (finished_) return Status::InvalidArgument("property context finished twice");
  finished_ = true;
  // Records: wPropId, wPropType, dwValueHnid (filled below).
  std::vector<uint8_t> records(props_.size() * 8, 0);
  for (size_t i = 0; i < props_.size(); ++i) {
    const Value& v = props_[i];
    Put16(&records[i * 8], v.id);
    Put16(&records[i * 8 + 2], v.type);
    if (v.is_inline) Put32(&records[i * 8 + 4], v.inline_value);
  }
  Status s = BuildBth(&heap_, 2, 6, records, &layout_);
  if (!s.ok()) return s;
  for (size_t i = 0; i < props_.size(); ++i) {
    Value& v = props_[i];
    uint32_t hnid = 0;
    if (v.source || !v.bytes.empty()) {
      Nid nid = ids_->Next(kNidTypeLtp);
      NodeData value;
      if (v.source) {
        value.source = std::move(v.source);
      } else {
        value.data = std::move(v.bytes);
      }
      subnodes_.emplace_back(nid, std::move(value));
      hnid = nid;
    } else if (!v.is_inline && v.size != 0) {
      Hid hid;
      s = heap_.Allocate(std::span<const uint8_t>(small_.data() + v.offset, v.size), &hid);
      if (!s.ok()) return s;
      hnid = hid;
    } else {
      continue;
    }
    Put32(layout_.Record(&heap_, i).data() + 4, hnid);
  }
  std::vector<uint8_t>().swap(small_);
  out->data = heap_.Finish(HeapClient::kPropertyContext, layout_.header);
  out->subnodes = std::move(subnodes_);
  subnodes_.clear();
  return Status::Ok();
}

Status PcBuilder::RewriteInline(uint16_t id, uint32_t value, NodeData* out) {
  Value* v = Find(id);
  if (!finished_ || v == nullptr || !v->is_inline) {
    return Status::InvalidArgument("no inline property to rewrite");
  }
  const size_t index = static_cast<size_t>(v - props_.data());
  const size_t at = layout_.RecordOffset(heap_, index) + 4;
  if (at + 4 > out->data.size()) return Status::InvalidArgument("not the node this context finished");
  // The heap keeps the value too, and the finished stream changes in place.
  Put32(layout_.Record(&heap_, index).data() + 4, value);
  Put32(out->data.data() + at, value);
  v->inline_value = value;
  return Status::Ok();
}

}  // namespace pst::ltp
