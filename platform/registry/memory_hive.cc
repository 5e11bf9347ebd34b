// In-memory registry key trees.
#include "platform/registry/memory_hive.h"

#include "platform/registry/text.h"

namespace registry {

MemoryKey::~MemoryKey() {
  // Take the subtree apart iteratively so that a deep tree cannot exhaust the
  // stack through nested destructors.
  std::vector<std::unique_ptr<MemoryKey>> pending;
  for (auto& [folded, child] : children_) pending.push_back(std::move(child));
  children_.clear();
  while (!pending.empty()) {
    std::unique_ptr<MemoryKey> key = std::move(pending.back());
    pending.pop_back();
    for (auto& [folded, child] : key->children_) pending.push_back(std::move(child));
    key->children_.clear();
  }
}

MemoryKey* MemoryKey::Child(std::string_view name) const {
  auto it = children_.find(FoldCase(name));
  return it == children_.end() ? nullptr : it->second.get();
}

MemoryKey* MemoryKey::AddChild(std::string_view name) {
  auto& slot = children_[FoldCase(name)];
  if (!slot) {
    slot = std::make_unique<MemoryKey>(std::string(name));
    order_valid_ = false;
  }
  return slot.get();
}

void MemoryKey::Reorder() const {
  order_.clear();
  for (const auto& [folded, child] : children_) order_.push_back(child.get());
  order_valid_ = true;
}

const MemoryKey* MemoryKey::ChildAt(size_t index) const {
  if (!order_valid_) Reorder();
  return index < order_.size() ? order_[index] : nullptr;
}

void MemoryKey::SetValue(RawValue value) {
  std::string folded = FoldCase(value.name);
  auto it = value_index_.find(folded);
  if (it != value_index_.end()) {
    values_[it->second] = std::move(value);
    return;
  }
  value_index_.emplace(std::move(folded), values_.size());
  values_.push_back(std::move(value));
}

void MemoryKey::DeleteValue(std::string_view name) {
  auto it = value_index_.find(FoldCase(name));
  if (it == value_index_.end()) return;
  values_.erase(values_.begin() + static_cast<std::ptrdiff_t>(it->second));
  value_index_.clear();
  for (size_t i = 0; i < values_.size(); ++i) value_index_.emplace(FoldCase(values_[i].name), i);
}

const RawValue* MemoryKey::FindValue(std::string_view name) const {
  auto it = value_index_.find(FoldCase(name));
  return it == value_index_.end() ? nullptr : &values_[it->second];
}

namespace {

class MemoryKeyView : public RegistryKey {
 public:
  explicit MemoryKeyView(const MemoryKey* key) : key_(key) {}

  bool FindValue(std::string_view name, RawValue* value) const override {
    const RawValue* found = key_->FindValue(name);
    if (found == nullptr) return false;
    *value = *found;
    return true;
  }
  size_t ValueCount() const override { return key_->values().size(); }
  bool ValueAt(size_t index, RawValue* value) const override {
    if (index >= key_->values().size()) return false;
    *value = key_->values()[index];
    return true;
  }
  size_t SubkeyCount() const override { return key_->child_count(); }
  bool SubkeyNameAt(size_t index, std::string* name) const override {
    const MemoryKey* child = key_->ChildAt(index);
    if (child == nullptr) return false;
    *name = child->name();
    return true;
  }

 private:
  const MemoryKey* key_;
};

}  // namespace

std::unique_ptr<RegistryKey> NewMemoryKeyView(const MemoryKey* key) {
  return std::make_unique<MemoryKeyView>(key);
}

}  // namespace registry
