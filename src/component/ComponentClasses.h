// What the component server and the drivers need to create the host-visible
// objects built here.
//
// Each creator makes a new object of its class and hands it out as interface
// `riid` with one reference, the way a class factory's CreateInstance does:
// E_POINTER for a null `ppv`, E_OUTOFMEMORY, E_NOINTERFACE for an interface
// the class lacks; *ppv is null after every failure and no object survives.
// Every live object counts once in the module lock count (ModuleLock.h).
//
// For the library's own use, the classes themselves are in
// CGafPreferences.h, GeometryClasses.h and CGafProgressIndicator.h, to be
// created with MakeObject<Class>() (ComCreate.h) and held in a ComPtr.
#ifndef KRO_COMPONENT_COMPONENTCLASSES_H
#define KRO_COMPONENT_COMPONENTCLASSES_H

#include "KroGafExportImport/KroGafExportImport.h"

namespace kro {

using ComponentCreator = HRESULT (*)(REFIID riid, void** ppv);

HRESULT CreateKroGafPreferences(REFIID riid, void** ppv);
HRESULT CreateKroProgressIndicator(REFIID riid, void** ppv);
HRESULT CreateKroPoint(REFIID riid, void** ppv);
HRESULT CreateKroPolyline(REFIID riid, void** ppv);
HRESULT CreateKroPolygon(REFIID riid, void** ppv);
HRESULT CreateKroPolyPolyline(REFIID riid, void** ppv);
HRESULT CreateKroPolyPolygon(REFIID riid, void** ppv);

}  // namespace kro

#endif
