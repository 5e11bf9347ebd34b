// VARIANT life cycle and type conversion.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "platform/com/automation.h"

// Windows provides the variant functions; these serve the other systems.
#if !defined(_WIN32)
namespace {

using tollan::com::AllocBstrUtf8;
using tollan::com::Utf8FromBstr;

// The value of a variant reduced to one of a few kinds, for conversion.
struct Scalar {
  enum Kind { kEmpty, kNull, kInteger, kReal, kBool, kString, kDate, kObject, kOther };
  Kind kind = kOther;
  long long integer = 0;
  double real = 0;
  bool flag = false;
  std::string text;
};

Scalar Reduce(const VARIANT* v) {
  Scalar s;
  s.kind = Scalar::kOther;
  const bool ref = (v->vt & VT_BYREF) != 0;
  const VARTYPE type = v->vt & VT_TYPEMASK;
  if (ref && v->byref == nullptr) return s;
  switch (type) {
    case VT_EMPTY: s.kind = Scalar::kEmpty; break;
    case VT_NULL: s.kind = Scalar::kNull; break;
    case VT_I1: s.kind = Scalar::kInteger; s.integer = ref ? *static_cast<signed char*>(v->byref) : v->cVal; break;
    case VT_UI1: s.kind = Scalar::kInteger; s.integer = ref ? *v->pbVal : v->bVal; break;
    case VT_I2: s.kind = Scalar::kInteger; s.integer = ref ? *v->piVal : v->iVal; break;
    case VT_UI2: s.kind = Scalar::kInteger; s.integer = ref ? *static_cast<USHORT*>(v->byref) : v->uiVal; break;
    case VT_I4: s.kind = Scalar::kInteger; s.integer = ref ? *v->plVal : v->lVal; break;
    case VT_INT: s.kind = Scalar::kInteger; s.integer = ref ? *static_cast<INT*>(v->byref) : v->intVal; break;
    case VT_UI4: s.kind = Scalar::kInteger; s.integer = ref ? *static_cast<ULONG*>(v->byref) : v->ulVal; break;
    case VT_UINT: s.kind = Scalar::kInteger; s.integer = ref ? *static_cast<UINT*>(v->byref) : v->uintVal; break;
    case VT_I8: s.kind = Scalar::kInteger; s.integer = ref ? *v->pllVal : v->llVal; break;
    case VT_UI8: {
      const ULONGLONG u = ref ? *static_cast<ULONGLONG*>(v->byref) : v->ullVal;
      if (u > static_cast<ULONGLONG>(std::numeric_limits<long long>::max())) {
        s.kind = Scalar::kReal;
        s.real = static_cast<double>(u);
      } else {
        s.kind = Scalar::kInteger;
        s.integer = static_cast<long long>(u);
      }
      break;
    }
    case VT_R4: s.kind = Scalar::kReal; s.real = ref ? *v->pfltVal : v->fltVal; break;
    case VT_R8: s.kind = Scalar::kReal; s.real = ref ? *v->pdblVal : v->dblVal; break;
    case VT_DATE: s.kind = Scalar::kDate; s.real = ref ? *v->pdate : v->date; break;
    case VT_BOOL: s.kind = Scalar::kBool; s.flag = (ref ? *v->pboolVal : v->boolVal) != 0; break;
    case VT_BSTR: s.kind = Scalar::kString; s.text = Utf8FromBstr(ref ? *v->pbstrVal : v->bstrVal); break;
    case VT_DISPATCH:
    case VT_UNKNOWN: s.kind = Scalar::kObject; break;
    case VT_VARIANT:
      if (ref) return Reduce(v->pvarVal);
      break;
    default: break;
  }
  return s;
}

std::string Trim(const std::string& text) {
  size_t b = 0, e = text.size();
  while (b < e && (text[b] == ' ' || text[b] == '\t')) ++b;
  while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t')) --e;
  return text.substr(b, e - b);
}

bool EqualsNoCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i] != 0; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return i == a.size() && b[i] == 0;
}

