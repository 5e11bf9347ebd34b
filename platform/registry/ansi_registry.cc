// The "A" registry calls over a RegistrySource.
#include "platform/registry/ansi_registry.h"

namespace registry {

int32_t AnsiRegistry::OpenKey(RootKey root, std::string_view path,
                              std::unique_ptr<RegistryKey>* key) const {
  Status s = source_.OpenKey(root, code_page_.ToUtf8(path), key);
  return s.ok() ? kErrorSuccess : kErrorFileNotFound;
}

int32_t AnsiRegistry::QueryValue(const RegistryKey& key, std::string_view name, uint32_t* type,
                                 std::string* data, size_t buffer_size) const {
  data->clear();
  RawValue value;
  if (!key.FindValue(code_page_.ToUtf8(name), &value)) return kErrorFileNotFound;
  *type = value.type;
  std::string bytes;
  if (value.type == kRegSz || value.type == kRegExpandSz || value.type == kRegMultiSz) {
    bytes = code_page_.FromUtf16(LeBytesToUtf16(value.data));
  } else {
    bytes = std::move(value.data);
  }
  if (bytes.size() > buffer_size) return kErrorMoreData;
  *data = std::move(bytes);
  return kErrorSuccess;
}

int32_t AnsiRegistry::EnumKey(const RegistryKey& key, uint32_t index, std::string* name,
                              size_t buffer_chars) const {
  name->clear();
  std::string utf8;
  if (!key.SubkeyNameAt(index, &utf8)) return kErrorNoMoreItems;
  std::string ansi = code_page_.FromUtf8(utf8);
  if (ansi.size() + 1 > buffer_chars) return kErrorMoreData;
  *name = std::move(ansi);
  return kErrorSuccess;
}

std::string AnsiRegistry::ExpandEnvironmentStrings(std::string_view text) const {
  return code_page_.FromUtf8(source_.ExpandEnvironment(code_page_.ToUtf8(text)));
}

}  // namespace registry
