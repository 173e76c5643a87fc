#include "drivers/DriverClasses.h"

#include "drivers/CGafEnumerator.h"
#include "drivers/CGafGeometrySource.h"
#include "com/ComCreate.h"
#include "drivers/CGafExport.h"
#include "drivers/CGafImport.h"

namespace kro {

HRESULT CreateKroGafExport(REFIID riid, void** ppv) { return CreateInstance<CGafExport>(riid, ppv); }
HRESULT CreateKroGafOrderedExport(REFIID riid, void** ppv) {
  return CreateInstance<CGafExport>(riid, ppv, GafSpatialOrder::kHilbert);
}
HRESULT CreateKroGafImport(REFIID riid, void** ppv) { return CreateInstance<CGafImport>(riid, ppv); }
HRESULT CreateKroGeometrySource(REFIID riid, void** ppv) { return CreateInstance<CGafGeometrySource>(riid, ppv); }
HRESULT CreateKroEnumGeometry(REFIID riid, void** ppv) { return CreateInstance<CGafEnumerator>(riid, ppv); }

}  // namespace kro
