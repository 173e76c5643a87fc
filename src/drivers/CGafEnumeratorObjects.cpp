#include "drivers/CGafEnumeratorObjects.h"

#include <cstdint>
#include <limits>
#include <new>

#include "com/ComCreate.h"
#include "component/GeometryClasses.h"
#include "fileset/CGafReader.h"

namespace kro {
namespace {

struct StoredTexts {
  const char* name = "";
  const char* key = "";
  const char* url = "";
};

// The texts go in as the file holds them; each is converted when a host
// asks for it.
template <class Object>
bool SetTexts(Object* object, const StoredTexts& texts) {
  return object->StoreTexts(texts.key, texts.name, texts.url) == S_OK;
}

// The coordinate setters take non-const arrays but only copy from them.
CKroDoublePointNode* SetterInput(const CKroDoublePointNode* points) {
  return const_cast<CKroDoublePointNode*>(points);
}

template <class Object>
ComPtr<IKroGeometry> Deliver(ComPtr<Object>& object) {
  return ComPtr<IKroGeometry>::Adopt(object.Detach());
}

ComPtr<IKroGeometry> MakePoint(CGafReader& reader) {
  StoredTexts texts;
  const CKroDoublePointNode* xy = nullptr;
  if (reader.ReadPoint(texts.name, texts.key, texts.url, xy) != eKroOk) return nullptr;
  ComPtr<CGafPoint> point = MakeObject<CGafPoint>();
  if (!point || !SetTexts(point.Get(), texts)) return nullptr;
  if (FAILED(point->SetCoords(xy->x, xy->y))) return nullptr;
  return Deliver(point);
}

using SingleSetRead = EKroErrCode (CGafReader::*)(const char*&, const char*&, const char*&, int32_t&,
                                                  const CKroDoublePointNode*&);

template <class Object>
ComPtr<IKroGeometry> MakeSingleSet(CGafReader& reader, SingleSetRead read) {
  StoredTexts texts;
  int32_t count = 0;
  const CKroDoublePointNode* points = nullptr;
  if ((reader.*read)(texts.name, texts.key, texts.url, count, points) != eKroOk) return nullptr;
  ComPtr<Object> object = MakeObject<Object>();
  if (!object || !SetTexts(object.Get(), texts)) return nullptr;
  EKroErrCode code = eKroUnknownErr;
  if (FAILED(object->SetPointArray(count, SetterInput(points), &code))) return nullptr;
  return Deliver(object);
}

using MultiSetRead = EKroErrCode (CGafReader::*)(const char*&, const char*&, const char*&, int32_t&,
                                                 const int32_t*&, const CKroDoublePointNode*&);

// The sum of the set counts, or -1 when a count is negative or the sum does
// not fit the setter's vertex count.
int32_t TotalVertices(int32_t setCount, const int32_t* setCounts) {
  int64_t total = 0;
  for (int32_t i = 0; i < setCount; ++i) {
    if (setCounts[i] < 0) return -1;
    total += setCounts[i];
    if (total > std::numeric_limits<int32_t>::max()) return -1;
  }
  return static_cast<int32_t>(total);
}

template <class Object>
ComPtr<IKroGeometry> MakeMultiSet(CGafReader& reader, MultiSetRead read) {
  StoredTexts texts;
  int32_t setCount = 0;
  const int32_t* setCounts = nullptr;
  const CKroDoublePointNode* points = nullptr;
  if ((reader.*read)(texts.name, texts.key, texts.url, setCount, setCounts, points) != eKroOk) return nullptr;
  const int32_t total = TotalVertices(setCount, setCounts);
  if (total < 0) return nullptr;
  ComPtr<Object> object = MakeObject<Object>();
  if (!object || !SetTexts(object.Get(), texts)) return nullptr;
  EKroErrCode code = eKroUnknownErr;
  // The setter copies the counts and never writes to them.
  LONG* counts = const_cast<LONG*>(setCounts);
  if (FAILED(object->SetMultiPointArray(setCount, counts, total, SetterInput(points), &code))) return nullptr;
  return Deliver(object);
}

}  // namespace

ComPtr<IKroGeometry> MakeStoredObject(CGafReader& reader, EGafObjectType kind) {
  switch (kind) {
    case kGafPointObject:
      return MakePoint(reader);
    case kGafPolylineObject:
      return MakeSingleSet<CGafPolyline>(reader, &CGafReader::ReadPolyline);
    case kGafPolyPolylineObject:
      return MakeMultiSet<CGafPolyPolyline>(reader, &CGafReader::ReadPolyPolyline);
    case kGafPolygonObject:
      return MakeSingleSet<CGafPolygon>(reader, &CGafReader::ReadPolygon);
    case kGafPolyPolygonObject:
      return MakeMultiSet<CGafPolyPolygon>(reader, &CGafReader::ReadPolyPolygon);
    default:
      return nullptr;
  }
}

}  // namespace kro
