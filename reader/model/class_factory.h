// Creation of Kestrel objects by class identity: the class factories that
// DllGetClassObject hands out, for the classes clients may create (OE,
// OEFolder, OEMessage).

#ifndef TOLLAN_READER_MODEL_CLASS_FACTORY_H_
#define TOLLAN_READER_MODEL_CLASS_FACTORY_H_

#include "platform/com/interfaces.h"

namespace kestrel {

// Creates a new object of the creatable class `clsid` and returns its
// interface `riid`. CLASS_E_CLASSNOTAVAILABLE for any other class.
HRESULT CreateInstance(REFCLSID clsid, REFIID riid, void** object);

// The class factory of a creatable class (interface `riid`, normally
// IClassFactory). CLASS_E_CLASSNOTAVAILABLE for any other class.
HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** object);

}  // namespace kestrel

#endif  // TOLLAN_READER_MODEL_CLASS_FACTORY_H_
