#include "component/ComponentClasses.h"

#include "component/CGafPreferences.h"
#include "component/CGafProgressIndicator.h"
#include "com/ComCreate.h"
#include "component/GeometryClasses.h"

namespace kro {

HRESULT CreateKroGafPreferences(REFIID riid, void** ppv) {
  return CreateInstance<CGafPreferences>(riid, ppv);
}
HRESULT CreateKroProgressIndicator(REFIID riid, void** ppv) {
  return CreateInstance<CGafProgressIndicator>(riid, ppv);
}
HRESULT CreateKroPoint(REFIID riid, void** ppv) { return CreateInstance<CGafPoint>(riid, ppv); }
HRESULT CreateKroPolyline(REFIID riid, void** ppv) { return CreateInstance<CGafPolyline>(riid, ppv); }
HRESULT CreateKroPolygon(REFIID riid, void** ppv) { return CreateInstance<CGafPolygon>(riid, ppv); }
HRESULT CreateKroPolyPolyline(REFIID riid, void** ppv) { return CreateInstance<CGafPolyPolyline>(riid, ppv); }
HRESULT CreateKroPolyPolygon(REFIID riid, void** ppv) { return CreateInstance<CGafPolyPolygon>(riid, ppv); }

}  // namespace kro
