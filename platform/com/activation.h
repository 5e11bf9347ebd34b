// Client-side object creation: finds a class in the registration files
// (registration.h), loads its in-process server library, asks the library's
// DllGetClassObject for the class factory and creates the object. A class no
// registration file names is asked of the server libraries shipped with the
// program (BundledServerPaths), so a fresh build or install works without a
// registration step. Libraries stay loaded until CoFreeUnusedLibraries finds
// them idle.

#ifndef TOLLAN_PLATFORM_COM_ACTIVATION_H_
#define TOLLAN_PLATFORM_COM_ACTIVATION_H_

#include <string>
#include <string_view>
#include <vector>

#include "platform/com/interfaces.h"

#if !defined(_WIN32)
// The class identity registered for a programmatic identifier such as
// "Kestrel.OE" (case-insensitive); CO_E_CLASSSTRING when it is unknown.
HRESULT CLSIDFromProgID(LPCOLESTR prog_id, CLSID* clsid);
// The class factory (or other interface `riid`) of a registered class.
// Only CLSCTX_INPROC_SERVER is served.
HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void* server_info, REFIID riid,
                         void** object);
// Creates one object of a registered class and returns its interface `riid`.
// Failures: REGDB_E_CLASSNOTREG (class found nowhere), CO_E_DLLNOTFOUND
// (library cannot be loaded), CO_E_ERRORINDLL (no DllGetClassObject), or the
// factory's own code. The thread's error object then describes the cause.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid,
                         void** object);
// Unloads the loaded server libraries whose DllCanUnloadNow answers S_OK.
void CoFreeUnusedLibraries();
#endif

namespace tollan::com {

// The server libraries shipped with the program, asked last for a class:
// those of the same build tree or install prefix, found relative to the
// folder of this COM runtime library (on Windows: kestrel.dll beside the
// program). Only the ones that exist are listed.
// Not asked while KESTREL_REGISTRATIONS names an isolated registration file.
std::vector<std::string> BundledServerPaths();

// Creates an in-process object of class `clsid`: the registered class, or
// when no registration names it, the one of the server libraries shipped
// with the program (on Windows the kestrel.dll beside the program, in a
// single-threaded apartment the call enters for its thread).
HRESULT CreateInstance(REFCLSID clsid, REFIID riid, void** object);

// CoCreateInstance by programmatic identifier (registration files only).
HRESULT CreateObject(std::string_view prog_id, REFIID riid, void** object);

}  // namespace tollan::com

#endif  // TOLLAN_PLATFORM_COM_ACTIVATION_H_