// Reads a whole text as a number; false when it is not one.
bool ParseNumber(const std::string& raw, double* out) {
  const std::string text = Trim(raw);
  if (text.empty()) return false;
  if (text.size() > 2 && text[0] == '&' && (text[1] == 'H' || text[1] == 'h')) {
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text.c_str() + 2, &end, 16);
    if (end == nullptr || *end != 0) return false;
    *out = static_cast<double>(value);
    return true;
  }
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E')) {
      return false;
    }
  }
  char* end = nullptr;
  *out = std::strtod(text.c_str(), &end);
  return end != nullptr && *end == 0 && std::isfinite(*out);
}

// Numeric value of a scalar; HRESULT on failure.
HRESULT ToReal(const Scalar& s, double* out) {
  switch (s.kind) {
    case Scalar::kEmpty: *out = 0; return S_OK;
    case Scalar::kInteger: *out = static_cast<double>(s.integer); return S_OK;
    case Scalar::kReal:
    case Scalar::kDate: *out = s.real; return S_OK;
    case Scalar::kBool: *out = s.flag ? -1 : 0; return S_OK;
    case Scalar::kString:
      if (EqualsNoCase(Trim(s.text), "true")) { *out = -1; return S_OK; }
      if (EqualsNoCase(Trim(s.text), "false")) { *out = 0; return S_OK; }
      return ParseNumber(s.text, out) ? S_OK : DISP_E_TYPEMISMATCH;
    default: return DISP_E_TYPEMISMATCH;
  }
}

// Integer value in [lo, hi], rounding halves to even as automation does.
HRESULT ToInteger(const Scalar& s, long long lo, long long hi, long long* out) {
  if (s.kind == Scalar::kInteger) {
    if (s.integer < lo || s.integer > hi) return DISP_E_OVERFLOW;
    *out = s.integer;
    return S_OK;
  }
  double real;
  const HRESULT hr = ToReal(s, &real);
  if (FAILED(hr)) return hr;
  const double rounded = std::nearbyint(real);
  if (!(rounded >= static_cast<double>(lo) && rounded <= static_cast<double>(hi))) {
    return DISP_E_OVERFLOW;
  }
  *out = static_cast<long long>(rounded);
  return S_OK;
}

std::string FormatReal(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof(buffer), "%.15g", value);
  return buffer;
}

// Text form of a date: year-month-day and, when not midnight, the time.
std::string FormatDate(double date) {
  const double day_number = std::floor(date);
  // Day 25569 is 1970-01-01; civil date from days since then.
  long long z = static_cast<long long>(day_number) - 25569 + 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long long y = yoe + era * 400;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  const long long d = doy - (153 * mp + 2) / 5 + 1;
  const long long m = mp < 10 ? mp + 3 : mp - 9;
  if (m <= 2) ++y;
  long long seconds = std::llround(std::fabs(date - day_number) * 86400.0);
  if (seconds >= 86400) seconds = 86399;
  char buffer[128];
  if (seconds == 0) {
    std::snprintf(buffer, sizeof(buffer), "%04lld-%02lld-%02lld", y, m, d);
  } else {
    std::snprintf(buffer, sizeof(buffer), "%04lld-%02lld-%02lld %02lld:%02lld:%02lld", y, m, d,
                  seconds / 3600, (seconds / 60) % 60, seconds % 60);
  }
  return buffer;
}

}  // namespace

void VariantInit(VARIANT* v) {
  v->vt = VT_EMPTY;
  v->wReserved1 = v->wReserved2 = v->wReserved3 = 0;
  v->llVal = 0;
  v->brecVal.pRecInfo = nullptr;
}

HRESULT VariantClear(VARIANT* v) {
  if (v == nullptr) return E_INVALIDARG;
  switch (v->vt) {
    case VT_BSTR: SysFreeString(v->bstrVal); break;
    case VT_DISPATCH:
    case VT_UNKNOWN:
      if (v->punkVal != nullptr) v->punkVal->Release();
      break;
    default: break;
  }
  VariantInit(v);
  return S_OK;
}

