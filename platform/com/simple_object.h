// SimpleObject: reference counting and QueryInterface for a COM object that
// implements one interface (besides IUnknown). The object starts with one
// reference, owned by its creator, and deletes itself on the last Release.
//
//   class Parser final : public tollan::com::SimpleObject<IParser, IID_IParser> { ... };
//
// The destructor is virtual, so the vtable holds the interface's methods
// first, exactly as a COM client expects, and the destructor after them.
#ifndef TOLLAN_PLATFORM_COM_SIMPLE_OBJECT_H_
#define TOLLAN_PLATFORM_COM_SIMPLE_OBJECT_H_

#include <atomic>

#include "platform/com/interfaces.h"

namespace tollan::com {

template <typename Interface, const IID& kIid>
class SimpleObject : public Interface {
 public:
  SimpleObject() = default;
  SimpleObject(const SimpleObject&) = delete;
  SimpleObject& operator=(const SimpleObject&) = delete;

  HRESULT COMCALL QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == kIid) {
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

 protected:
  virtual ~SimpleObject() = default;

 private:
  std::atomic<ULONG> refs_{1};
};

}  // namespace tollan::com

#endif  // TOLLAN_PLATFORM_COM_SIMPLE_OBJECT_H_
