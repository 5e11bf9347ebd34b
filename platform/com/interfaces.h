// The standard COM interfaces and automation structures of the portable COM
// layer: IUnknown, IDispatch, IEnumVARIANT, IClassFactory, IErrorInfo, VARIANT,
// DISPPARAMS and EXCEPINFO. Method order and structure layout are those of the
// Windows SDK, so a vtable built here is a valid COM vtable there.
//
// Interfaces have no virtual destructor on purpose: the vtable of a COM
// interface holds exactly its methods. Objects free themselves in Release.

#ifndef TOLLAN_PLATFORM_COM_INTERFACES_H_
#define TOLLAN_PLATFORM_COM_INTERFACES_H_

#include "platform/com/com_types.h"

#if !defined(_WIN32)

// VARIANT type tags (the subset of VARENUM used by automation clients).
enum VARENUM : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_BYREF = 0x4000,
  VT_TYPEMASK = 0x0FFF,
};

// Flags of IDispatch::Invoke.
inline constexpr WORD DISPATCH_METHOD = 0x1;
inline constexpr WORD DISPATCH_PROPERTYGET = 0x2;
inline constexpr WORD DISPATCH_PROPERTYPUT = 0x4;
inline constexpr WORD DISPATCH_PROPERTYPUTREF = 0x8;

// Well-known dispatch identifiers.
inline constexpr DISPID DISPID_VALUE = 0;
inline constexpr DISPID DISPID_UNKNOWN = -1;
inline constexpr DISPID DISPID_PROPERTYPUT = -3;
inline constexpr DISPID DISPID_NEWENUM = -4;

inline constexpr LCID LOCALE_NEUTRAL = 0;

struct IUnknown;
struct IDispatch;
struct ITypeInfo;  // Not provided: GetTypeInfo answers with an error.

struct VARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    LONGLONG llVal;
    LONG lVal;
    BYTE bVal;
    SHORT iVal;
    FLOAT fltVal;
    DOUBLE dblVal;
    VARIANT_BOOL boolVal;
    SCODE scode;
    DATE date;
    BSTR bstrVal;
    IUnknown* punkVal;
    IDispatch* pdispVal;
    char cVal;
    USHORT uiVal;
    ULONG ulVal;
    ULONGLONG ullVal;
    INT intVal;
    UINT uintVal;
    BYTE* pbVal;
    SHORT* piVal;
    LONG* plVal;
    LONGLONG* pllVal;
    FLOAT* pfltVal;
    DOUBLE* pdblVal;
    VARIANT_BOOL* pboolVal;
    SCODE* pscode;
    DATE* pdate;
    BSTR* pbstrVal;
    IUnknown** ppunkVal;
    IDispatch** ppdispVal;
    VARIANT* pvarVal;
    PVOID byref;
    struct {
      PVOID pvRecord;
      PVOID pRecInfo;
    } brecVal;
  };
};
using VARIANTARG = VARIANT;

struct DISPPARAMS {
  VARIANTARG* rgvarg;          // arguments in reverse order
  DISPID* rgdispidNamedArgs;   // identifiers of the named arguments
  UINT cArgs;
  UINT cNamedArgs;
};

struct EXCEPINFO {
  WORD wCode;
  WORD wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  DWORD dwHelpContext;
  PVOID pvReserved;
  HRESULT(COMCALL* pfnDeferredFillIn)(EXCEPINFO*);
  SCODE scode;
};

struct IUnknown {
  virtual HRESULT COMCALL QueryInterface(REFIID riid, void** object) = 0;
  virtual ULONG COMCALL AddRef() = 0;
  virtual ULONG COMCALL Release() = 0;
};

struct IDispatch : IUnknown {
  virtual HRESULT COMCALL GetTypeInfoCount(UINT* count) = 0;
  virtual HRESULT COMCALL GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) = 0;
  virtual HRESULT COMCALL GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count,
                                        LCID lcid, DISPID* ids) = 0;
  virtual HRESULT COMCALL Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags,
                                 DISPPARAMS* params, VARIANT* result,
                                 EXCEPINFO* exception, UINT* arg_error) = 0;
};

struct IEnumVARIANT : IUnknown {
  virtual HRESULT COMCALL Next(ULONG count, VARIANT* items, ULONG* fetched) = 0;
  virtual HRESULT COMCALL Skip(ULONG count) = 0;
  virtual HRESULT COMCALL Reset() = 0;
  virtual HRESULT COMCALL Clone(IEnumVARIANT** copy) = 0;
};

struct IClassFactory : IUnknown {
  virtual HRESULT COMCALL CreateInstance(IUnknown* outer, REFIID riid, void** object) = 0;
  virtual HRESULT COMCALL LockServer(BOOL lock) = 0;
};

struct IErrorInfo : IUnknown {
  virtual HRESULT COMCALL GetGUID(GUID* guid) = 0;
  virtual HRESULT COMCALL GetSource(BSTR* source) = 0;
  virtual HRESULT COMCALL GetDescription(BSTR* description) = 0;
  virtual HRESULT COMCALL GetHelpFile(BSTR* help_file) = 0;
  virtual HRESULT COMCALL GetHelpContext(DWORD* help_context) = 0;
};

struct ISupportErrorInfo : IUnknown {
  virtual HRESULT COMCALL InterfaceSupportsErrorInfo(REFIID riid) = 0;
};

// Identities of the standard interfaces.
inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000,
                                     {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000,
                                          {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IDispatch = {0x00020400, 0x0000, 0x0000,
                                      {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IEnumVARIANT = {0x00020404, 0x0000, 0x0000,
                                         {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IErrorInfo = {0x1CF2B120, 0x547D, 0x101B,
                                       {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
inline constexpr IID IID_ISupportErrorInfo = {0xDF0B3D60, 0x548F, 0x101B,
                                              {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};

#endif  // !_WIN32

#endif  // TOLLAN_PLATFORM_COM_INTERFACES_H_
