// OEMsgSegment and OEMsgSegments.

#include "reader/model/oe_msg_segments.h"

#include "platform/com/enumerator.h"
#include "reader/model/collection_key.h"
#include "reader/model/text.h"

namespace kestrel {
namespace {

const MemberThunk kSegmentThunks[] = {
    [](IDispatch* s, VARIANT*, VARIANT* r) { return static_cast<_OEMsgSegment*>(s)->get_Key(&r->bstrVal); },
    [](IDispatch* s, VARIANT* a, VARIANT*) { return static_cast<_OEMsgSegment*>(s)->put_Key(a[0].bstrVal); },
    [](IDispatch* s, VARIANT*, VARIANT* r) { return static_cast<_OEMsgSegment*>(s)->get_msgSegmentLen(&r->iVal); },
    [](IDispatch* s, VARIANT*, VARIANT* r) { return static_cast<_OEMsgSegment*>(s)->get_msgText(&r->bstrVal); },
};

const MemberThunk kSegmentsThunks[] = {
    [](IDispatch* s, VARIANT* a, VARIANT* r) {
      return ObjectResult<_OEMsgSegment>(
          r, [&](_OEMsgSegment** out) { return static_cast<_OEMsgSegments*>(s)->get_Item(&a[0], out); });
    },
    [](IDispatch* s, VARIANT*, VARIANT* r) { return static_cast<_OEMsgSegments*>(s)->get_Count(&r->lVal); },
    [](IDispatch* s, VARIANT*, VARIANT* r) { return static_cast<_OEMsgSegments*>(s)->get_NewEnum(&r->punkVal); },
};

}  // namespace

OEMsgSegment::OEMsgSegment(std::u16string text, SHORT length)
    : DispatchObject({&ClassOf(ClassId::kOEMsgSegment), kSegmentThunks}),
      text_(std::move(text)),
      length_(length) {}

HRESULT OEMsgSegment::get_Key(BSTR* result) { return ReturnString(key_, result); }
HRESULT OEMsgSegment::put_Key(BSTR value) {
  key_ = std::u16string(tollan::com::BstrView(value));
  return S_OK;
}
HRESULT OEMsgSegment::get_msgSegmentLen(SHORT* result) { return ReturnValue(length_, result); }
HRESULT OEMsgSegment::get_msgText(BSTR* result) { return ReturnString(text_, result); }

OEMsgSegments::OEMsgSegments()
    : DispatchObject({&ClassOf(ClassId::kOEMsgSegments), kSegmentsThunks}) {}

OEMsgSegments::~OEMsgSegments() {
  for (OEMsgSegment* item : items_) item->Release();
}

void OEMsgSegments::AddSegment(const std::string& text, SHORT length) {
  items_.push_back(new OEMsgSegment(FromAnsi(text), length));
}

HRESULT OEMsgSegments::get_Item(VARIANT* vntIndexKey, _OEMsgSegment** result) {
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  CollectionKey key;
  if (!ReadCollectionKey(vntIndexKey, &key)) {
    return Raise(tollan::com::kErrTypeMismatch, "Item", "the index is not a number");
  }
  if (!key.is_number) {
    return Raise(tollan::com::kErrInvalidArgument, "Item",
                 "segments carry no keys; \"" + key.text + "\" names none");
  }
  const size_t position = PositionOf(key.number, items_.size());
  if (position == 0) {
    return Raise(tollan::com::kErrSubscriptOutOfRange, "Item",
                 "position " + key.text + " is outside 1 to " + std::to_string(items_.size()));
  }
  return ReturnObject<_OEMsgSegment>(items_[position - 1], result);
}

HRESULT OEMsgSegments::get_Count(LONG* result) { return ReturnValue(items_.size(), result); }

HRESULT OEMsgSegments::get_NewEnum(IUnknown** result) { return tollan::com::NewEnumOver(items_, result); }

}  // namespace kestrel
