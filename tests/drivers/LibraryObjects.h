// Building the library's own geometry objects from a shape, the way a host
// uses them as export input, and reading any geometry object back into a
// shape through the geometry interfaces only.
#ifndef KRO_TESTS_DRIVERS_LIBRARYOBJECTS_H
#define KRO_TESTS_DRIVERS_LIBRARYOBJECTS_H

#include <gtest/gtest.h>

#include "component/ComponentClasses.h"
#include "com/ScopedBstr.h"
#include "drivers/HostGeometry.h"

namespace kro::test {

inline ScopedBstr Wide(const std::string& text) { return ScopedBstr(MultiByteToBstr(text.c_str())); }

// A text handed out by the library: absent for a null string.
inline std::optional<std::string> Narrow(BSTR text) {
  if (text == nullptr) return std::nullopt;
  return BstrToMultiByte(text);
}

template <class Itf>
ComPtr<Itf> CreateLibrary(HRESULT (*creator)(REFIID, void**)) {
  ComPtr<Itf> object;
  EXPECT_EQ(S_OK, creator(IidOf<Itf>(), object.PutVoid()));
  return object;
}

inline void SetLibraryTexts(IKroGeometry* object, const HostShape& shape) {
  EKroErrCode code = eKroUnknownErr;
  if (shape.key) {
    EXPECT_EQ(S_OK, object->SetKey(Wide(*shape.key).Get(), &code));
  }
  if (shape.name) {
    EXPECT_EQ(S_OK, object->SetName(Wide(*shape.name).Get(), &code));
  }
  if (shape.url) {
    EXPECT_EQ(S_OK, object->SetURL(Wide(*shape.url).Get(), &code));
  }
}

// The library object of the shape's kind; the shape must suit its setters
// (a point has one vertex, arrays at least two).
inline ComPtr<IKroGeometry> MakeLibraryObject(const HostShape& shape) {
  EKroErrCode code = eKroUnknownErr;
  auto points = const_cast<CKroDoublePointNode*>(shape.points.data());
  auto counts = const_cast<LONG*>(shape.setCounts.data());
  const int vertexCount = static_cast<int>(shape.points.size());
  ComPtr<IKroGeometry> result;
  auto keep = [&](auto& typed) {
    SetLibraryTexts(typed.Get(), shape);
    result = ComPtr<IKroGeometry>::Share(typed.Get());
  };
  switch (shape.kind) {
    case kGafPointObject: {
      auto point = CreateLibrary<IKroPoint>(CreateKroPoint);
      if (!shape.points.empty()) {
        EXPECT_EQ(S_OK, point->SetCoords(shape.points[0].x, shape.points[0].y));
      }
      keep(point);
      break;
    }
    case kGafPolylineObject: {
      auto line = CreateLibrary<IKroPolyline>(CreateKroPolyline);
      EXPECT_EQ(S_OK, line->SetPointArray(vertexCount, points, &code));
      keep(line);
      break;
    }
    case kGafPolygonObject: {
      auto polygon = CreateLibrary<IKroPolygon>(CreateKroPolygon);
      EXPECT_EQ(S_OK, polygon->SetPointArray(vertexCount, points, &code));
      keep(polygon);
      break;
    }
    case kGafPolyPolylineObject: {
      auto multi = CreateLibrary<IKroPolyPolyline>(CreateKroPolyPolyline);
      EXPECT_EQ(S_OK, multi->SetMultiPointArray(static_cast<int>(shape.setCounts.size()), counts, vertexCount,
                                                points, &code));
      keep(multi);
      break;
    }
    default: {
      auto multi = CreateLibrary<IKroPolyPolygon>(CreateKroPolyPolygon);
      EXPECT_EQ(S_OK, multi->SetMultiPointArray(static_cast<int>(shape.setCounts.size()), counts, vertexCount,
                                                points, &code));
      keep(multi);
      break;
    }
  }
  return result;
}

// The kind of a geometry object, found by asking for each typed interface.
inline EGafObjectType KindOf(IKroGeometry* object) {
  const std::pair<const IID*, EGafObjectType> kinds[] = {
      {&IID_IKroPoint, kGafPointObject},       {&IID_IKroPolyline, kGafPolylineObject},
      {&IID_IKroPolyPolyline, kGafPolyPolylineObject}, {&IID_IKroPolygon, kGafPolygonObject},
      {&IID_IKroPolyPolygon, kGafPolyPolygonObject}};
  for (const auto& [iid, kind] : kinds) {
    ComPtr<IUnknown> typed;
    if (object->QueryInterface(*iid, typed.PutVoid()) == S_OK) return kind;
  }
  return kGafUndefinedObject;
}

// Everything an object tells through IKroGeometry: texts, sets and vertices.
inline HostShape ShapeOf(IKroGeometry* object) {
  HostShape shape;
  shape.kind = KindOf(object);
  ScopedBstr text;
  object->GetKey(text.Put());
  shape.key = Narrow(text.Get());
  object->GetName(text.Put());
  shape.name = Narrow(text.Get());
  object->GetURL(text.Put());
  shape.url = Narrow(text.Get());
  int sets = 0;
  if (object->GetNumberOfSets(&sets) == S_OK) {
    LONG total = 0;
    for (int i = 0; i < sets; ++i) {
      LONG count = 0;
      object->GetSetNumberAt(i, &count);
      shape.setCounts.push_back(count);
      total += count;
    }
    for (LONG i = 0; i < total; ++i) {
      CKroDoublePointNode vertex{};
      if (object->GetVertexAt(i, &vertex.x, &vertex.y) == S_OK) shape.points.push_back(vertex);
    }
  }
  return shape;
}

}  // namespace kro::test

#endif
