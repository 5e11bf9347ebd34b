// Helpers shared by the object-model tests.

#include "tests/reader/model/model_test_support.h"

#include "platform/text/utf.h"
#include "reader/model/component.h"

namespace kestrel::testing {

void ResetThreadState() {
  dbx::DbxSession& session = ThreadSession();
  session.CloseFile();
  session.set_store_directory("");
}

void SetStore(_OE* oe, const std::string& dir) {
  Bstr text(dir.c_str());
  BSTR raw = text.get();
  oe->put_OEStore(&raw);
  // put_OEStore takes the string by reference but leaves it unchanged.
}

Call Invoke(IDispatch* object, const std::string& name, WORD flags, std::vector<VARIANT> args,
            std::vector<std::string> named) {
  Call call;
  std::vector<std::u16string> names{text::Utf8ToUtf16(name)};
  for (const auto& n : named) names.push_back(text::Utf8ToUtf16(n));
  std::vector<LPOLESTR> name_ptrs;
  for (auto& n : names) name_ptrs.push_back(n.data());
  std::vector<DISPID> ids(names.size());
  call.hr = object->GetIDsOfNames(IID_NULL, name_ptrs.data(), static_cast<UINT>(names.size()),
                                  LOCALE_NEUTRAL, ids.data());
  if (FAILED(call.hr)) return call;

  // rgvarg: named arguments first (in the order of `named`, which name the
  // first args), then the positional ones in reverse.
  std::vector<VARIANT> rgvarg;
  std::vector<DISPID> named_ids;
  const bool put = (flags & DISPATCH_PROPERTYPUT) != 0;
  size_t positional = args.size();
  if (put) {
    rgvarg.push_back(args.back());
    named_ids.push_back(DISPID_PROPERTYPUT);
    positional = args.size() - 1;
  }
  for (size_t k = 0; k < named.size(); ++k) {
    rgvarg.push_back(args[k]);
    named_ids.push_back(ids[k + 1]);
  }
  for (size_t j = positional; j-- > named.size();) rgvarg.push_back(args[j]);
  DISPPARAMS params{rgvarg.data(), named_ids.data(), static_cast<UINT>(rgvarg.size()),
                    static_cast<UINT>(named_ids.size())};
  EXCEPINFO info{};
  call.hr = object->Invoke(ids[0], IID_NULL, LOCALE_NEUTRAL, flags, &params, call.result.get(),
                           &info, &call.arg_error);
  if (call.hr == DISP_E_EXCEPTION) {
    call.error_number = tollan::com::ErrorNumberFromHresult(info.scode);
    call.description = tollan::com::Utf8FromBstr(info.bstrDescription);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
  }
  return call;
}

VARIANT RefTo(BSTR* target) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BYREF | VT_BSTR;
  v.pbstrVal = target;
  return v;
}
VARIANT RefTo(VARIANT_BOOL* target) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BYREF | VT_BOOL;
  v.pboolVal = target;
  return v;
}
VARIANT RefTo(LONG* target) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BYREF | VT_I4;
  v.plVal = target;
  return v;
}
VARIANT RefTo(VARIANT* target) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BYREF | VT_VARIANT;
  v.pvarVal = target;
  return v;
}
VARIANT Value(LONG value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = value;
  return v;
}
VARIANT Value(bool value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BOOL;
  v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}
VARIANT Value(BSTR value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = value;
  return v;
}

}  // namespace kestrel::testing
