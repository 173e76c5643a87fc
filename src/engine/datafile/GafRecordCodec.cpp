#include "engine/datafile/GafRecordCodec.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <new>
#include <stdexcept>

#include "engine/datafile/GafGeometry.h"
#include "platform/FileSystem.h"

namespace kro::gaf {
namespace {

// A coordinate that is not finite, or that the file's width turns into an
// infinity, gives a box that no search can meet: such objects are refused.
bool CoordinatesStorable(const CKroDoublePointNode* vertices, uint64_t count, uint32_t coordinateBytes) {
  const double limit = coordinateBytes == 4 ? static_cast<double>(FLT_MAX) : DBL_MAX;
  for (uint64_t i = 0; i < count; ++i) {
    if (!(std::fabs(vertices[i].x) <= limit) || !(std::fabs(vertices[i].y) <= limit)) return false;
  }
  return true;
}

// Texts end at their first zero byte, as they always have for a reader.
// Null, or why the texts cannot be stored.
const char* PlanTexts(const GafRecord& record, RecordPlan& plan) {
  const std::string* texts[3] = {&record.name, &record.key, &record.url};
  uint32_t stored = 0;
  for (int i = 0; i < 3; ++i) {
    const size_t length = strnlen(texts[i]->c_str(), kMaxStringBytes + 1);
    if (length > kMaxStringBytes) return "a text is longer than 65535 bytes";
    plan.textLength[i] = static_cast<uint32_t>(length);
    stored += StoredStringSize(plan.textLength[i]);
  }
  plan.stringBlock = RoundUpEven(stored);
  return nullptr;
}

// The bytes of the count fields; null, or why the parts do not fit the
// kind's shape.
const char* PlanCounts(const GafRecord& record, RecordShape shape, uint64_t& countFields) {
  const size_t parts = record.parts.size();
  for (const int32_t part : record.parts) {
    if (part < 0) return "a part of the object has a negative vertex count";
  }
  switch (shape) {
    case RecordShape::kPoint:
      countFields = 0;
      return parts == 1 && record.parts[0] == 1 ? nullptr : "a point is not one vertex";
    case RecordShape::kSingleSet:
      countFields = 2;
      if (parts != 1) return "an object of one part has another number of parts";
      return static_cast<uint32_t>(record.parts[0]) <= kMaxU16Count ? nullptr
                                                                     : "the object has more than 65535 vertices";
    case RecordShape::kMultiSet:
      countFields = 2 + static_cast<uint64_t>(parts) * kSetCountSize;
      return parts <= kMaxU16Count ? nullptr : "the object has more than 65535 parts";
  }
  return "the object is of no kind a record holds";
}

// The record's own storage as the decoder's sink. Growing it may throw; the
// decoder then answers kNoMemory.
struct RecordSink {
  GafRecord& record;
  uint32_t textLimit;

  bool Text(GafPayloadReader& reader, int index, uint32_t& stored) {
    std::string& text = index == 0 ? record.name : index == 1 ? record.key : record.url;
    try {
      return reader.GetString(text, textLimit, stored);
    } catch (const std::bad_alloc&) {
      return false;
    }
  }
  bool SetCounts(uint32_t count, int32_t*& out) {
    if (!Fit(record.parts, count)) return false;
    out = record.parts.data();
    return true;
  }
  bool Vertices(uint64_t count, CKroDoublePointNode*& out) {
    if (!Fit(record.vertices, count)) return false;
    out = record.vertices.data();
    return true;
  }

  template <typename T>
  static bool Fit(std::vector<T>& array, uint64_t count) {
    try {
      array.resize(static_cast<size_t>(count));
    } catch (const std::bad_alloc&) {
      return false;
    } catch (const std::length_error&) {
      return false;
    }
    return true;
  }
};

}  // namespace

EngineStatus PlanRecord(const GafRecord& record, uint32_t coordinateBytes, RecordPlan& plan, const char*& reason) {
  plan = RecordPlan{};
  reason = !IsRecordKind(record.kind) ? "the object is of no kind a record holds" : PlanTexts(record, plan);
  uint64_t countFields = 0;
  if (reason == nullptr) reason = PlanCounts(record, ShapeOf(static_cast<uint32_t>(record.kind)), countFields);
  if (reason != nullptr) return eGafInvalidParameter;
  for (const int32_t part : record.parts) plan.vertexCount += static_cast<uint64_t>(part);
  if (plan.vertexCount != record.vertices.size()) reason = "the object's parts do not add up to its vertices";
  plan.length = plan.stringBlock + countFields + plan.vertexCount * 2 * coordinateBytes;
  if (reason == nullptr && plan.length > kMaxFileOffset) reason = "the record would be larger than a data file can hold";
  if (reason == nullptr && !CoordinatesStorable(record.vertices.data(), plan.vertexCount, coordinateBytes)) {
    reason = coordinateBytes == 4 ? "a coordinate is not a number, infinite or beyond 32-bit range"
                                  : "a coordinate is not a number or infinite";
  }
  if (reason != nullptr) return eGafInvalidParameter;
  const EngineStatus rings = CheckRecordRings(record);
  if (rings != kEngineOk) reason = "a polygon ring is open or empty";
  return rings;
}

EngineStatus CheckRecordRings(const GafRecord& record) {
  if (record.kind != kGafPolygonObject && record.kind != kGafPolyPolygonObject) return kEngineOk;
  return CheckRingsClosed(record.vertices.data(), record.parts.data(), static_cast<int32_t>(record.parts.size()));
}

PayloadFault DecodeRecordBody(GafPayloadReader& reader, const RecordLayout& layout, GafRecord& record,
                              RecordFields& fields, uint32_t textLimit) {
  record.url.clear();
  record.box.reset();
  RecordSink sink{record, textLimit};
  const RecordShape shape = ShapeOf(static_cast<uint32_t>(record.kind));
  const PayloadFault fault = DecodeRecordPayload(reader, shape, layout, sink, fields);
  if (fault != PayloadFault::kNone || shape == RecordShape::kMultiSet) return fault;
  // A point or a single set is one part of all its vertices.
  if (!RecordSink::Fit(record.parts, 1)) return PayloadFault::kNoMemory;
  record.parts[0] = static_cast<int32_t>(fields.count);
  return PayloadFault::kNone;
}

}  // namespace kro::gaf
