// DuplicateFilter: remembers the messages a run has put into its output, so
// that a second copy of one (the same store backed up twice, converted into
// one .pst) is left out instead of saved again.
//
// Two messages are the same when their complete stored texts are byte for
// byte equal, which takes in the Message-ID header and the content. They are
// compared by SHA-256 digest, so the filter holds 32 bytes per message.
//
// Typical use, around the save of each message:
//   std::string key = DuplicateFilter::KeyOf(text);
//   if (!filter.Claim(key)) { LeaveOut(); return; }
//   if (!Save(text).ok()) filter.Release(key);  // a later copy may still go in
#ifndef TOLLAN_CONVERTER_ENGINE_DUPLICATE_FILTER_H_
#define TOLLAN_CONVERTER_ENGINE_DUPLICATE_FILTER_H_

#include <string>
#include <string_view>
#include <unordered_set>

namespace tollan {

class DuplicateFilter {
 public:
  // The key of a message's complete text.
  static std::string KeyOf(std::string_view text);

  // True when no message of this key was claimed yet (it is claimed now);
  // false for a duplicate.
  bool Claim(const std::string& key) { return keys_.insert(key).second; }

  // Gives up the claim of a message that did not reach the output after all.
  void Release(const std::string& key) { keys_.erase(key); }

 private:
  std::unordered_set<std::string> keys_;
};

}  // namespace tollan

#endif  // TOLLAN_CONVERTER_ENGINE_DUPLICATE_FILTER_H_
