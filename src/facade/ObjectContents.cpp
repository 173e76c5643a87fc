#include "facade/ObjectContents.h"

#include <new>

#include "component/BoundaryText.h"
#include "component/ScopedBstr.h"
#include "engine/datafile/GafFormat.h"
#include "platform/FileSystem.h"

namespace kro {
namespace {

// No record can be longer than the largest file offset, so an object with
// more vertices than this cannot be stored whatever its kind; refusing it
// first keeps a lying object from making the writer allocate without bound.
constexpr int64_t kMaxStorableVertices = kMaxFileOffset / sizeof(CKroDoublePointNode);

using TextGetter = HRESULT (IKroGeometry::*)(BSTR*);

EKroErrCode ReadText(IKroGeometry* object, TextGetter getter, std::string& text) {
  ScopedBstr wide;
  (object->*getter)(wide.Put());
  return BstrToText(wide.Get(), &text) == S_OK ? eKroOk : eKroOutOfMemory;
}

// Asks the object for exactly `total` vertices into a zeroed array.
template <class Itf>
EKroErrCode FetchVertices(Itf* object, int64_t total, ObjectVertices& vertices) {
  if (total < 0 || total > kMaxStorableVertices) return eKroWriteError;
  try {
    vertices.points.assign(static_cast<size_t>(total), CKroDoublePointNode{});
  } catch (const std::bad_alloc&) {
    return eKroOutOfMemory;
  }
  if (total == 0) return eKroOk;
  ULONG fetched = 0;
  const HRESULT hr = object->GetPointArray(static_cast<ULONG>(total), vertices.points.data(), &fetched);
  if (FAILED(hr) || fetched != static_cast<ULONG>(total)) return eKroWriteError;
  return eKroOk;
}

template <class Itf>
EKroErrCode ReadSingleSetOf(Itf* object, ObjectVertices& vertices) {
  LONG count = 0;
  object->GetSetNumberAt(0, &count);
  // A single set holds at most a u16 count of vertices; a larger claim is
  // refused before anything is allocated for it.
  if (count < 0 || static_cast<uint32_t>(count) > gaf::kMaxU16Count) return eKroWriteError;
  return FetchVertices(object, count, vertices);
}

}  // namespace

EKroErrCode ReadObjectTexts(IKroGeometry* object, ObjectTexts& texts) {
  EKroErrCode result = ReadText(object, &IKroGeometry::GetKey, texts.key);
  if (result == eKroOk) result = ReadText(object, &IKroGeometry::GetName, texts.name);
  if (result == eKroOk) result = ReadText(object, &IKroGeometry::GetURL, texts.url);
  return result;
}

CKroDoublePointNode ReadPointVertex(IKroPoint* object) {
  CKroDoublePointNode vertex{0.0, 0.0};
  object->GetVertexAt(0, &vertex.x, &vertex.y);
  return vertex;
}

EKroErrCode ReadSingleSet(IKroPolyline* object, ObjectVertices& vertices) {
  return ReadSingleSetOf(object, vertices);
}

EKroErrCode ReadSingleSet(IKroPolygon* object, ObjectVertices& vertices) {
  return ReadSingleSetOf(object, vertices);
}

EKroErrCode ReadMultiSet(IKroPolyPolygon* object, ObjectVertices& vertices) {
  int setCount = 0;
  object->GetNumberOfSets(&setCount);
  if (setCount < 0 || static_cast<uint32_t>(setCount) > gaf::kMaxU16Count) return eKroWriteError;
  try {
    vertices.setCounts.assign(static_cast<size_t>(setCount), 0);
  } catch (const std::bad_alloc&) {
    return eKroOutOfMemory;
  }
  int64_t total = 0;
  for (int i = 0; i < setCount; ++i) {
    LONG count = 0;
    object->GetSetNumberAt(i, &count);
    if (count < 0) return eKroWriteError;
    vertices.setCounts[static_cast<size_t>(i)] = count;
    total += count;
  }
  return FetchVertices(object, total, vertices);
}

}  // namespace kro
