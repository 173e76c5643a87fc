// Writing object records. Every writer checks all of its input before the
// first byte goes out, so a refused record leaves the file, its box and its
// count as they were.
#include <cfloat>
#include <cmath>
#include <cstring>

#include "engine/datafile/CGafFile.h"
#include "engine/datafile/GafFormat.h"

namespace kro {
namespace {

const char* TextOrEmpty(const char* text) { return text != nullptr ? text : ""; }

// A coordinate that is not finite, or that the file's width turns into an
// infinity, gives a box that no search can meet: such objects are refused.
bool CoordinatesStorable(const CKroDoublePointNode* vertices, uint64_t count, uint32_t coordinateBytes) {
  const double limit = coordinateBytes == 4 ? static_cast<double>(FLT_MAX) : DBL_MAX;
  for (uint64_t i = 0; i < count; ++i) {
    if (!(std::fabs(vertices[i].x) <= limit) || !(std::fabs(vertices[i].y) <= limit)) return false;
  }
  return true;
}

}  // namespace

EngineStatus CGafFile::WritePoint(const char* name, const char* key, const char* url,
                                  const CKroDoublePointNode* vertex, uint32_t& position, BoundingBoxNode* box) {
  return WriteRecord({kGafPointObject, Shape::kPoint, {name, key, url}, 1, nullptr, vertex}, position, box);
}

EngineStatus CGafFile::WriteMultiPoint(const char* name, const char* key, const char* url, int32_t count,
                                       const CKroDoublePointNode* vertices, uint32_t& position,
                                       BoundingBoxNode* box) {
  return WriteRecord({gaf::kMultiPointType, Shape::kSingleSet, {name, key, url}, count, nullptr, vertices}, position,
                     box);
}

EngineStatus CGafFile::WritePolyline(const char* name, const char* key, const char* url, int32_t count,
                                     const CKroDoublePointNode* vertices, uint32_t& position, BoundingBoxNode* box) {
  return WriteRecord({kGafPolylineObject, Shape::kSingleSet, {name, key, url}, count, nullptr, vertices}, position,
                     box);
}

EngineStatus CGafFile::WritePolyPolyline(const char* name, const char* key, const char* url, int32_t setCount,
                                         const int32_t* setCounts, const CKroDoublePointNode* vertices,
                                         uint32_t& position, BoundingBoxNode* box) {
  return WriteRecord({kGafPolyPolylineObject, Shape::kMultiSet, {name, key, url}, setCount, setCounts, vertices},
                     position, box);
}

EngineStatus CGafFile::WritePolygon(const char* name, const char* key, const char* url, int32_t count,
                                    const CKroDoublePointNode* vertices, uint32_t& position, BoundingBoxNode* box) {
  return WriteRecord({kGafPolygonObject, Shape::kSingleSet, {name, key, url}, count, nullptr, vertices}, position,
                     box);
}

EngineStatus CGafFile::WritePolyPolygon(const char* name, const char* key, const char* url, int32_t setCount,
                                        const int32_t* setCounts, const CKroDoublePointNode* vertices,
                                        uint32_t& position, BoundingBoxNode* box) {
  return WriteRecord({kGafPolyPolygonObject, Shape::kMultiSet, {name, key, url}, setCount, setCounts, vertices},
                     position, box);
}

EngineStatus CGafFile::WriteRecord(const RecordRequest& request, uint32_t& position, BoundingBoxNode* box) {
  position = 0;
  if (status_ != kEngineOk) return status_;
  if (readOnly_ || closedByClose_) return Refuse(eGafWriteError, "the file is not open for writing");
  RecordRequest record = request;
  for (const char*& text : record.text) text = TextOrEmpty(text);
  RecordPlan plan{};
  if (const EngineStatus refused = PlanRecord(record, plan); refused != kEngineOk) return refused;

  if (state_ == GafFileState::kHeaderOpen) WriteHeaderBody();
  if (status_ != kEngineOk) return status_;
  const uint32_t length = static_cast<uint32_t>(plan.length);
  FreeRecord slot;
  bool reuse = false;
  if (freeListHead_ != 0 && FindFreeRecord(length, slot, reuse) != kEngineOk) {
    SeekTo(appendPosition_);
    return status_;
  }
  if (!PositionForWrite(reuse ? slot.position : appendPosition_)) return status_;
  position = LogicalOffset();
  TakeIntoBoxes(record, plan.vertexCount, box);
  // A reused free record keeps its length and the form of its tag, so the
  // new record covers exactly the old one.
  if (reuse) PutRecord(record, plan, slot.longForm, slot.length);
  else PutRecord(record, plan, gaf::NeedsLongForm(length), length);
  if (reuse) {
    Flush();
    SeekTo(appendPosition_);
  } else {
    appendPosition_ = LogicalOffset();
  }
  ++objectCount_;
  const uint32_t kind = gaf::KindBit(record.type);
  ++(kind == gaf::kKindPoints ? pointKinds_ : kind == gaf::kKindLines ? lineKinds_ : areaKinds_);
  return status_;
}

// The record's sizes, or the reason it cannot be stored.
EngineStatus CGafFile::PlanRecord(const RecordRequest& request, RecordPlan& plan) const {
  uint32_t stored = 0;
  for (int i = 0; i < 3; ++i) {
    const size_t length = strnlen(request.text[i], gaf::kMaxStringBytes + 1);
    if (length > gaf::kMaxStringBytes) return Refuse(eGafInvalidParameter, "a text is longer than 65535 bytes");
    plan.textLength[i] = static_cast<uint32_t>(length);
    stored += gaf::StoredStringSize(plan.textLength[i]);
  }
  plan.stringBlock = gaf::RoundUpEven(stored);

  uint64_t countFields = 0;
  if (request.shape == Shape::kPoint) {
    plan.vertexCount = 1;
  } else {
    if (request.count < 0 || static_cast<uint32_t>(request.count) > gaf::kMaxU16Count) {
      return Refuse(eGafInvalidParameter, request.shape == Shape::kMultiSet
                                              ? "the object has more than 65535 parts"
                                              : "the object has more than 65535 vertices");
    }
    countFields = 2;
    plan.vertexCount = static_cast<uint64_t>(request.count);
  }
  if (request.shape == Shape::kMultiSet) {
    if (request.count > 0 && request.setCounts == nullptr) {
      return Refuse(eGafInvalidParameter, "the object's part counts are missing");
    }
    countFields += static_cast<uint64_t>(request.count) * gaf::kSetCountSize;
    plan.vertexCount = 0;
    for (int32_t i = 0; i < request.count; ++i) {
      if (request.setCounts[i] < 0) {
        return Refuse(eGafInvalidParameter, "a part of the object has a negative vertex count");
      }
      plan.vertexCount += static_cast<uint64_t>(request.setCounts[i]);
    }
  }
  if (plan.vertexCount > 0 && request.vertices == nullptr) {
    return Refuse(eGafInvalidParameter, "the object's vertices are missing");
  }
  plan.length = plan.stringBlock + countFields + plan.vertexCount * 2 * CoordinateBytes();
  if (plan.length > kMaxFileOffset) {
    return Refuse(eGafInvalidParameter, "the record would be larger than a data file can hold");
  }
  if (!CoordinatesStorable(request.vertices, plan.vertexCount, CoordinateBytes())) {
    return Refuse(eGafInvalidParameter, CoordinateBytes() == 4
                                            ? "a coordinate is not a number, infinite or beyond 32-bit range"
                                            : "a coordinate is not a number or infinite");
  }

  EngineStatus rings = kEngineOk;
  if (request.type == kGafPolygonObject) rings = CheckRingsClosed(request.vertices, &request.count, 1);
  if (request.type == kGafPolyPolygonObject) {
    rings = CheckRingsClosed(request.vertices, request.setCounts, request.count);
  }
  return rings == kEngineOk ? kEngineOk : Refuse(rings, "a polygon ring is open or empty");
}

// The object's box starts at its first vertex; an object without vertices
// gets the all-zero box. Every vertex widens the file's box.
void CGafFile::TakeIntoBoxes(const RecordRequest& request, uint64_t vertexCount, BoundingBoxNode* box) {
  const CKroDoublePointNode* vertices = request.vertices;
  if (box != nullptr) {
    *box = vertexCount == 0 ? BoundingBoxNode{0, 0, 0, 0} : PointBox(vertices[0]);
    for (uint64_t i = 1; i < vertexCount; ++i) ExtendBox(*box, vertices[i]);
  }
  for (uint64_t i = 0; i < vertexCount; ++i) ExtendFileBox(box_, vertices[i]);
}

void CGafFile::PutRecord(const RecordRequest& request, const RecordPlan& plan, bool longForm, uint32_t length) {
  PutTag(gaf::kCodeFirstObject + static_cast<uint32_t>(request.type), longForm, length);
  uint32_t stored = 0;
  for (int i = 0; i < 3; ++i) {
    PutString(request.text[i], plan.textLength[i]);
    stored += gaf::StoredStringSize(plan.textLength[i]);
  }
  PutPad(stored);
  if (request.shape != Shape::kPoint) PutU16(static_cast<uint32_t>(request.count));
  if (request.shape == Shape::kMultiSet) {
    for (int32_t i = 0; i < request.count; ++i) PutU32(static_cast<uint32_t>(request.setCounts[i]));
  }
  PutVertices(request.vertices, plan.vertexCount);
}

}  // namespace kro
