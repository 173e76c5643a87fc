#include "drivers/HostRecord.h"

#include <new>

#include "com/BoundaryText.h"
#include "com/ComPtr.h"
#include "com/ScopedBstr.h"
#include "engine/datafile/GafFormat.h"
#include "fileset/CGafWriter.h"
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

EKroErrCode ReadTexts(IKroGeometry* object, GafRecord& record) {
  EKroErrCode result = ReadText(object, &IKroGeometry::GetKey, record.key);
  if (result == eKroOk) result = ReadText(object, &IKroGeometry::GetName, record.name);
  if (result == eKroOk) result = ReadText(object, &IKroGeometry::GetURL, record.url);
  return result;
}

// Asks the object for exactly `total` vertices into a zeroed array.
template <class Itf>
EKroErrCode FetchVertices(Itf* object, int64_t total, GafRecord& record) {
  if (total < 0 || total > kMaxStorableVertices) return eKroWriteError;
  try {
    record.vertices.assign(static_cast<size_t>(total), CKroDoublePointNode{});
  } catch (const std::bad_alloc&) {
    return eKroOutOfMemory;
  }
  if (total == 0) return eKroOk;
  ULONG fetched = 0;
  const HRESULT hr = object->GetPointArray(static_cast<ULONG>(total), record.vertices.data(), &fetched);
  if (FAILED(hr) || fetched != static_cast<ULONG>(total)) return eKroWriteError;
  return eKroOk;
}

// The counts of `sets` sets, each asked for; a negative one is refused.
template <class Itf>
EKroErrCode ReadPartCounts(Itf* object, int sets, GafRecord& record, int64_t& total) {
  try {
    record.parts.assign(static_cast<size_t>(sets), 0);
  } catch (const std::bad_alloc&) {
    return eKroOutOfMemory;
  }
  total = 0;
  for (int i = 0; i < sets; ++i) {
    LONG count = 0;
    object->GetSetNumberAt(i, &count);
    if (count < 0) return eKroWriteError;
    record.parts[static_cast<size_t>(i)] = count;
    total += count;
  }
  return eKroOk;
}

template <class Itf>
EKroErrCode ReadSingleSet(Itf* object, GafRecord& record) {
  int64_t total = 0;
  EKroErrCode result = ReadPartCounts(object, 1, record, total);
  // A single set holds at most a u16 count of vertices; a larger claim is
  // refused before anything is allocated for it.
  if (result == eKroOk && total > gaf::kMaxU16Count) result = eKroWriteError;
  return result == eKroOk ? FetchVertices(object, total, record) : result;
}

template <class Itf>
EKroErrCode ReadRecordOf(Itf* object, EGafObjectType kind, GafRecord& record,
                         EKroErrCode (*readGeometry)(Itf*, GafRecord&)) {
  record.Clear(kind);
  const EKroErrCode result = ReadTexts(object, record);
  return result == eKroOk ? readGeometry(object, record) : result;
}

EKroErrCode ReadPointGeometry(IKroPoint* object, GafRecord& record) {
  CKroDoublePointNode vertex{0.0, 0.0};
  object->GetVertexAt(0, &vertex.x, &vertex.y);
  record.parts.assign(1, 1);
  record.vertices.assign(1, vertex);
  return eKroOk;
}

EKroErrCode ReadMultiSetGeometry(IKroPolyPolygon* object, GafRecord& record) {
  int setCount = 0;
  object->GetNumberOfSets(&setCount);
  if (setCount < 0 || static_cast<uint32_t>(setCount) > gaf::kMaxU16Count) return eKroWriteError;
  int64_t total = 0;
  const EKroErrCode result = ReadPartCounts(object, setCount, record, total);
  return result == eKroOk ? FetchVertices(object, total, record) : result;
}

template <class Itf>
EKroErrCode WriteObject(CGafWriter& writer, Itf* object, BoundingBoxNode* boxOut) {
  if (object == nullptr) return eKroNullObject;
  if (!writer.CanWrite()) return eKroWriteError;
  GafRecord record;
  const EKroErrCode result = ReadHostRecord(object, record);
  return result == eKroOk ? writer.Write(record, boxOut) : result;
}

}  // namespace

EKroErrCode ReadHostRecord(IKroPoint* object, GafRecord& record) {
  return ReadRecordOf(object, kGafPointObject, record, &ReadPointGeometry);
}

EKroErrCode ReadHostRecord(IKroPolyline* object, GafRecord& record) {
  return ReadRecordOf(object, kGafPolylineObject, record, &ReadSingleSet<IKroPolyline>);
}

EKroErrCode ReadHostRecord(IKroPolygon* object, GafRecord& record) {
  return ReadRecordOf(object, kGafPolygonObject, record, &ReadSingleSet<IKroPolygon>);
}

EKroErrCode ReadHostRecord(IKroPolyPolygon* object, GafRecord& record) {
  return ReadRecordOf(object, kGafPolyPolygonObject, record, &ReadMultiSetGeometry);
}

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

namespace {

template <class Itf>
ComPtr<Itf> Query(IKroGeometry* object) {
  ComPtr<Itf> typed;
  if (FAILED(object->QueryInterface(IidOf<Itf>(), typed.PutVoid()))) typed.Reset();
  return typed;
}

}  // namespace

bool WriteHostGeometry(CGafWriter& writer, EGafObjectType type, IKroGeometry* object) {
  switch (type) {
    case kGafPointObject:
      if (auto point = Query<IKroPoint>(object)) return WriteHostObject(writer, point.Get(), nullptr) == eKroOk;
      return false;
    case kGafPolylineObject:
      if (auto line = Query<IKroPolyline>(object)) return WriteHostObject(writer, line.Get(), nullptr) == eKroOk;
      return false;
    case kGafPolygonObject:
      if (auto polygon = Query<IKroPolygon>(object)) return WriteHostObject(writer, polygon.Get(), nullptr) == eKroOk;
      if (auto multi = Query<IKroPolyPolygon>(object)) return WriteHostObject(writer, multi.Get(), nullptr) == eKroOk;
      return false;
    default:
      return false;
  }
}

}  // namespace kro
