// Automation strings and variants of the portable COM layer.
//
// A BSTR is a UTF-16 string whose byte length is stored in the four bytes in
// front of the first character and which is followed by a zero character; a
// null BSTR is the empty string. A VARIANT holds one automation value, either
// by value or by reference (VT_BYREF). The functions carry the Windows names
// and semantics; the helpers in tollan::com convert between BSTRs and UTF-8
// or the ANSI code page (Windows-1252) and give RAII owners for both types.

#ifndef TOLLAN_PLATFORM_COM_AUTOMATION_H_
#define TOLLAN_PLATFORM_COM_AUTOMATION_H_

#include <string>
#include <string_view>

#include "platform/com/interfaces.h"

#if !defined(_WIN32)
// Allocates a BSTR copy of a zero-terminated string (null gives null).
BSTR SysAllocString(const OLECHAR* text);
// Allocates a BSTR of `length` characters copied from `text` (or zeroed when
// `text` is null).
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
// Allocates a BSTR holding `length` bytes copied from `bytes` (or zeroed
// when `bytes` is null) as they are, without conversion; SysStringByteLen
// gives the length back.
BSTR SysAllocStringByteLen(const char* bytes, UINT length);
// Frees a BSTR; null is allowed.
void SysFreeString(BSTR text);
// Number of characters of a BSTR (0 for null).
UINT SysStringLen(BSTR text);
// Number of bytes of a BSTR (0 for null).
UINT SysStringByteLen(BSTR text);

void VariantInit(VARIANT* v);
// Releases what the variant owns (string, interface) and makes it VT_EMPTY.
// A by-reference variant owns nothing.
HRESULT VariantClear(VARIANT* v);
// Deep copy: strings are duplicated, interfaces AddRef'ed.
HRESULT VariantCopy(VARIANT* dest, const VARIANT* src);
// Deep copy of the value that `src` refers to when it is VT_BYREF.
HRESULT VariantCopyInd(VARIANT* dest, const VARIANT* src);
// Converts `src` (by value or by reference) to type `vt` into `dest`, which
// is cleared first (dest may equal src). Supports the integer, floating,
// boolean, date, string, dispatch and unknown types; DISP_E_TYPEMISMATCH for
// an impossible conversion, DISP_E_OVERFLOW for a number out of range.
HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, USHORT flags, VARTYPE vt);
#endif

namespace tollan::com {

// UTF-16 view of a BSTR (empty for null).
std::u16string_view BstrView(BSTR text);

// Windows-1252, the ANSI code page of the DBX text. Every byte maps to one
// character; the five undefined bytes map to the code points of the same
// value. Utf16ToAnsi writes '?' for characters without a byte.
std::u16string Utf16FromAnsi(std::string_view bytes);
std::string AnsiFromUtf16(std::u16string_view text);

BSTR AllocBstr(std::u16string_view text);
// UTF-8 in and out of a BSTR, converted as text::Utf8ToUtf16 and
// text::Utf16ToUtf8 do (platform/text/utf.h).
BSTR AllocBstrUtf8(std::string_view text);
std::string Utf8FromBstr(BSTR text);

// Owns one BSTR.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(std::u16string_view text) : text_(AllocBstr(text)) {}
  explicit Bstr(const char* utf8) : text_(AllocBstrUtf8(utf8)) {}
  Bstr(const Bstr& other) : text_(AllocBstr(other.view())) {}
  Bstr& operator=(const Bstr& other);
  Bstr(Bstr&& other) noexcept : text_(other.text_) { other.text_ = nullptr; }
  Bstr& operator=(Bstr&& other) noexcept;
  ~Bstr() { SysFreeString(text_); }

  BSTR get() const { return text_; }
  // Frees the held string and returns the address to receive a new one.
  BSTR* out();
  // Gives up ownership.
  BSTR release();
  std::u16string_view view() const { return BstrView(text_); }
  std::string utf8() const { return Utf8FromBstr(text_); }

 private:
  BSTR text_ = nullptr;
};

// Owns one VARIANT.
class Variant {
 public:
  Variant() { VariantInit(&v_); }
  Variant(const Variant& other);
  Variant& operator=(const Variant& other);
  ~Variant() { VariantClear(&v_); }

  static Variant Long(LONG value);
  static Variant Short(SHORT value);
  static Variant Bool(bool value);
  static Variant Double(double value);
  static Variant String(std::string_view utf8);
  static Variant Missing();  // an omitted optional argument
  // Takes ownership of a reference; null is allowed (an empty object).
  static Variant Dispatch(IDispatch* object);

  VARIANT* get() { return &v_; }
  const VARIANT* get() const { return &v_; }
  VARTYPE vt() const { return v_.vt; }

 private:
  VARIANT v_;
};

}  // namespace tollan::com

#endif  // TOLLAN_PLATFORM_COM_AUTOMATION_H_
