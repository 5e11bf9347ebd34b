// Fuzzes late binding: arbitrary Invoke calls (member, call kind, argument
// count, types, by-reference arguments, named arguments) on Kestrel objects
// that need no files. Every call must return a result code without crashing
// or leaking; arguments passed by reference stay owned by the caller.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/com/automation.h"
#include "reader/model/component.h"
#include "reader/model/oe.h"
#include "reader/model/oe_folders.h"
#include "reader/model/oe_identities.h"
#include "reader/model/oe_messages.h"
#include "reader/model/oe_msg_segments.h"
#include "reader/model/type_library.h"

namespace {

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool empty() const { return pos_ >= size_; }
  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  int32_t Int() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | Byte();
    return static_cast<int32_t>(v);
  }
  std::u16string Text() {
    const size_t n = Byte() % 16;
    std::u16string s;
    for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char16_t>(Byte()));
    return s;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// Storage that by-reference arguments point into.
struct Slots {
  LONG number = 0;
  SHORT small = 0;
  VARIANT_BOOL flag = 0;
  BSTR text = nullptr;
  VARIANT variant;
  Slots() { VariantInit(&variant); }
  ~Slots() {
    SysFreeString(text);
    VariantClear(&variant);
  }
};

void MakeArgument(Input& in, Slots& slots, VARIANT* v) {
  VariantInit(v);
  switch (in.Byte() % 11) {
    case 0: v->vt = VT_I4; v->lVal = in.Int(); break;
    case 1: v->vt = VT_I2; v->iVal = static_cast<SHORT>(in.Int()); break;
    case 2: v->vt = VT_BOOL; v->boolVal = (in.Byte() & 1) ? VARIANT_TRUE : VARIANT_FALSE; break;
    case 3: v->vt = VT_R8; v->dblVal = static_cast<double>(in.Int()) / 7.0; break;
    case 4: v->vt = VT_BSTR; v->bstrVal = tollan::com::AllocBstr(in.Text()); break;
    case 5: v->vt = VT_ERROR; v->scode = DISP_E_PARAMNOTFOUND; break;
    case 6: v->vt = (in.Byte() & 1) ? VT_NULL : VT_EMPTY; break;
    case 7:
      SysFreeString(slots.text);
      slots.text = tollan::com::AllocBstr(in.Text());
      v->vt = VT_BYREF | VT_BSTR;
      v->pbstrVal = &slots.text;
      break;
    case 8: v->vt = VT_BYREF | VT_I4; v->plVal = &slots.number; slots.number = in.Int(); break;
    case 9: v->vt = VT_BYREF | VT_BOOL; v->pboolVal = &slots.flag; break;
    default:
      VariantClear(&slots.variant);
      slots.variant.vt = VT_BSTR;
      slots.variant.bstrVal = tollan::com::AllocBstr(in.Text());
      v->vt = VT_BYREF | VT_VARIANT;
      v->pvarVal = &slots.variant;
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  kestrel::ThreadSession().set_store_directory("/nonexistent-kestrel-fuzz-store/");
  std::vector<IDispatch*> objects = {
      new kestrel::OE(kestrel::DiscoveryResult{}), new kestrel::OEFolder(),
      new kestrel::OEMessage(),                   new kestrel::OEIdentities(),
      new kestrel::OEMsgSegments(),               new kestrel::OEMsgSegment(u"x", 1),
      new kestrel::OEFolders()};
  const kestrel::ClassId ids[] = {kestrel::ClassId::kOE,           kestrel::ClassId::kOEFolder,
                                  kestrel::ClassId::kOEMessage,     kestrel::ClassId::kOEIdentities,
                                  kestrel::ClassId::kOEMsgSegments, kestrel::ClassId::kOEMsgSegment,
                                  kestrel::ClassId::kOEFolders};
  for (int calls = 0; calls < 16 && !in.empty(); ++calls) {
    const size_t which = in.Byte() % objects.size();
    const kestrel::ClassInfo& info = kestrel::ClassOf(ids[which]);
    const uint8_t pick = in.Byte();
    const DISPID id = pick < 240 ? info.members[pick % info.members.size()].dispid
                                 : static_cast<DISPID>(in.Int());
    const WORD flags = static_cast<WORD>(in.Byte() % 16);
    Slots slots;
    const UINT count = in.Byte() % 9;
    std::vector<VARIANT> args(count);
    for (VARIANT& a : args) MakeArgument(in, slots, &a);
    std::vector<DISPID> named;
    const UINT named_count = count == 0 ? 0 : in.Byte() % (count + 1);
    for (UINT k = 0; k < named_count; ++k) {
      const uint8_t n = in.Byte();
      named.push_back(n == 255 ? DISPID_PROPERTYPUT : static_cast<DISPID>(n % 10) - 1);
    }
    DISPPARAMS params{args.data(), named.data(), count, named_count};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO exception{};
    UINT arg_error = 0;
    objects[which]->Invoke(id, IID_NULL, 0, flags, &params, &result, &exception, &arg_error);
    VariantClear(&result);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    for (VARIANT& a : args) VariantClear(&a);
    SetErrorInfo(0, nullptr);
  }
  for (IDispatch* object : objects) object->Release();
  kestrel::ThreadSession().CloseFile();
  kestrel::ThreadSession().set_store_directory("");
  return 0;
}
