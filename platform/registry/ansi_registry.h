// AnsiRegistry: the registry and environment calls of the Win32 API in their
// ANSI ("A") forms, over any RegistrySource: RegOpenKeyExA, RegQueryValueExA,
// RegEnumKeyExA, RegCloseKey (destroying the key) and
// ExpandEnvironmentStringsA. Text going in and out is in the ANSI code page
// given at construction; the registry itself holds UTF-16, so a character the
// code page cannot hold comes out as '?', as on Windows.
#ifndef TOLLAN_PLATFORM_REGISTRY_ANSI_REGISTRY_H_
#define TOLLAN_PLATFORM_REGISTRY_ANSI_REGISTRY_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/registry/registry_source.h"
#include "platform/registry/text.h"

namespace registry {

// Win32 error codes the calls return.
constexpr int32_t kErrorSuccess = 0;
constexpr int32_t kErrorFileNotFound = 2;
constexpr int32_t kErrorMoreData = 234;
constexpr int32_t kErrorNoMoreItems = 259;

class AnsiRegistry {
 public:
  // Both must outlive this object.
  AnsiRegistry(const RegistrySource& source, const CodePage& code_page)
      : source_(source), code_page_(code_page) {}

  // RegOpenKeyExA for reading: kErrorFileNotFound when root\path is absent.
  int32_t OpenKey(RootKey root, std::string_view path, std::unique_ptr<RegistryKey>* key) const;

  // RegQueryValueExA into a buffer of `buffer_size` bytes. String types
  // (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) come back converted to the code
  // page, NULs included as stored; other types as stored. kErrorMoreData when
  // the data does not fit (then `data` is empty).
  int32_t QueryValue(const RegistryKey& key, std::string_view name, uint32_t* type,
                     std::string* data, size_t buffer_size) const;

  // RegEnumKeyExA: the name of subkey `index` when it fits in `buffer_chars`
  // characters with its NUL; kErrorMoreData when not, kErrorNoMoreItems past
  // the last subkey.
  int32_t EnumKey(const RegistryKey& key, uint32_t index, std::string* name,
                  size_t buffer_chars) const;

  // ExpandEnvironmentStringsA with the source's environment (no size limit).
  std::string ExpandEnvironmentStrings(std::string_view text) const;

  const RegistrySource& source() const { return source_; }
  const CodePage& code_page() const { return code_page_; }

 private:
  const RegistrySource& source_;
  const CodePage& code_page_;
};

}  // namespace registry

#endif  // TOLLAN_PLATFORM_REGISTRY_ANSI_REGISTRY_H_
