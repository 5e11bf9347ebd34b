// Late binding for the Kestrel classes: GetIDsOfNames and Invoke driven by
// the type-library table (type_library.h).
//
// Names are matched without regard to case. Invoke finds the member by its
// dispatch identifier and the kind of call (a get accepts a property read or
// a method call, a method likewise, a let a property assignment), takes the
// arguments in declared order (positional ones come in reverse in rgvarg,
// named ones by parameter position, the assigned value of a let by
// DISPID_PROPERTYPUT), fills omitted optional parameters with their defaults,
// converts each argument to its declared type and calls the class's
// early-bound member through a thunk. ByRef parameters passed by reference
// (VT_BYREF) receive the member's changes afterwards. A member that fails
// with an error surfaces as DISP_E_EXCEPTION with the error number in
// EXCEPINFO::scode (0x800A0000 | number) and the description.

#ifndef TOLLAN_READER_MODEL_DISPATCH_H_
#define TOLLAN_READER_MODEL_DISPATCH_H_

#include <span>

#include "platform/com/interfaces.h"
#include "reader/model/type_library.h"

namespace kestrel {

// The converted arguments of one call, in declared parameter order, each of
// the VARIANT type of its declared TypeCode (a Variant parameter holds the
// caller's value). The thunk passes &args[i].<field> (or &args[i] for a
// Variant) to the early-bound member.
//
// `result` arrives as VT_EMPTY with its vt already set to the member's result
// type; the thunk stores into the matching field (pdispVal for objects,
// punkVal for enumerators).
using MemberThunk = HRESULT (*)(IDispatch* self, VARIANT* args, VARIANT* result);

// One thunk per member of the class, in member order.
struct DispatchTable {
  const ClassInfo* info;
  std::span<const MemberThunk> thunks;
};

HRESULT DispatchGetIDsOfNames(const DispatchTable& table, LPOLESTR* names, UINT count,
                              DISPID* ids);

HRESULT DispatchInvoke(const DispatchTable& table, IDispatch* self, DISPID id, WORD flags,
                       DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                       UINT* arg_error);

}  // namespace kestrel

#endif  // TOLLAN_READER_MODEL_DISPATCH_H_
