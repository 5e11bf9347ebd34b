// KeyedList: a 1-based ordered collection whose entries also carry a unique
// text key, in the manner of the collections that the file search fills.
// Positions, not keys, are what callers normally use.
#ifndef TOLLAN_CONVERTER_DISCOVERY_KEYED_LIST_H_
#define TOLLAN_CONVERTER_DISCOVERY_KEYED_LIST_H_

#include <cstddef>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tollan {

template <typename T>
class KeyedList {
 public:
  // Appends `value` under `key`. Returns false (and adds nothing) when the key
  // is already present.
  bool Add(T value, const std::string& key) {
    if (!index_.emplace(key, items_.size()).second) return false;
    items_.push_back(std::move(value));
    keys_.push_back(key);
    return true;
  }

  size_t Count() const { return items_.size(); }
  bool Empty() const { return items_.empty(); }

  // 1-based position; the caller keeps 1 <= position <= Count().
  const T& Item(size_t position) const { return items_.at(position - 1); }
  const std::string& KeyAt(size_t position) const { return keys_.at(position - 1); }

  // The entry stored under `key`, or nullptr.
  const T* Find(const std::string& key) const {
    auto it = index_.find(key);
    return it == index_.end() ? nullptr : &items_[it->second];
  }

  void Clear() {
    items_.clear();
    keys_.clear();
    index_.clear();
  }

  const std::vector<T>& items() const { return items_; }

 private:
  std::vector<T> items_;
  std::vector<std::string> keys_;
  std::unordered_map<std::string, size_t> index_;
};

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_DISCOVERY_KEYED_LIST_H_
