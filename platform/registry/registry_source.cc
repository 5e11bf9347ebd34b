// Helpers shared by every registry source.
#include "platform/registry/registry_source.h"

#include "platform/registry/text.h"
#include "platform/text/utf.h"

namespace registry {

bool ReadStringValue(const RegistrySource& source, RootKey root, std::string_view path,
                     std::string_view name, std::string* value) {
  std::unique_ptr<RegistryKey> key;
  if (!source.OpenKey(root, path, &key).ok()) return false;
  RawValue raw;
  if (!key->FindValue(name, &raw)) return false;
  if (raw.type != kRegSz && raw.type != kRegExpandSz) return false;
  std::u16string text = LeBytesToUtf16(raw.data);
  size_t nul = text.find(u'\0');
  if (nul != std::u16string::npos) text.resize(nul);
  *value = text::Utf16ToUtf8(text);
  return true;
}

}  // namespace registry