HRESULT VariantCopy(VARIANT* dest, const VARIANT* src) {
  if (dest == nullptr || src == nullptr) return E_INVALIDARG;
  if (dest == src) return S_OK;
  VARIANT copy = *src;
  if (src->vt == VT_BSTR) {
    copy.bstrVal = src->bstrVal == nullptr
                       ? nullptr
                       : SysAllocStringLen(src->bstrVal, SysStringLen(src->bstrVal));
    if (src->bstrVal != nullptr && copy.bstrVal == nullptr) return E_OUTOFMEMORY;
  } else if ((src->vt == VT_DISPATCH || src->vt == VT_UNKNOWN) && src->punkVal != nullptr) {
    src->punkVal->AddRef();
  }
  VariantClear(dest);
  *dest = copy;
  return S_OK;
}

HRESULT VariantCopyInd(VARIANT* dest, const VARIANT* src) {
  if (dest == nullptr || src == nullptr) return E_INVALIDARG;
  if ((src->vt & VT_BYREF) == 0) return VariantCopy(dest, src);
  if (src->byref == nullptr) return E_INVALIDARG;
  const VARTYPE type = src->vt & VT_TYPEMASK;
  if (type == VT_VARIANT) return VariantCopyInd(dest, src->pvarVal);
  VARIANT value;
  VariantInit(&value);
  value.vt = type;
  switch (type) {
    case VT_I1: case VT_UI1: value.bVal = *src->pbVal; break;
    case VT_I2: case VT_UI2: value.iVal = *src->piVal; break;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_ERROR: value.lVal = *src->plVal; break;
    case VT_I8: case VT_UI8: value.llVal = *src->pllVal; break;
    case VT_R4: value.fltVal = *src->pfltVal; break;
    case VT_R8: value.dblVal = *src->pdblVal; break;
    case VT_DATE: value.date = *src->pdate; break;
    case VT_BOOL: value.boolVal = *src->pboolVal; break;
    case VT_BSTR: value.bstrVal = *src->pbstrVal; break;
    case VT_DISPATCH: case VT_UNKNOWN: value.punkVal = *src->ppunkVal; break;
    default: return DISP_E_BADVARTYPE;
  }
  // `value` borrows; VariantCopy makes the owned copy.
  VARIANT result;
  VariantInit(&result);
  const HRESULT hr = VariantCopy(&result, &value);
  if (FAILED(hr)) return hr;
  VariantClear(dest);
  *dest = result;
  return S_OK;
}

HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, USHORT /*flags*/, VARTYPE vt) {
  if (dest == nullptr || src == nullptr) return E_INVALIDARG;
  VARIANT result;
  VariantInit(&result);
  if (vt == VT_VARIANT || vt == (src->vt & ~VT_BYREF)) {
    const HRESULT hr = VariantCopyInd(&result, src);
    if (FAILED(hr)) return hr;
    VariantClear(dest);
    *dest = result;
    return S_OK;
  }
  const Scalar s = Reduce(src);
  if (s.kind == Scalar::kOther) return DISP_E_BADVARTYPE;
  if (s.kind == Scalar::kNull) return DISP_E_TYPEMISMATCH;
  HRESULT hr = S_OK;
  long long integer = 0;
  double real = 0;
  result.vt = vt;
  switch (vt) {
    case VT_I2:
      hr = ToInteger(s, -32768, 32767, &integer);
      result.iVal = static_cast<SHORT>(integer);
      break;
    case VT_I4:
    case VT_INT:
      hr = ToInteger(s, std::numeric_limits<LONG>::min(), std::numeric_limits<LONG>::max(), &integer);
      result.lVal = static_cast<LONG>(integer);
      break;
    case VT_UI1:
      hr = ToInteger(s, 0, 255, &integer);
      result.bVal = static_cast<BYTE>(integer);
      break;
    case VT_UI4:
    case VT_UINT:
      hr = ToInteger(s, 0, 0xFFFFFFFFll, &integer);
      result.ulVal = static_cast<ULONG>(integer);
      break;
    case VT_I8:
      hr = ToInteger(s, std::numeric_limits<long long>::min(), std::numeric_limits<long long>::max(),
                     &integer);
      result.llVal = integer;
      break;
    case VT_R8:
    case VT_DATE:
      if (vt == VT_DATE && s.kind == Scalar::kString) {
        hr = DISP_E_TYPEMISMATCH;
        break;
      }
      hr = ToReal(s, &real);
      if (vt == VT_R8) {
        result.dblVal = real;
      } else {
        result.date = real;
      }
      break;
    case VT_R4:
      hr = ToReal(s, &real);
      if (SUCCEEDED(hr) && std::fabs(real) > std::numeric_limits<float>::max()) hr = DISP_E_OVERFLOW;
      result.fltVal = static_cast<float>(real);
      break;
    case VT_BOOL:
      hr = ToReal(s, &real);
      result.boolVal = real != 0 ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    case VT_BSTR: {
      std::string text;
      switch (s.kind) {
        case Scalar::kEmpty: break;
        case Scalar::kInteger: text = std::to_string(s.integer); break;
        case Scalar::kReal: text = FormatReal(s.real); break;
        case Scalar::kDate: text = FormatDate(s.real); break;
        case Scalar::kBool: text = s.flag ? "True" : "False"; break;
        case Scalar::kString: text = s.text; break;
        default: hr = DISP_E_TYPEMISMATCH; break;
      }
      if (SUCCEEDED(hr)) {
        result.bstrVal = AllocBstrUtf8(text);
        if (result.bstrVal == nullptr) hr = E_OUTOFMEMORY;
      }
      break;
    }
    case VT_DISPATCH:
    case VT_UNKNOWN:
      if (s.kind == Scalar::kEmpty) {
        result.punkVal = nullptr;
      } else if (s.kind == Scalar::kObject) {
        const bool ref = (src->vt & VT_BYREF) != 0;
        const VARIANT* inner = src;
        if (ref && (src->vt & VT_TYPEMASK) == VT_VARIANT) inner = src->pvarVal;
        IUnknown* object = (inner->vt & VT_BYREF) ? *inner->ppunkVal : inner->punkVal;
        if (object == nullptr) {
          result.punkVal = nullptr;
        } else if (vt == VT_UNKNOWN) {
          hr = object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&result.punkVal));
        } else {
          hr = object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&result.pdispVal));
          if (FAILED(hr)) hr = DISP_E_TYPEMISMATCH;
        }
      } else {
        hr = DISP_E_TYPEMISMATCH;
      }
      break;
    default:
      hr = DISP_E_BADVARTYPE;
      break;
  }
  if (FAILED(hr)) return hr;
  VariantClear(dest);
  *dest = result;
  return S_OK;
}
#endif

namespace tollan::com {

Variant::Variant(const Variant& other) {
  VariantInit(&v_);
  VariantCopy(&v_, const_cast<VARIANT*>(&other.v_));
}

Variant& Variant::operator=(const Variant& other) {
  if (this != &other) VariantCopy(&v_, const_cast<VARIANT*>(&other.v_));
  return *this;
}

Variant Variant::Long(LONG value) {
  Variant v;
  v.v_.vt = VT_I4;
  v.v_.lVal = value;
  return v;
}

Variant Variant::Short(SHORT value) {
  Variant v;
  v.v_.vt = VT_I2;
  v.v_.iVal = value;
  return v;
}

Variant Variant::Bool(bool value) {
  Variant v;
  v.v_.vt = VT_BOOL;
  v.v_.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

Variant Variant::Double(double value) {
  Variant v;
  v.v_.vt = VT_R8;
  v.v_.dblVal = value;
  return v;
}

Variant Variant::String(std::string_view utf8) {
  Variant v;
  v.v_.vt = VT_BSTR;
  v.v_.bstrVal = AllocBstrUtf8(utf8);
  return v;
}

Variant Variant::Missing() {
  Variant v;
  v.v_.vt = VT_ERROR;
  v.v_.scode = DISP_E_PARAMNOTFOUND;
  return v;
}

Variant Variant::Dispatch(IDispatch* object) {
  Variant v;
  v.v_.vt = VT_DISPATCH;
  v.v_.pdispVal = object;
  return v;
}

}  // namespace tollan::com
