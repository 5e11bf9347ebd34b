// Fuzz target for the Wine registry file parser: arbitrary bytes are loaded
// as both files of a prefix, then every key and value is walked through the
// registry interface (which also follows link keys and expands the derived
// environment).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/registry/text.h"
#include "platform/registry/wine_source.h"
#include "platform/text/utf.h"

namespace {

// Link keys can make the tree cyclic when walked by path, so the walk is
// bounded in keys and in path length.
constexpr size_t kMaxKeysWalked = 2000;
constexpr size_t kMaxPathLength = 1024;

void Walk(const registry::RegistrySource& source, registry::RootKey root) {
  std::vector<std::string> pending = {""};
  size_t visited = 0;
  while (!pending.empty() && visited < kMaxKeysWalked) {
    std::string path = std::move(pending.back());
    pending.pop_back();
    ++visited;
    std::unique_ptr<registry::RegistryKey> key;
    if (!source.OpenKey(root, path, &key).ok()) continue;
    registry::RawValue value;
    for (size_t i = 0; key->ValueAt(i, &value); ++i) {
      registry::RawValue again;
      key->FindValue(value.name, &again);
      if (value.type == registry::kRegSz || value.type == registry::kRegExpandSz) {
        source.environment().Expand(text::Utf16ToUtf8(registry::LeBytesToUtf16(value.data)));
      }
    }
    std::string name;
    for (size_t i = 0; key->SubkeyNameAt(i, &name); ++i) {
      if (path.size() < kMaxPathLength) pending.push_back(path.empty() ? name : path + "\\" + name);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::unique_ptr<registry::WineRegistrySource> source;
  if (!registry::WineRegistrySource::FromText("/nonexistent-prefix", text, text, &source).ok()) {
    return 0;
  }
  Walk(*source, registry::RootKey::kCurrentUser);
  Walk(*source, registry::RootKey::kLocalMachine);
  return 0;
}
