// The five geometry classes: KroPoint, KroPolyline, KroPolygon,
// KroPolyPolyline and KroPolyPolygon. The two single-set classes and the two
// multi-set classes are the same template over their interface.
#ifndef KRO_COMPONENT_GEOMETRYCLASSES_H
#define KRO_COMPONENT_GEOMETRYCLASSES_H

#include "component/GeometryObject.h"

namespace kro {

// One vertex in one set.
class CGafPoint final : public GeometryObject<IKroPoint> {
 public:
  CGafPoint() : GeometryObject(GeometryShape::kPoint) {}

  HRESULT SetCoords(double dX, double dY) override { return geometry_.SetCoords(dX, dY); }
  HRESULT GetCoords(double* pdX, double* pdY) override { return geometry_.GetCoords(pdX, pdY); }
};

// The operations that every class with a vertex array has.
template <class Itf>
class CGafArrayGeometry : public GeometryObject<Itf> {
 public:
  HRESULT GetPointArray(ULONG ulArrayLength, CKroDoublePointNode* pDblPtr, ULONG* pulFetched) override {
    return this->geometry_.GetPointArray(ulArrayLength, pDblPtr, pulFetched);
  }
  HRESULT GetPointArraySize(ULONG* pulArrayLength) override {
    return this->geometry_.GetPointArraySize(pulArrayLength);
  }

 protected:
  using GeometryObject<Itf>::GeometryObject;
};

// All vertices in one set.
template <class Itf>
class CGafSingleSetGeometry final : public CGafArrayGeometry<Itf> {
 public:
  CGafSingleSetGeometry() : CGafArrayGeometry<Itf>(GeometryShape::kSingleSet) {}

  HRESULT SetPointArray(int nNumVert, CKroDoublePointNode* pDblPoints, EKroErrCode* peErr) override {
    return this->geometry_.SetPointArray(nNumVert, pDblPoints, peErr);
  }
};

// Vertices divided into any number of sets.
template <class Itf>
class CGafMultiSetGeometry final : public CGafArrayGeometry<Itf> {
 public:
  CGafMultiSetGeometry() : CGafArrayGeometry<Itf>(GeometryShape::kMultiSet) {}

  HRESULT SetMultiPointArray(int numSets, LONG* lNumSetVert, int nNumVert, CKroDoublePointNode* pDblPoints,
                             EKroErrCode* peErr) override {
    return this->geometry_.SetMultiPointArray(numSets, lNumSetVert, nNumVert, pDblPoints, peErr);
  }
};

using CGafPolyline = CGafSingleSetGeometry<IKroPolyline>;
using CGafPolygon = CGafSingleSetGeometry<IKroPolygon>;
using CGafPolyPolyline = CGafMultiSetGeometry<IKroPolyPolyline>;
using CGafPolyPolygon = CGafMultiSetGeometry<IKroPolyPolygon>;

}  // namespace kro

#endif
