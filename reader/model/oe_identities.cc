// OEIdentity and OEIdentities.

#include "reader/model/oe_identities.h"

#include "platform/com/enumerator.h"
#include "platform/text/utf.h"
#include "reader/model/collection_key.h"
#include "reader/model/text.h"

namespace kestrel {
namespace {

using tollan::com::BstrView;

const MemberThunk kIdentityThunks[] = {
    [](IDispatch* s, VARIANT*, VARIANT* r) { return static_cast<_OEIdentity*>(s)->get_Key(&r->bstrVal); },
    [](IDispatch* s, VARIANT* a, VARIANT*) { return static_cast<_OEIdentity*>(s)->put_Key(a[0].bstrVal); },
    [](IDispatch* s, VARIANT*, VARIANT* r) { return static_cast<_OEIdentity*>(s)->get_StorePath(&r->bstrVal); },
    [](IDispatch* s, VARIANT*, VARIANT* r) { return static_cast<_OEIdentity*>(s)->get_VersionNumber(&r->bstrVal); },
    [](IDispatch* s, VARIANT*, VARIANT* r) { return static_cast<_OEIdentity*>(s)->get_MigrationDone(&r->boolVal); },
    [](IDispatch* s, VARIANT*, VARIANT* r) { return static_cast<_OEIdentity*>(s)->get_BackgroundCompact(&r->boolVal); },
    [](IDispatch* s, VARIANT*, VARIANT* r) { return static_cast<_OEIdentity*>(s)->get_UserName(&r->bstrVal); },
    [](IDispatch* s, VARIANT*, VARIANT* r) { return static_cast<_OEIdentity*>(s)->get_OERunning(&r->boolVal); },
};

const MemberThunk kIdentitiesThunks[] = {
    [](IDispatch* s, VARIANT* a, VARIANT* r) {
      return ObjectResult<_OEIdentity>(r, [&](_OEIdentity** out) {
        return static_cast<_OEIdentities*>(s)->Add(&a[0].bstrVal, &a[1].boolVal, &a[2].bstrVal,
                                                   &a[3].boolVal, &a[4].boolVal, &a[5].bstrVal,
                                                   &a[6].bstrVal, out);
      });
    },
    [](IDispatch* s, VARIANT* a, VARIANT* r) {
      return ObjectResult<_OEIdentity>(
          r, [&](_OEIdentity** out) { return static_cast<_OEIdentities*>(s)->get_Item(&a[0], out); });
    },
    [](IDispatch* s, VARIANT*, VARIANT* r) { return static_cast<_OEIdentities*>(s)->get_Count(&r->lVal); },
    [](IDispatch* s, VARIANT*, VARIANT* r) { return static_cast<_OEIdentities*>(s)->get_NewEnum(&r->punkVal); },
};

std::u16string TextOf(const BSTR* value) {
  return value == nullptr ? std::u16string() : std::u16string(BstrView(*value));
}
bool FlagOf(const VARIANT_BOOL* value) { return value != nullptr && *value != VARIANT_FALSE; }

}  // namespace

OEIdentity::OEIdentity(Values values)
    : DispatchObject({&ClassOf(ClassId::kOEIdentity), kIdentityThunks}), values_(std::move(values)) {}

HRESULT OEIdentity::get_Key(BSTR* result) { return ReturnString(values_.key, result); }
HRESULT OEIdentity::put_Key(BSTR value) {
  values_.key = std::u16string(BstrView(value));
  return S_OK;
}
HRESULT OEIdentity::get_StorePath(BSTR* result) { return ReturnString(values_.store_path, result); }
HRESULT OEIdentity::get_VersionNumber(BSTR* result) {
  return ReturnString(values_.version_number, result);
}
HRESULT OEIdentity::get_MigrationDone(VARIANT_BOOL* result) {
  return ReturnBool(values_.migration_done, result);
}
HRESULT OEIdentity::get_BackgroundCompact(VARIANT_BOOL* result) {
  return ReturnBool(values_.background_compact, result);
}
HRESULT OEIdentity::get_UserName(BSTR* result) { return ReturnString(values_.user_name, result); }
HRESULT OEIdentity::get_OERunning(VARIANT_BOOL* result) {
  return ReturnBool(values_.oe_running, result);
}

OEIdentities::OEIdentities()
    : DispatchObject({&ClassOf(ClassId::kOEIdentities), kIdentitiesThunks}) {}

OEIdentities::~OEIdentities() {
  for (auto& item : items_) item.second->Release();
}

HRESULT OEIdentities::AddValues(OEIdentity::Values values, OEIdentity** added) {
  if (added != nullptr) *added = nullptr;
  if (Find(values.key) != nullptr) {
    return Raise(tollan::com::kErrDuplicateKey, "Add",
                 "an identity with the key \"" + text::Utf16ToUtf8(values.key) + "\" is already present");
  }
  std::u16string key = values.key;
  auto* identity = new OEIdentity(std::move(values));
  items_.emplace_back(std::move(key), identity);
  if (added != nullptr) {
    identity->AddRef();
    *added = identity;
  }
  return S_OK;
}

OEIdentity* OEIdentities::Find(std::u16string_view key) const {
  for (const auto& item : items_) {
    if (EqualNoCase(item.first, key)) return item.second;
  }
  return nullptr;
}

std::string OEIdentities::HostFolderOf(std::u16string_view store_path) const {
  auto bare = [](std::u16string_view path) {
    while (!path.empty() && path.back() == u'\\') path.remove_suffix(1);
    return path;
  };
  for (const auto& item : items_) {
    const OEIdentity::Values& values = item.second->values();
    if (!values.store_host_path.empty() && EqualNoCase(bare(values.store_path), bare(store_path))) {
      return values.store_host_path;
    }
  }
  return "";
}

HRESULT OEIdentities::Add(BSTR* Key, VARIANT_BOOL* OERunning, BSTR* UserName,
                          VARIANT_BOOL* BackgroundCompact, VARIANT_BOOL* MigrationDone,
                          BSTR* StorePath, BSTR* VersionNumber, _OEIdentity** result) {
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  OEIdentity::Values values;
  values.key = TextOf(Key);
  values.oe_running = FlagOf(OERunning);
  values.user_name = TextOf(UserName);
  values.background_compact = FlagOf(BackgroundCompact);
  values.migration_done = FlagOf(MigrationDone);
  values.store_path = TextOf(StorePath);
  values.version_number = TextOf(VersionNumber);
  OEIdentity* added = nullptr;
  const HRESULT hr = AddValues(std::move(values), &added);
  *result = added;
  return hr;
}

HRESULT OEIdentities::get_Item(VARIANT* vntIndexKey, _OEIdentity** result) {
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  CollectionKey key;
  if (!ReadCollectionKey(vntIndexKey, &key)) {
    return Raise(tollan::com::kErrTypeMismatch, "Item", "the index is neither a number nor a text");
  }
  if (key.is_number) {
    const size_t position = PositionOf(key.number, items_.size());
    if (position == 0) {
      return Raise(tollan::com::kErrSubscriptOutOfRange, "Item",
                   "position " + key.text + " is outside 1 to " + std::to_string(items_.size()));
    }
    return ReturnObject<_OEIdentity>(items_[position - 1].second, result);
  }
  OEIdentity* found = Find(text::Utf8ToUtf16(key.text));
  if (found == nullptr) {
    return Raise(tollan::com::kErrInvalidArgument, "Item",
                 "no identity has the key \"" + key.text + "\"");
  }
  return ReturnObject<_OEIdentity>(found, result);
}

HRESULT OEIdentities::get_Count(LONG* result) { return ReturnValue(items_.size(), result); }

HRESULT OEIdentities::get_NewEnum(IUnknown** result) {
  std::vector<IDispatch*> items;
  for (const auto& item : items_) items.push_back(item.second);
  return tollan::com::NewEnumOver(items, result);
}

}  // namespace kestrel
