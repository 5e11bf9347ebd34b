// WineRegistrySource: the registry of a Wine prefix, read from its text files
// (user.reg is HKEY_CURRENT_USER, system.reg is HKEY_LOCAL_MACHINE). Symbolic
// link keys (such as System\CurrentControlSet) are followed. The environment
// is the one the prefix gives its programs, derived from its own registry;
// Windows paths map to host paths through the prefix's dosdevices/ links.
#ifndef TOLLAN_PLATFORM_REGISTRY_WINE_SOURCE_H_
#define TOLLAN_PLATFORM_REGISTRY_WINE_SOURCE_H_

#include <memory>
#include <string>
#include <string_view>

#include "platform/registry/memory_hive.h"
#include "platform/registry/registry_source.h"
#include "platform/registry/wine_reg_parser.h"

namespace registry {

class WineRegistrySource : public RegistrySource {
 public:
  // Largest registry file read (bigger ones are refused, not truncated).
  static constexpr size_t kMaxFileSize = 512u << 20;

  // Loads the prefix folder `prefix`. A folder that does not exist is
  // NotFound; a missing user.reg or system.reg is an empty root (a fresh
  // prefix may lack them); a file that is not a Wine registry file is Corrupt.
  static Status Open(const std::string& prefix, std::unique_ptr<WineRegistrySource>* out);

  // Builds a source from file contents held in memory; `prefix` is still
  // used for dosdevices/ and the users folder.
  static Status FromText(const std::string& prefix, std::string_view user_reg,
                         std::string_view system_reg, std::unique_ptr<WineRegistrySource>* out);

  Status OpenKey(RootKey root, std::string_view path,
                 std::unique_ptr<RegistryKey>* key) const override;
  const Environment& environment() const override { return env_; }
  Status ToHostPath(std::string_view windows_path, std::string* host_path) const override;
  std::string Describe() const override;

  const std::string& prefix() const { return prefix_; }
  const WineParseReport& user_report() const { return user_report_; }
  const WineParseReport& system_report() const { return system_report_; }

 private:
  explicit WineRegistrySource(std::string prefix) : prefix_(std::move(prefix)) {}
  // The key at `path` below `start`, following link keys; `hops` counts the
  // links followed so far.
  const MemoryKey* Resolve(const MemoryKey* start, std::string_view path, int* hops) const;
  void BuildEnvironment();
  std::string GuessUserName() const;

  std::string prefix_;
  MemoryKey user_root_{""};
  MemoryKey system_root_{""};
  WineParseReport user_report_;
  WineParseReport system_report_;
  Environment env_;
};

}  // namespace registry

#endif  // TOLLAN_PLATFORM_REGISTRY_WINE_SOURCE_H_
