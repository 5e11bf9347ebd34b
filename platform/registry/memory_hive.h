// MemoryKey: a registry key tree held in memory, as loaded from a Wine
// registry file. Subkeys enumerate in the order the registry keeps them,
// sorted by name without regard to case.
#ifndef TOLLAN_PLATFORM_REGISTRY_MEMORY_HIVE_H_
#define TOLLAN_PLATFORM_REGISTRY_MEMORY_HIVE_H_

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/registry_source.h"

namespace registry {

// The deepest key nesting accepted (the registry's own limit is 512 levels).
constexpr size_t kMaxKeyDepth = 512;

class MemoryKey {
 public:
  explicit MemoryKey(std::string name) : name_(std::move(name)) {}
  MemoryKey(const MemoryKey&) = delete;
  MemoryKey& operator=(const MemoryKey&) = delete;
  ~MemoryKey();

  const std::string& name() const { return name_; }

  // The subkey called `name` (without regard to case), or null.
  MemoryKey* Child(std::string_view name) const;
  // The subkey called `name`, created when missing.
  MemoryKey* AddChild(std::string_view name);
  size_t child_count() const { return children_.size(); }
  // The subkey at enumeration position `index`, or null.
  const MemoryKey* ChildAt(size_t index) const;

  // Sets (or replaces, matching names without regard to case) a value.
  void SetValue(RawValue value);
  void DeleteValue(std::string_view name);
  const RawValue* FindValue(std::string_view name) const;
  const std::vector<RawValue>& values() const { return values_; }

  // A symbolic link key: its "SymbolicLinkValue" names the target.
  bool is_link() const { return is_link_; }
  void set_link(bool link) { is_link_ = link; }

 private:
  void Reorder() const;

  std::string name_;
  std::map<std::string, std::unique_ptr<MemoryKey>> children_;  // folded name -> key
  mutable std::vector<const MemoryKey*> order_;                  // built on first ChildAt
  mutable bool order_valid_ = false;
  std::vector<RawValue> values_;
  std::map<std::string, size_t> value_index_;  // folded name -> position in values_
  bool is_link_ = false;
};

// A RegistryKey view of a MemoryKey; the tree must outlive it.
std::unique_ptr<RegistryKey> NewMemoryKeyView(const MemoryKey* key);

}  // namespace registry

#endif  // TOLLAN_PLATFORM_REGISTRY_MEMORY_HIVE_H_
