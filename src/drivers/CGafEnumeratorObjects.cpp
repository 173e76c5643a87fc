#include "drivers/CGafEnumeratorObjects.h"

#include <cstdint>
#include <limits>

#include "com/ComCreate.h"
#include "component/GeometryClasses.h"

namespace kro {
namespace {

// The texts go in as the file holds them; each is converted when a host
// asks for it.
template <class Object>
bool SetTexts(Object* object, const GafRecord& record) {
  return object->StoreTexts(record.key.c_str(), record.name.c_str(), record.url.c_str()) == S_OK;
}

// The coordinate setters take non-const arrays but only copy from them.
CKroDoublePointNode* SetterInput(const GafRecord& record) {
  return const_cast<CKroDoublePointNode*>(record.vertices.data());
}

template <class Object>
ComPtr<IKroGeometry> Deliver(ComPtr<Object>& object) {
  return ComPtr<IKroGeometry>::Adopt(object.Detach());
}

template <class Object>
ComPtr<Object> MakeWithTexts(const GafRecord& record) {
  ComPtr<Object> object = MakeObject<Object>();
  if (!object || !SetTexts(object.Get(), record)) return nullptr;
  return object;
}

ComPtr<IKroGeometry> MakePoint(const GafRecord& record) {
  if (record.vertices.empty()) return nullptr;
  ComPtr<CGafPoint> point = MakeWithTexts<CGafPoint>(record);
  if (!point || FAILED(point->SetCoords(record.vertices[0].x, record.vertices[0].y))) return nullptr;
  return Deliver(point);
}

// The vertex count the setters take, or -1 when it does not fit.
int32_t SetterCount(size_t count) {
  return count > static_cast<size_t>(std::numeric_limits<int32_t>::max()) ? -1 : static_cast<int32_t>(count);
}

template <class Object>
ComPtr<IKroGeometry> MakeSingleSet(const GafRecord& record) {
  const int32_t count = SetterCount(record.vertices.size());
  if (count < 0) return nullptr;
  ComPtr<Object> object = MakeWithTexts<Object>(record);
  EKroErrCode code = eKroUnknownErr;
  if (!object || FAILED(object->SetPointArray(count, SetterInput(record), &code))) return nullptr;
  return Deliver(object);
}

template <class Object>
ComPtr<IKroGeometry> MakeMultiSet(const GafRecord& record) {
  const int32_t total = SetterCount(record.vertices.size());
  const int32_t sets = SetterCount(record.parts.size());
  if (total < 0 || sets < 0) return nullptr;
  ComPtr<Object> object = MakeWithTexts<Object>(record);
  EKroErrCode code = eKroUnknownErr;
  // The setter copies the counts and never writes to them.
  LONG* counts = const_cast<LONG*>(record.parts.data());
  if (!object || FAILED(object->SetMultiPointArray(sets, counts, total, SetterInput(record), &code))) return nullptr;
  return Deliver(object);
}

}  // namespace

ComPtr<IKroGeometry> MakeStoredObject(const GafRecord& record) {
  switch (record.kind) {
    case kGafPointObject:
      return MakePoint(record);
    case kGafPolylineObject:
      return MakeSingleSet<CGafPolyline>(record);
    case kGafPolyPolylineObject:
      return MakeMultiSet<CGafPolyPolyline>(record);
    case kGafPolygonObject:
      return MakeSingleSet<CGafPolygon>(record);
    case kGafPolyPolygonObject:
      return MakeMultiSet<CGafPolyPolygon>(record);
    default:
      return nullptr;
  }
}

}  // namespace kro
