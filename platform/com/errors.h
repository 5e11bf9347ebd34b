// Runtime errors of automation objects.
//
// A failing member returns an HRESULT and leaves a per-thread error object
// (IErrorInfo) that tells the error number, the source and a description.
// Error numbers are the automation runtime numbers (5 invalid argument,
// 6 overflow, 9 subscript out of range, 13 type mismatch, 70 permission
// denied, 457 duplicate key, ...); the HRESULT of number n is 0x800A0000 | n,
// as the automation runtime encodes them. IDispatch::Invoke turns such a
// failure into DISP_E_EXCEPTION with an EXCEPINFO.

#ifndef TOLLAN_PLATFORM_COM_ERRORS_H_
#define TOLLAN_PLATFORM_COM_ERRORS_H_

#include <string>
#include <string_view>

#include "platform/com/interfaces.h"

#if !defined(_WIN32)
// Replaces the calling thread's error object (null clears it). `reserved` must be 0.
HRESULT SetErrorInfo(DWORD reserved, IErrorInfo* info);
// Hands the thread's error object to the caller and clears it; S_FALSE and
// null when there is none.
HRESULT GetErrorInfo(DWORD reserved, IErrorInfo** info);
#endif

namespace tollan::com {

// Automation runtime error numbers used by the components.
inline constexpr int kErrInvalidArgument = 5;
inline constexpr int kErrOverflow = 6;
inline constexpr int kErrSubscriptOutOfRange = 9;
inline constexpr int kErrTypeMismatch = 13;
inline constexpr int kErrPermissionDenied = 70;
inline constexpr int kErrDuplicateKey = 457;

HRESULT HresultFromErrorNumber(int number);
// The error number carried by a failure code: n for 0x800A000n codes, the
// number of the matching runtime error for the common DISP_E_/E_ codes, or 0
// for success and codes without one.
int ErrorNumberFromHresult(HRESULT hr);
// The standard text of a runtime error number ("Subscript out of range").
std::string StandardErrorText(int number);

// Sets the thread's error object for error `number` and returns its HRESULT.
// The description is the standard text, followed by ": " and `detail` when
// that is not empty.
HRESULT RaiseError(int number, std::string_view source, std::string_view detail = {});

// Sets the thread's error object to `description` and returns `hr`, for
// failures that carry no runtime error number.
HRESULT ReportError(HRESULT hr, std::string_view source, std::string_view description);

// An error as a value: what a failed call reports to its caller.
struct ErrorRecord {
  HRESULT hr = S_OK;
  int number = 0;
  std::string source;
  std::string description;
};

// Takes the thread's error object (clearing it) and combines it with the
// failure code `hr` of the call that left it. Without an error object the
// description is the standard text of the number.
ErrorRecord TakeError(HRESULT hr);

// Fills an EXCEPINFO from a failure code and the thread's error object
// (taken and cleared).
void FillExcepInfo(HRESULT hr, EXCEPINFO* info);

}  // namespace tollan::com

#endif  // TOLLAN_PLATFORM_COM_ERRORS_H_
