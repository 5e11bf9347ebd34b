// The per-thread error object and the mapping between error numbers and
// HRESULTs.

#include "platform/com/errors.h"
#include "platform/com/simple_object.h"

#include <atomic>

#include "platform/com/automation.h"

namespace tollan::com {
namespace {

// Error object handed out through GetErrorInfo.
class ErrorObject final : public SimpleObject<IErrorInfo, IID_IErrorInfo> {
 public:
  ErrorObject(std::string source, std::string description)
      : source_(std::move(source)), description_(std::move(description)) {}

  HRESULT COMCALL GetGUID(GUID* guid) override {
    if (guid == nullptr) return E_POINTER;
    *guid = GUID_NULL;
    return S_OK;
  }
  HRESULT COMCALL GetSource(BSTR* source) override { return Give(source_, source); }
  HRESULT COMCALL GetDescription(BSTR* description) override {
    return Give(description_, description);
  }
  HRESULT COMCALL GetHelpFile(BSTR* help_file) override { return Give("", help_file); }
  HRESULT COMCALL GetHelpContext(DWORD* help_context) override {
    if (help_context == nullptr) return E_POINTER;
    *help_context = 0;
    return S_OK;
  }

 private:
  static HRESULT Give(const std::string& text, BSTR* out) {
    if (out == nullptr) return E_POINTER;
    *out = AllocBstrUtf8(text);
    return S_OK;
  }

  const std::string source_;
  const std::string description_;
};

// Holds the thread's error object and releases it when the thread ends.
struct ThreadErrorSlot {
  IErrorInfo* info = nullptr;
  ~ThreadErrorSlot() {
    if (info != nullptr) info->Release();
  }
};

thread_local ThreadErrorSlot thread_error;

}  // namespace
}  // namespace tollan::com

#if !defined(_WIN32)
HRESULT SetErrorInfo(DWORD /*reserved*/, IErrorInfo* info) {
  auto& slot = tollan::com::thread_error;
  if (info != nullptr) info->AddRef();
  if (slot.info != nullptr) slot.info->Release();
  slot.info = info;
  return S_OK;
}

HRESULT GetErrorInfo(DWORD /*reserved*/, IErrorInfo** info) {
  if (info == nullptr) return E_POINTER;
  auto& slot = tollan::com::thread_error;
  *info = slot.info;
  slot.info = nullptr;
  return *info == nullptr ? S_FALSE : S_OK;
}
#endif

namespace tollan::com {

HRESULT HresultFromErrorNumber(int number) {
  return static_cast<HRESULT>(0x800A0000u | (static_cast<unsigned>(number) & 0xFFFFu));
}

int ErrorNumberFromHresult(HRESULT hr) {
  if (SUCCEEDED(hr)) return 0;
  const unsigned code = static_cast<unsigned>(hr);
  if ((code & 0xFFFF0000u) == 0x800A0000u) return static_cast<int>(code & 0xFFFFu);
  switch (hr) {
    case E_INVALIDARG: return 5;
    case DISP_E_OVERFLOW: return 6;
    case E_OUTOFMEMORY: return 7;
    case DISP_E_BADINDEX: return 9;
    case DISP_E_TYPEMISMATCH: return 13;
    case E_POINTER: return 91;
    case E_NOINTERFACE: return 430;
    case DISP_E_MEMBERNOTFOUND:
    case DISP_E_UNKNOWNNAME: return 438;
    case DISP_E_PARAMNOTFOUND: return 448;
    case DISP_E_PARAMNOTOPTIONAL: return 449;
    case DISP_E_BADPARAMCOUNT: return 450;
    default: return 0;
  }
}

std::string StandardErrorText(int number) {
  switch (number) {
    case 5: return "Invalid procedure call or argument";
    case 6: return "Overflow";
    case 7: return "Out of memory";
    case 9: return "Subscript out of range";
    case 13: return "Type mismatch";
    case 52: return "Bad file name or number";
    case 53: return "File not found";
    case 70: return "Permission denied";
    case 76: return "Path not found";
    case 91: return "Object variable not set";
    case 430: return "Class does not support the expected interface";
    case 438: return "Object doesn't support this property or method";
    case 448: return "Named argument not found";
    case 449: return "Argument not optional";
    case 450: return "Wrong number of arguments or invalid property assignment";
    case 457: return "This key is already associated with an element of this collection";
    default: return "Runtime error " + std::to_string(number);
  }
}

HRESULT ReportError(HRESULT hr, std::string_view source, std::string_view description) {
  auto* info = new ErrorObject(std::string(source), std::string(description));
  SetErrorInfo(0, info);
  info->Release();
  return hr;
}

HRESULT RaiseError(int number, std::string_view source, std::string_view detail) {
  std::string description = StandardErrorText(number);
  if (!detail.empty()) {
    description += ": ";
    description += detail;
  }
  return ReportError(HresultFromErrorNumber(number), source, description);
}

ErrorRecord TakeError(HRESULT hr) {
  ErrorRecord record;
  record.hr = hr;
  record.number = ErrorNumberFromHresult(hr);
  IErrorInfo* info = nullptr;
  if (GetErrorInfo(0, &info) == S_OK && info != nullptr) {
    Bstr source, description;
    info->GetSource(source.out());
    info->GetDescription(description.out());
    info->Release();
    record.source = source.utf8();
    record.description = description.utf8();
  }
  if (record.description.empty()) {
    record.description = record.number != 0 ? StandardErrorText(record.number)
                                            : "Failure code " + std::to_string(hr);
  }
  return record;
}

void FillExcepInfo(HRESULT hr, EXCEPINFO* info) {
  const ErrorRecord record = TakeError(hr);
  if (info == nullptr) return;
  info->wCode = 0;
  info->wReserved = 0;
  info->bstrSource = AllocBstrUtf8(record.source);
  info->bstrDescription = AllocBstrUtf8(record.description);
  info->bstrHelpFile = nullptr;
  info->dwHelpContext = 0;
  info->pvReserved = nullptr;
  info->pfnDeferredFillIn = nullptr;
  info->scode = hr;
}

}  // namespace tollan::com
