// Environment: the environment variables a registry source stands for (the
// profile of the user whose registry it is), and ExpandEnvironmentStrings.
#ifndef TOLLAN_PLATFORM_REGISTRY_ENVIRONMENT_H_
#define TOLLAN_PLATFORM_REGISTRY_ENVIRONMENT_H_

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace registry {

// Variables by name; names compare without regard to case. Text is UTF-8.
class Environment {
 public:
  // Sets (or replaces) `name`. The spelling of the first Set is kept.
  void Set(std::string_view name, std::string value);
  // Sets `name` only when it is not set yet.
  void SetDefault(std::string_view name, std::string value);
  bool Get(std::string_view name, std::string* value) const;
  // The value of `name`, or "" when it is not set.
  std::string GetOr(std::string_view name) const;

  // Replaces each %NAME% whose NAME is set by its value, in one pass (values
  // are not expanded again). A %NAME% that is not set, and a lone '%', stay
  // as they are, as the system's ExpandEnvironmentStrings leaves them.
  std::string Expand(std::string_view text) const;

  // All variables as (name, value), ordered by folded name.
  std::vector<std::pair<std::string, std::string>> Variables() const;

 private:
  std::map<std::string, std::pair<std::string, std::string>> vars_;  // folded name -> (name, value)
};

}  // namespace registry

#endif  // TOLLAN_PLATFORM_REGISTRY_ENVIRONMENT_H_
