#include "drivers/DriverClasses.h"

#include "component/CGafEnumerator.h"
#include "component/CGafGeometrySource.h"
#include "component/ComCreate.h"
#include "drivers/CGafExport.h"
#include "drivers/CGafImport.h"

namespace kro {

HRESULT CreateKroGafExport(REFIID riid, void** ppv) { return CreateInstance<CGafExport>(riid, ppv); }
HRESULT CreateKroGafImport(REFIID riid, void** ppv) { return CreateInstance<CGafImport>(riid, ppv); }
HRESULT CreateKroGeometrySource(REFIID riid, void** ppv) { return CreateInstance<CGafGeometrySource>(riid, ppv); }
HRESULT CreateKroEnumGeometry(REFIID riid, void** ppv) { return CreateInstance<CGafEnumerator>(riid, ppv); }

}  // namespace kro
