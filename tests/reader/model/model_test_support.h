// Helpers shared by the object-model tests: owners for strings and
// interfaces, a late-bound caller, and the real store fixture.

#ifndef TOLLAN_TESTS_READER_MODEL_MODEL_TEST_SUPPORT_H_
#define TOLLAN_TESTS_READER_MODEL_MODEL_TEST_SUPPORT_H_

#include <string>
#include <vector>

#include "platform/com/automation.h"
#include "platform/com/com_ptr.h"
#include "platform/com/errors.h"
#include "reader/model/interfaces.h"

namespace kestrel::testing {

using tollan::com::Bstr;
using tollan::com::ComPtr;
using tollan::com::Variant;

inline const std::string kRealStore = TOLLAN_SHARED_DIR "/fixtures/real-store";

// The text of a returned BSTR, which is freed.
inline std::string Take(BSTR text) {
  std::string result = tollan::com::Utf8FromBstr(text);
  SysFreeString(text);
  return result;
}

// Empties the thread's store directory and open-file slot, as in a fresh thread.
void ResetThreadState();

// Sets the store directory through an OE object.
void SetStore(_OE* oe, const std::string& dir);

// The outcome of one late-bound call.
struct Call {
  HRESULT hr = S_OK;
  Variant result;
  int error_number = 0;  // from EXCEPINFO::scode when hr is DISP_E_EXCEPTION
  std::string description;
  UINT arg_error = ~0u;
};

// Calls `name` (looked up with GetIDsOfNames) with `args` in declared order.
// `flags` is the Invoke kind. For DISPATCH_PROPERTYPUT the last argument is
// the assigned value and is passed as the named DISPID_PROPERTYPUT argument.
Call Invoke(IDispatch* object, const std::string& name, WORD flags, std::vector<VARIANT> args = {},
            std::vector<std::string> named = {});

// Interface `I` of a late-bound result (VT_DISPATCH), or empty.
template <class I>
ComPtr<I> ObjectOf(const Call& call, REFIID iid) {
  ComPtr<I> out;
  const VARIANT* v = call.result.get();
  if (v->vt == VT_DISPATCH && v->pdispVal != nullptr) {
    v->pdispVal->QueryInterface(iid, out.OutVoid());
  }
  return out;
}

// A VARIANT that refers to `target` (VT_BYREF); the VARIANT owns nothing.
VARIANT RefTo(BSTR* target);
VARIANT RefTo(VARIANT_BOOL* target);
VARIANT RefTo(LONG* target);
VARIANT RefTo(VARIANT* target);
// A by-value VARIANT borrowing `value` (not freed by the caller).
VARIANT Value(LONG value);
VARIANT Value(bool value);
VARIANT Value(BSTR value);

}  // namespace kestrel::testing

#endif  // TOLLAN_TESTS_READER_MODEL_MODEL_TEST_SUPPORT_H_
