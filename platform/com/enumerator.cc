// A snapshot enumerator over automation objects.

#include "platform/com/enumerator.h"
#include "platform/com/simple_object.h"

#include <atomic>
#include <memory>

#include "platform/com/automation.h"

namespace tollan::com {
namespace {

// The shared, reference-holding snapshot behind an enumerator and its clones.
class Snapshot {
 public:
  explicit Snapshot(const std::vector<IDispatch*>& items) : items_(items) {
    for (IDispatch* item : items_) {
      if (item != nullptr) item->AddRef();
    }
  }
  Snapshot(const Snapshot&) = delete;
  Snapshot& operator=(const Snapshot&) = delete;
  ~Snapshot() {
    for (IDispatch* item : items_) {
      if (item != nullptr) item->Release();
    }
  }
  const std::vector<IDispatch*>& items() const { return items_; }

 private:
  std::vector<IDispatch*> items_;
};

class ObjectEnumerator final : public SimpleObject<IEnumVARIANT, IID_IEnumVARIANT> {
 public:
  ObjectEnumerator(std::shared_ptr<Snapshot> snapshot, size_t position)
      : snapshot_(std::move(snapshot)), position_(position) {}


  HRESULT COMCALL Next(ULONG count, VARIANT* items, ULONG* fetched) override {
    if (items == nullptr && count > 0) return E_POINTER;
    if (fetched == nullptr && count > 1) return E_POINTER;
    const auto& all = snapshot_->items();
    ULONG done = 0;
    while (done < count && position_ < all.size()) {
      VariantInit(&items[done]);
      items[done].vt = VT_DISPATCH;
      items[done].pdispVal = all[position_];
      if (all[position_] != nullptr) all[position_]->AddRef();
      ++done;
      ++position_;
    }
    if (fetched != nullptr) *fetched = done;
    return done == count ? S_OK : S_FALSE;
  }
  HRESULT COMCALL Skip(ULONG count) override {
    const size_t size = snapshot_->items().size();
    const size_t left = size - position_;
    if (count > left) {
      position_ = size;
      return S_FALSE;
    }
    position_ += count;
    return S_OK;
  }
  HRESULT COMCALL Reset() override {
    position_ = 0;
    return S_OK;
  }
  HRESULT COMCALL Clone(IEnumVARIANT** copy) override {
    if (copy == nullptr) return E_POINTER;
    *copy = new ObjectEnumerator(snapshot_, position_);
    return S_OK;
  }

 private:
  std::shared_ptr<Snapshot> snapshot_;
  size_t position_;
};

}  // namespace

HRESULT CreateObjectEnumerator(const std::vector<IDispatch*>& items, IEnumVARIANT** out) {
  if (out == nullptr) return E_POINTER;
  *out = new ObjectEnumerator(std::make_shared<Snapshot>(items), 0);
  return S_OK;
}

}  // namespace tollan::com
