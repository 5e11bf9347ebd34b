// Reading collection index arguments.

#include "reader/model/collection_key.h"

#include <cmath>

#include "platform/com/automation.h"

namespace kestrel {

bool ReadCollectionKey(const VARIANT* argument, CollectionKey* key) {
  if (argument == nullptr) return false;
  const VARIANT* v = argument;
  while ((v->vt & ~VT_BYREF) == VT_VARIANT && (v->vt & VT_BYREF) && v->pvarVal != nullptr) {
    v = v->pvarVal;
  }
  const VARTYPE type = v->vt & VT_TYPEMASK;
  if (type == VT_BSTR) {
    key->is_number = false;
    key->text = tollan::com::Utf8FromBstr((v->vt & VT_BYREF) ? *v->pbstrVal : v->bstrVal);
    return true;
  }
  switch (type) {
    case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4: case VT_INT:
    case VT_UINT: case VT_I8: case VT_UI8: case VT_R4: case VT_R8: case VT_BOOL: case VT_DATE:
      break;
    default:
      return false;
  }
  VARIANT converted;
  VariantInit(&converted);
  if (FAILED(VariantChangeType(&converted, const_cast<VARIANT*>(v), 0, VT_R8))) return false;
  key->is_number = true;
  key->number = converted.dblVal;
  VARIANT as_text;
  VariantInit(&as_text);
  if (SUCCEEDED(VariantChangeType(&as_text, &converted, 0, VT_BSTR))) {
    key->text = tollan::com::Utf8FromBstr(as_text.bstrVal);
    VariantClear(&as_text);
  }
  return true;
}

bool TextReadsAsNumber(const std::string& text, double* number) {
  bool has_digit = false;
  for (char c : text) has_digit = has_digit || (c >= '0' && c <= '9');
  if (!has_digit) return false;
  VARIANT source;
  VariantInit(&source);
  source.vt = VT_BSTR;
  source.bstrVal = tollan::com::AllocBstrUtf8(text);
  VARIANT converted;
  VariantInit(&converted);
  const HRESULT hr = VariantChangeType(&converted, &source, 0, VT_R8);
  VariantClear(&source);
  if (FAILED(hr)) return false;
  *number = converted.dblVal;
  return true;
}

size_t PositionOf(double number, size_t count) {
  const double rounded = std::nearbyint(number);
  if (!(rounded >= 1 && rounded <= static_cast<double>(count))) return 0;
  return static_cast<size_t>(rounded);
}

}  // namespace kestrel
