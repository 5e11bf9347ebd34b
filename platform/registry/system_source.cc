// The Windows registry through the wide-character registry calls.
#include "platform/registry/system_source.h"

#include <windows.h>

#include <vector>

#include "platform/registry/text.h"
#include "platform/text/utf.h"

namespace registry {
namespace {

std::wstring Wide(std::string_view utf8) {
  const std::u16string units = text::Utf8ToUtf16(utf8);
  return std::wstring(units.begin(), units.end());
}

std::string Utf8(const wchar_t* units, size_t length) {
  return text::Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(units), length));
}

class SystemKey final : public RegistryKey {
 public:
  explicit SystemKey(HKEY key) : key_(key) {}
  ~SystemKey() override { RegCloseKey(key_); }
  SystemKey(const SystemKey&) = delete;
  SystemKey& operator=(const SystemKey&) = delete;

  bool FindValue(std::string_view name, RawValue* value) const override {
    const std::wstring wide = Wide(name);
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key_, wide.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
      return false;
    }
    std::string data(size, '\0');
    if (RegQueryValueExW(key_, wide.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS) {
      return false;
    }
    data.resize(size);
    value->name = std::string(name);
    value->type = type;
    value->data = std::move(data);
    return true;
  }

  size_t ValueCount() const override {
    DWORD values = 0;
    if (RegQueryInfoKeyW(key_, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      return 0;
    }
    return values;
  }

  bool ValueAt(size_t index, RawValue* value) const override {
    wchar_t name[16384];
    DWORD name_length = 16384;
    if (RegEnumValueW(key_, static_cast<DWORD>(index), name, &name_length, nullptr, nullptr,
                      nullptr, nullptr) != ERROR_SUCCESS) {
      return false;
    }
    return FindValue(Utf8(name, name_length), value);
  }

  size_t SubkeyCount() const override {
    DWORD subkeys = 0;
    if (RegQueryInfoKeyW(key_, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      return 0;
    }
    return subkeys;
  }

  bool SubkeyNameAt(size_t index, std::string* name) const override {
    wchar_t buffer[256];
    DWORD length = 256;
    if (RegEnumKeyExW(key_, static_cast<DWORD>(index), buffer, &length, nullptr, nullptr,
                      nullptr, nullptr) != ERROR_SUCCESS) {
      return false;
    }
    *name = Utf8(buffer, length);
    return true;
  }

 private:
  HKEY key_;
};

}  // namespace

Status SystemRegistrySource::Open(std::unique_ptr<SystemRegistrySource>* out) {
  std::unique_ptr<SystemRegistrySource> source(new SystemRegistrySource());
  if (wchar_t* block = GetEnvironmentStringsW(); block != nullptr) {
    for (const wchar_t* entry = block; *entry != L'\0'; entry += wcslen(entry) + 1) {
      const std::string text = Utf8(entry, wcslen(entry));
      const size_t equals = text.find('=', 1);  // "=C:=C:\..." entries start with '='
      if (equals != std::string::npos) {
        source->environment_.Set(text.substr(0, equals), text.substr(equals + 1));
      }
    }
    FreeEnvironmentStringsW(block);
  }
  *out = std::move(source);
  return Status::Ok();
}

Status SystemRegistrySource::OpenKey(RootKey root, std::string_view path,
                                     std::unique_ptr<RegistryKey>* key) const {
  HKEY hive = root == RootKey::kCurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
  HKEY opened = nullptr;
  const LONG rc = RegOpenKeyExW(hive, Wide(path).c_str(), 0, KEY_READ, &opened);
  if (rc != ERROR_SUCCESS) {
    return Status::NotFound(std::string(path) + ": registry error " + std::to_string(rc));
  }
  key->reset(new SystemKey(opened));
  return Status::Ok();
}

std::string SystemRegistrySource::ExpandEnvironment(std::string_view text) const {
  const std::wstring wide = Wide(text);
  const DWORD needed = ExpandEnvironmentStringsW(wide.c_str(), nullptr, 0);
  if (needed == 0) return std::string(text);
  std::vector<wchar_t> buffer(needed);
  const DWORD written = ExpandEnvironmentStringsW(wide.c_str(), buffer.data(), needed);
  if (written == 0 || written > needed) return std::string(text);
  return Utf8(buffer.data(), wcslen(buffer.data()));
}

Status SystemRegistrySource::ToHostPath(std::string_view windows_path,
                                        std::string* host_path) const {
  *host_path = std::string(windows_path);
  return Status::Ok();
}

}  // namespace registry
