// DispatchObject: the IUnknown and IDispatch half of every Kestrel class.
//
// A class derives from DispatchObject<its interface> and implements the
// interface's own members; QueryInterface answers IUnknown, IDispatch, the
// class's interface identity and any further identity the type library
// lists for it, and IDispatch is served from the type-library table.
// Objects are created with one reference, owned by their creator, and
// delete themselves when the last reference is released.

#ifndef TOLLAN_READER_MODEL_OBJECT_BASE_H_
#define TOLLAN_READER_MODEL_OBJECT_BASE_H_

#include <string_view>

#include "platform/com/automation.h"
#include "platform/com/errors.h"
#include "platform/com/type_info.h"
#include "reader/model/component.h"
#include "reader/model/dispatch.h"

namespace kestrel {

template <class Interface>
class DispatchObject : public Interface {
 public:
  DispatchObject(const DispatchObject&) = delete;
  DispatchObject& operator=(const DispatchObject&) = delete;

  HRESULT COMCALL QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == table_.info->iid ||
        IsOtherIid(riid)) {
      *object = static_cast<Interface*>(this);
      this->AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG COMCALL AddRef() override { return ++refs_; }
  ULONG COMCALL Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  // The interface's ITypeInfo from the type library built into the server
  // (Windows); elsewhere none, and the table of type_library.h describes it.
  HRESULT COMCALL GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = tollan::com::TypeInfoCount();
    return S_OK;
  }
  HRESULT COMCALL GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    if (info == nullptr) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    return tollan::com::LoadModuleTypeInfo(reinterpret_cast<const void*>(&KestrelLibrary),
                                           table_.info->iid, info);
  }
  HRESULT COMCALL GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                DISPID* ids) override {
    if (!(riid == IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    return DispatchGetIDsOfNames(table_, names, count, ids);
  }
  HRESULT COMCALL Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                         VARIANT* result, EXCEPINFO* exception, UINT* arg_error) override {
    if (!(riid == IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    return DispatchInvoke(table_, this, id, flags, params, result, exception, arg_error);
  }

  // The reference count, for tests of ownership.
  ULONG references() const { return refs_; }

 protected:
  explicit DispatchObject(DispatchTable table) : table_(table) { ObjectCreated(); }
  virtual ~DispatchObject() { ObjectDestroyed(); }

  // Fails the call with runtime error `number`, naming this class and member.
  HRESULT Raise(int number, std::string_view member, std::string_view detail = {}) const {
    std::string source = table_.info->name;
    source += ".";
    source += member;
    return tollan::com::RaiseError(number, source, detail);
  }

 private:
  bool IsOtherIid(REFIID riid) const {
    for (const IID& other : table_.info->other_iids) {
      if (other == riid) return true;
    }
    return false;
  }

  const DispatchTable table_;
  ULONG refs_ = 1;
};

// Out-parameter helpers for members.
inline HRESULT ReturnString(std::u16string_view text, BSTR* out) {
  if (out == nullptr) return E_POINTER;
  *out = tollan::com::AllocBstr(text);
  return S_OK;
}
inline HRESULT ReturnBool(bool value, VARIANT_BOOL* out) {
  if (out == nullptr) return E_POINTER;
  *out = value ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}
template <class T, class V>
HRESULT ReturnValue(V value, T* out) {
  if (out == nullptr) return E_POINTER;
  *out = static_cast<T>(value);
  return S_OK;
}
// Hands out a new reference to `object` (null stays null).
template <class I>
HRESULT ReturnObject(I* object, I** out) {
  if (out == nullptr) return E_POINTER;
  if (object != nullptr) object->AddRef();
  *out = object;
  return S_OK;
}

// Thunk helper: calls a member that returns an interface, into a VARIANT.
template <class I, class Call>
HRESULT ObjectResult(VARIANT* result, Call call) {
  I* object = nullptr;
  const HRESULT hr = call(&object);
  result->pdispVal = object;
  return hr;
}

}  // namespace kestrel

#endif  // TOLLAN_READER_MODEL_OBJECT_BASE_H_
