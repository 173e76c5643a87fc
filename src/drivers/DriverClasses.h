// What the component server needs to create the classes built on the facade:
// the two drivers and the library's geometry source and file enumerator.
//
// Each creator makes a new object and hands it out as interface `riid` with
// one reference: E_POINTER for a null `ppv`, E_OUTOFMEMORY, E_NOINTERFACE for
// an interface the class lacks; *ppv is null after every failure. A source or
// enumerator made here is never configured and refuses every request.
#ifndef KRO_DRIVERS_DRIVERCLASSES_H
#define KRO_DRIVERS_DRIVERCLASSES_H

#include "KroGafExportImport/KroGafExportImport.h"

namespace kro {

HRESULT CreateKroGafExport(REFIID riid, void** ppv);
HRESULT CreateKroGafOrderedExport(REFIID riid, void** ppv);
HRESULT CreateKroGafImport(REFIID riid, void** ppv);
HRESULT CreateKroGeometrySource(REFIID riid, void** ppv);
HRESULT CreateKroEnumGeometry(REFIID riid, void** ppv);

}  // namespace kro

#endif
