// Table-driven GetIDsOfNames and Invoke.

#include "reader/model/dispatch.h"

#include <string_view>

#include "platform/com/automation.h"
#include "platform/com/errors.h"

namespace kestrel {
namespace {

constexpr size_t kMaxParams = 8;

bool SameName(const char* declared, const OLECHAR* asked) {
  size_t i = 0;
  for (; declared[i] != 0; ++i) {
    char16_t a = asked[i];
    if (a == 0) return false;
    char16_t d = static_cast<unsigned char>(declared[i]);
    if (a >= u'A' && a <= u'Z') a = static_cast<char16_t>(a - u'A' + u'a');
    if (d >= u'A' && d <= u'Z') d = static_cast<char16_t>(d - u'A' + u'a');
    if (a != d) return false;
  }
  return asked[i] == 0;
}

// True for an argument slot the caller left out.
bool IsMissing(const VARIANT* v) {
  return v == nullptr || (v->vt == VT_ERROR && v->scode == DISP_E_PARAMNOTFOUND);
}

// Stores the member's value of a ByRef parameter into the caller's variable.
void WriteBack(VARIANT* caller, const VARIANT* local) {
  if ((caller->vt & VT_BYREF) == 0 || caller->byref == nullptr) return;
  const VARTYPE type = caller->vt & VT_TYPEMASK;
  if (type == VT_VARIANT) {
    VariantCopy(caller->pvarVal, const_cast<VARIANT*>(local));
    return;
  }
  VARIANT converted;
  VariantInit(&converted);
  if (FAILED(VariantChangeType(&converted, const_cast<VARIANT*>(local), 0, type))) return;
  switch (type) {
    case VT_BSTR:
      SysFreeString(*caller->pbstrVal);
      *caller->pbstrVal = converted.bstrVal;
      return;  // ownership moved to the caller's variable
    case VT_DISPATCH:
    case VT_UNKNOWN:
      if (*caller->ppunkVal != nullptr) (*caller->ppunkVal)->Release();
      *caller->ppunkVal = converted.punkVal;
      return;
    case VT_BOOL: *caller->pboolVal = converted.boolVal; break;
    case VT_I2: *caller->piVal = converted.iVal; break;
    case VT_I4: *caller->plVal = converted.lVal; break;
    case VT_R8: *caller->pdblVal = converted.dblVal; break;
    case VT_DATE: *caller->pdate = converted.date; break;
    default: break;
  }
  VariantClear(&converted);
}

const MemberInfo* FindMember(const ClassInfo& info, DISPID id, WORD flags, size_t* index) {
  const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  const bool get = (flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) != 0;
  for (size_t i = 0; i < info.members.size(); ++i) {
    const MemberInfo& m = info.members[i];
    if (m.dispid != id) continue;
    if ((put && m.kind == MemberKind::kLet) || (get && m.kind != MemberKind::kLet)) {
      *index = i;
      return &m;
    }
  }
  return nullptr;
}

}  // namespace

HRESULT DispatchGetIDsOfNames(const DispatchTable& table, LPOLESTR* names, UINT count,
                              DISPID* ids) {
  if (names == nullptr || ids == nullptr) return E_POINTER;
  if (count == 0) return S_OK;
  const MemberInfo* member = nullptr;
  for (const MemberInfo& m : table.info->members) {
    if (names[0] != nullptr && SameName(m.name, names[0])) {
      // A get and a let share their name; the one with parameters names them.
      if (member == nullptr || (member->params.empty() && !m.params.empty())) member = &m;
    }
  }
  HRESULT hr = S_OK;
  ids[0] = member != nullptr ? member->dispid : DISPID_UNKNOWN;
  if (member == nullptr) hr = DISP_E_UNKNOWNNAME;
  for (UINT k = 1; k < count; ++k) {
    ids[k] = DISPID_UNKNOWN;
    if (member == nullptr || names[k] == nullptr) continue;
    for (size_t p = 0; p < member->params.size(); ++p) {
      if (SameName(member->params[p].name, names[k])) ids[k] = static_cast<DISPID>(p);
    }
    if (ids[k] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

HRESULT DispatchInvoke(const DispatchTable& table, IDispatch* self, DISPID id, WORD flags,
                       DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                       UINT* arg_error) {
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  if (params == nullptr) params = &none;
  if (params->cArgs > 0 && params->rgvarg == nullptr) return E_INVALIDARG;
  if (params->cNamedArgs > params->cArgs) return E_INVALIDARG;
  if (params->cNamedArgs > 0 && params->rgdispidNamedArgs == nullptr) return E_INVALIDARG;

  size_t index = 0;
  const MemberInfo* member = FindMember(*table.info, id, flags, &index);
  if (member == nullptr) return DISP_E_MEMBERNOTFOUND;
  if (index >= table.thunks.size() || table.thunks[index] == nullptr) return E_UNEXPECTED;
  const size_t n = member->params.size();
  if (n > kMaxParams) return E_UNEXPECTED;

  // Which caller slot (index into rgvarg) feeds each declared parameter.
  constexpr UINT kNoSlot = ~0u;
  UINT slot_of[kMaxParams];
  for (size_t i = 0; i < n; ++i) slot_of[i] = kNoSlot;
  UINT named = params->cNamedArgs;
  UINT positional_first = named;  // rgvarg index where positional arguments start
  size_t positional_limit = n;    // positional arguments may fill params [0, limit)
  if (member->kind == MemberKind::kLet) {
    if (n == 0) return DISP_E_BADPARAMCOUNT;
    positional_limit = n - 1;
    bool value_named = false;
    for (UINT k = 0; k < named; ++k) {
      if (params->rgdispidNamedArgs[k] == DISPID_PROPERTYPUT) {
        slot_of[n - 1] = k;
        value_named = true;
      }
    }
    if (!value_named) {
      // A caller that passes the assigned value positionally puts it first.
      if (params->cArgs == named) return DISP_E_PARAMNOTOPTIONAL;
      slot_of[n - 1] = named;
      positional_first = named + 1;
    }
  }
  for (UINT k = 0; k < named; ++k) {
    const DISPID pid = params->rgdispidNamedArgs[k];
    if (pid == DISPID_PROPERTYPUT && member->kind == MemberKind::kLet) continue;
    if (pid < 0 || static_cast<size_t>(pid) >= positional_limit) {
      if (arg_error != nullptr) *arg_error = k;
      return DISP_E_PARAMNOTFOUND;
    }
    slot_of[pid] = k;
  }
  const UINT positional = params->cArgs - positional_first;
  if (positional > positional_limit) return DISP_E_BADPARAMCOUNT;
  for (UINT j = 0; j < positional; ++j) {
    if (slot_of[j] != kNoSlot) return DISP_E_BADPARAMCOUNT;  // given twice
    slot_of[j] = params->cArgs - 1 - j;
  }

  // Convert each argument to its declared type.
  VARIANT args[kMaxParams];
  for (size_t i = 0; i < n; ++i) VariantInit(&args[i]);
  auto clear_args = [&]() {
    for (size_t i = 0; i < n; ++i) VariantClear(&args[i]);
  };
  for (size_t i = 0; i < n; ++i) {
    const ParamInfo& p = member->params[i];
    VARIANT* given = slot_of[i] == kNoSlot ? nullptr : &params->rgvarg[slot_of[i]];
    // A script passes its variables as references to variants: convert
    // the value the reference leads to (the write-back goes to the variable).
    while (given != nullptr && given->vt == (VT_BYREF | VT_VARIANT) && given->pvarVal != nullptr) {
      given = given->pvarVal;
    }
    if (IsMissing(given)) {
      if (!p.optional) {
        clear_args();
        return DISP_E_PARAMNOTOPTIONAL;
      }
      args[i].vt = VT_BOOL;
      args[i].boolVal = p.default_value;
      continue;
    }
    HRESULT hr = p.type == TypeCode::kVariant
                     ? VariantCopyInd(&args[i], given)
                     : VariantChangeType(&args[i], given, 0, VariantTypeOf(p.type));
    if (FAILED(hr)) {
      clear_args();
      if (arg_error != nullptr) *arg_error = slot_of[i];
      return hr == DISP_E_OVERFLOW ? DISP_E_OVERFLOW : DISP_E_TYPEMISMATCH;
    }
  }

  VARIANT value;
  VariantInit(&value);
  value.vt = VariantTypeOf(member->result);
  const HRESULT hr = table.thunks[index](self, args, &value);

  for (size_t i = 0; i < n; ++i) {
    if (slot_of[i] != kNoSlot && member->params[i].by_ref) {
      WriteBack(&params->rgvarg[slot_of[i]], &args[i]);
    }
  }
  clear_args();

  if (FAILED(hr)) {
    VariantClear(&value);
    // Without an EXCEPINFO the error object stays for GetErrorInfo.
    if (exception != nullptr) tollan::com::FillExcepInfo(hr, exception);
    return DISP_E_EXCEPTION;
  }
  if (result != nullptr) {
    *result = value;
  } else {
    VariantClear(&value);
  }
  return S_OK;
}

}  // namespace kestrel
