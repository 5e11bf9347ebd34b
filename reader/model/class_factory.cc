// Class factories of the creatable classes.

#include "reader/model/class_factory.h"
#include "platform/com/simple_object.h"

#include "reader/model/component.h"
#include "reader/model/guids.h"
#include "reader/model/oe.h"
#include "reader/model/oe_folders.h"
#include "reader/model/oe_messages.h"
#include "reader/model/type_library.h"

namespace kestrel {
namespace {

class ClassFactory final : public tollan::com::SimpleObject<IClassFactory, IID_IClassFactory> {
 public:
  explicit ClassFactory(const CLSID& clsid) : clsid_(clsid) { ObjectCreated(); }

  HRESULT COMCALL CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return kestrel::CreateInstance(clsid_, riid, object);
  }
  HRESULT COMCALL LockServer(BOOL lock) override {
    kestrel::LockServer(lock != 0);
    return S_OK;
  }

 private:
  ~ClassFactory() { ObjectDestroyed(); }
  const CLSID clsid_;
};

// Hands out interface `riid` of a new object and drops the creator's reference.
template <class T>
HRESULT Hand(T* created, REFIID riid, void** object) {
  const HRESULT hr = created->QueryInterface(riid, object);
  created->Release();
  return hr;
}

}  // namespace

HRESULT CreateInstance(REFCLSID clsid, REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (clsid == CLSID_OE) return Hand(new OE(), riid, object);
  if (clsid == CLSID_OEFolder) return Hand(new OEFolder(), riid, object);
  if (clsid == CLSID_OEMessage) return Hand(new OEMessage(), riid, object);
  return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  for (const ClassInfo& info : KestrelLibrary().classes) {
    if (info.clsid == clsid && info.creatable) return Hand(new ClassFactory(clsid), riid, object);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

}  // namespace kestrel
