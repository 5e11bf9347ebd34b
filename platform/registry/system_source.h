// SystemRegistrySource: the registry of the running Windows, read-only (the
// Windows build's RegistrySource). Keys are opened for reading only;
// environment strings are expanded by the system's own
// ExpandEnvironmentStrings, and Windows paths are host paths already.
#ifndef TOLLAN_PLATFORM_REGISTRY_SYSTEM_SOURCE_H_
#define TOLLAN_PLATFORM_REGISTRY_SYSTEM_SOURCE_H_

#include <memory>
#include <string>
#include <string_view>

#include "platform/registry/registry_source.h"

namespace registry {

class SystemRegistrySource final : public RegistrySource {
 public:
  // Takes a snapshot of the process environment for environment().
  static Status Open(std::unique_ptr<SystemRegistrySource>* out);

  Status OpenKey(RootKey root, std::string_view path,
                 std::unique_ptr<RegistryKey>* key) const override;
  const Environment& environment() const override { return environment_; }
  std::string ExpandEnvironment(std::string_view text) const override;
  Status ToHostPath(std::string_view windows_path, std::string* host_path) const override;
  std::string Describe() const override { return "the system registry"; }

 private:
  SystemRegistrySource() = default;
  Environment environment_;
};

}  // namespace registry

#endif  // TOLLAN_PLATFORM_REGISTRY_SYSTEM_SOURCE_H_
