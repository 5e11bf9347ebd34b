// RegistrySource: read-only access to the two registry roots an Outlook
// Express identity lookup needs (the current user's and the machine's), to the
// environment of that user, and to the host files its paths name. The
// implementations read a Wine prefix (wine_source.h) or offline hive files
// (hive_source.h); ansi_registry.h layers the "A" forms of the Win32 calls on
// top. Text is UTF-8 throughout this interface; value data is kept as stored.
#ifndef TOLLAN_PLATFORM_REGISTRY_REGISTRY_SOURCE_H_
#define TOLLAN_PLATFORM_REGISTRY_REGISTRY_SOURCE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/registry/environment.h"
#include "platform/registry/status.h"

namespace registry {

enum class RootKey { kCurrentUser, kLocalMachine };

// Value types as the registry stores them.
enum ValueType : uint32_t {
  kRegNone = 0,
  kRegSz = 1,
  kRegExpandSz = 2,
  kRegBinary = 3,
  kRegDword = 4,
  kRegDwordBigEndian = 5,
  kRegLink = 6,
  kRegMultiSz = 7,
  kRegQword = 11,
};

// One value. `name` is "" for a key's default value. `data` holds the bytes as
// stored: string types are UTF-16LE, normally with their terminating NUL.
struct RawValue {
  std::string name;
  uint32_t type = kRegNone;
  std::string data;
};

// An open key. Closing it is destroying it. Subkeys are listed in the order
// the source enumerates them (RegEnumKeyEx index order).
class RegistryKey {
 public:
  virtual ~RegistryKey() = default;

  // The value called `name` (compared without regard to case), or false.
  virtual bool FindValue(std::string_view name, RawValue* value) const = 0;
  virtual size_t ValueCount() const = 0;
  virtual bool ValueAt(size_t index, RawValue* value) const = 0;
  virtual size_t SubkeyCount() const = 0;
  virtual bool SubkeyNameAt(size_t index, std::string* name) const = 0;
};

class RegistrySource {
 public:
  virtual ~RegistrySource() = default;

  // Opens root\path; path components are separated by '\' and compared
  // without regard to case; "" opens the root itself. NotFound when absent.
  virtual Status OpenKey(RootKey root, std::string_view path,
                         std::unique_ptr<RegistryKey>* key) const = 0;

  // The environment of the user whose registry this is (%USERPROFILE%,
  // %APPDATA%, %SystemRoot%, ...), used by ExpandEnvironmentStrings.
  virtual const Environment& environment() const = 0;

  // Translates a path as this registry's Windows would see it (usually after
  // expansion) into a path of this machine. Existing folders and files are
  // matched without regard to case; the part that does not exist yet is kept
  // as spelled.
  virtual Status ToHostPath(std::string_view windows_path, std::string* host_path) const = 0;

  // ExpandEnvironmentStrings over UTF-8 text: by default with environment();
  // the system registry uses the system's own call.
  virtual std::string ExpandEnvironment(std::string_view text) const {
    return environment().Expand(text);
  }
  // One line saying where the keys come from, for messages and reports.
  virtual std::string Describe() const = 0;
};

// Reads a string-typed value as UTF-8, up to its first NUL. False when the
// key or value is missing or the value is not of a string type.
bool ReadStringValue(const RegistrySource& source, RootKey root, std::string_view path,
                     std::string_view name, std::string* value);

}  // namespace registry

#endif  // TOLLAN_PLATFORM_REGISTRY_REGISTRY_SOURCE_H_
