#include "drivers/ObjectContents.h"

#include <new>

#include "com/BoundaryText.h"
#include "com/ScopedBstr.h"
#include "fileset/CGafWriter.h"
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

namespace {

EKroErrCode ReadVertices(IKroPolyline* object, ObjectVertices& vertices) { return ReadSingleSet(object, vertices); }
EKroErrCode ReadVertices(IKroPolygon* object, ObjectVertices& vertices) { return ReadSingleSet(object, vertices); }
EKroErrCode ReadVertices(IKroPolyPolygon* object, ObjectVertices& vertices) { return ReadMultiSet(object, vertices); }
EKroErrCode ReadVertices(IKroPoint* object, ObjectVertices& vertices) {
  vertices.points.assign(1, ReadPointVertex(object));
  return eKroOk;
}

EGafObjectType KindOf(IKroPoint*) { return kGafPointObject; }
EGafObjectType KindOf(IKroPolyline*) { return kGafPolylineObject; }
EGafObjectType KindOf(IKroPolygon*) { return kGafPolygonObject; }
EGafObjectType KindOf(IKroPolyPolygon*) { return kGafPolyPolygonObject; }

template <class Itf>
EKroErrCode WriteObject(CGafWriter& writer, Itf* object, BoundingBoxNode* boxOut) {
  if (object == nullptr) return eKroNullObject;
  if (!writer.CanWrite()) return eKroWriteError;
  ObjectTexts texts;
  ObjectVertices vertices;
  EKroErrCode result = ReadObjectTexts(object, texts);
  if (result == eKroOk) result = ReadVertices(object, vertices);
  if (result != eKroOk) return result;
  return writer.WriteContents(KindOf(object), texts, vertices, boxOut);
}

}  // namespace

EKroErrCode WriteHostObject(CGafWriter& writer, IKroPoint* object, BoundingBoxNode* boxOut) {
  // A writer without a set says so before it looks at the object.
  if (!writer.CanWrite()) return eKroWriteError;
  return WriteObject(writer, object, boxOut);
}

EKroErrCode WriteHostObject(CGafWriter& writer, IKroPolyline* object, BoundingBoxNode* boxOut) {
  return WriteObject(writer, object, boxOut);
}

EKroErrCode WriteHostObject(CGafWriter& writer, IKroPolygon* object, BoundingBoxNode* boxOut) {
  return WriteObject(writer, object, boxOut);
}

EKroErrCode WriteHostObject(CGafWriter& writer, IKroPolyPolygon* object, BoundingBoxNode* boxOut) {
  return WriteObject(writer, object, boxOut);
}

}  // namespace kro
