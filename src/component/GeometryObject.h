// The nine IKroGeometry operations, written once for all five geometry
// classes: a class derives from GeometryObject<its interface> and adds the
// operations of its own interface, all delegated to the shared state.
#ifndef KRO_COMPONENT_GEOMETRYOBJECT_H
#define KRO_COMPONENT_GEOMETRYOBJECT_H

#include <cstddef>
#include <new>
#include <type_traits>

#include "component/CGafGeometry.h"
#include "com/ComObject.h"
#include "component/RecycledBlocks.h"

namespace kro {

template <class Itf>
class GeometryObject : public ComObject<Itf> {
  static_assert(std::is_base_of_v<IKroGeometry, Itf>, "a geometry interface derives from IKroGeometry");

 public:
  HRESULT GetKey(BSTR* ppKey) override { return geometry_.GetText(GeometryText::kKey, ppKey); }
  HRESULT SetKey(BSTR pKey, EKroErrCode* peErr) override {
    return geometry_.SetText(GeometryText::kKey, pKey, peErr);
  }
  HRESULT SetName(BSTR pName, EKroErrCode* peErr) override {
    return geometry_.SetText(GeometryText::kName, pName, peErr);
  }
  HRESULT GetName(BSTR* ppName) override { return geometry_.GetText(GeometryText::kName, ppName); }
  HRESULT SetURL(BSTR pURL, EKroErrCode* peErr) override {
    return geometry_.SetText(GeometryText::kUrl, pURL, peErr);
  }
  HRESULT GetURL(BSTR* ppURL) override { return geometry_.GetText(GeometryText::kUrl, ppURL); }
  HRESULT GetVertexAt(LONG lIndex, double* pdX, double* pdY) override {
    return geometry_.GetVertexAt(lIndex, pdX, pdY);
  }
  HRESULT GetNumberOfSets(int* pnNumOfSets) override { return geometry_.GetNumberOfSets(pnNumOfSets); }
  HRESULT GetSetNumberAt(int nIndex, LONG* plNumOfVertInSet) override {
    return geometry_.GetSetNumberAt(nIndex, plNumOfVertInSet);
  }

  // Objects come from the per-thread stacks of RecycledBlocks (MakeObject
  // creates them with the nothrow form); the dynamic type's size reaches
  // delete through the virtual destructor.
  static void* operator new(size_t size, const std::nothrow_t&) noexcept {
    return RecycledBlocks<Itf>::Take(size);
  }
  static void operator delete(void* block, size_t size) noexcept { RecycledBlocks<Itf>::Give(block, size); }
  static void operator delete(void* block, const std::nothrow_t&) noexcept { ::operator delete(block); }

  // Texts of a stored record for the import side (see CGafGeometry).
  HRESULT StoreTexts(const char* key, const char* name, const char* url) {
    return geometry_.StoreTexts(key, name, url);
  }

 protected:
  explicit GeometryObject(GeometryShape shape) : geometry_(shape) {}

  CGafGeometry geometry_;
};

}  // namespace kro

#endif
