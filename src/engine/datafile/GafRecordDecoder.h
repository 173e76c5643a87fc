// The payload of an object record, decoded in one place for every reader:
// the string block (name, key and, from version 2 on, URL; a pad byte when
// their stored sizes add up to an odd number), the counts (none for a point,
// a u16 vertex count for a single set, derived from the length in versions 0
// and 1; a u16 set count and a u32 per set for a multi set), then the
// vertices. The bytes come through a GafPayloadReader, over memory or
// streamed from the file, so the reader's length is the explicit limit; the
// caller's sink keeps the texts and sizes the arrays. What the payload holds
// beyond the decode (pad value, content size) goes back in RecordFields, for
// the rules that only the inspection holds a file to.
#ifndef KRO_ENGINE_DATAFILE_GAFRECORDDECODER_H
#define KRO_ENGINE_DATAFILE_GAFRECORDDECODER_H

#include <algorithm>
#include <cstdint>
#include <limits>

#include "KroGafExportImport/KroGafExportImport.h"
#include "engine/datafile/GafByteOrder.h"
#include "engine/datafile/GafFormat.h"
#include "engine/datafile/GafPayloadReader.h"

namespace kro::gaf {

enum class RecordShape { kPoint, kSingleSet, kMultiSet };

constexpr RecordShape ShapeOf(uint32_t objectType) {
  return objectType == kGafPointObject                                                  ? RecordShape::kPoint
         : objectType == kGafPolyPolylineObject || objectType == kGafPolyPolygonObject ? RecordShape::kMultiSet
                                                                                        : RecordShape::kSingleSet;
}

// What the file's header says about every record's layout.
struct RecordLayout {
  bool oldLayout = false;  // versions 0 and 1: two strings, no single-set count
  uint32_t coordinateBytes = 4;
};

inline RecordLayout LayoutFor(uint32_t version, uint32_t coordinateBits) {
  return RecordLayout{version <= kLastOldLayoutVersion, coordinateBits == kDoubleCoordinateBits ? 8u : 4u};
}

// Why a payload did not decode.
enum class PayloadFault : uint8_t {
  kNone,
  kStringPastEnd,     // a string runs past the payload
  kPadPastEnd,        // the string-block pad lies past it
  kCountPastEnd,      // the vertex count or set count lies past it
  kSetCountsPastEnd,  // the set counts do not fit in it
  kVerticesPastEnd,   // the counts ask for more vertices than it holds
  kNoMemory,          // the sink could not hold the texts, counts or vertices
  kReadFailed,        // the file could not be read
};

struct RecordFields {
  uint32_t stored[3] = {0, 0, 0};  // stored sizes of name, key and URL
  bool hasPad = false;
  uint32_t padAt = 0;  // payload offset of the string-block pad
  uint32_t padValue = 0;
  uint32_t count = 0;     // single set: vertices; multi set: sets; point: 1
  uint64_t vertices = 0;  // all sets together
  uint32_t countsAt = 0;  // payload offset of the counts
  // On success: the bytes the content occupies from the payload start. On a
  // fault: where decoding stopped.
  uint32_t consumed = 0;
};

namespace detail {

inline PayloadFault Stop(const GafPayloadReader& reader, PayloadFault fault, RecordFields& fields) {
  fields.consumed = reader.Consumed();
  return reader.Failure() == eGafReadError ? PayloadFault::kReadFailed : fault;
}

template <typename Sink>
PayloadFault DecodeSetCounts(GafPayloadReader& reader, Sink& sink, RecordFields& fields) {
  uint32_t setCount = 0;
  if (!reader.GetU16(setCount)) return Stop(reader, PayloadFault::kCountPastEnd, fields);
  if (!reader.Require(static_cast<uint64_t>(setCount) * kSetCountSize)) {
    return Stop(reader, PayloadFault::kSetCountsPastEnd, fields);
  }
  int32_t* counts = nullptr;
  if (!sink.SetCounts(setCount, counts)) return Stop(reader, PayloadFault::kNoMemory, fields);
  fields.count = setCount;
  for (uint32_t i = 0; i < setCount; ++i) {
    uint32_t count = 0;
    if (!reader.GetU32(count)) return Stop(reader, PayloadFault::kSetCountsPastEnd, fields);
    // A count this large cannot fit in any record; the vertex check refuses it.
    counts[i] = static_cast<int32_t>(std::min<uint32_t>(count, std::numeric_limits<int32_t>::max()));
    fields.vertices += count;
  }
  return PayloadFault::kNone;
}

}  // namespace detail

// Decodes one payload from the reader's start. The sink provides
//   bool Text(GafPayloadReader&, int index, uint32_t& stored)  (index 0..2)
//   bool SetCounts(uint32_t setCount, int32_t*& out)
//   bool Vertices(uint64_t count, CKroDoublePointNode*& out)
// (false: no memory; `out` may be null for a count of 0)
// and is asked for each array only after the payload was found to hold it.
// Returns kNone with `fields` filled, or the first fault, `fields.consumed`
// telling where it lies.
template <typename Sink>
PayloadFault DecodeRecordPayload(GafPayloadReader& reader, RecordShape shape, const RecordLayout& layout, Sink& sink,
                                 RecordFields& fields) {
  fields = RecordFields{};
  const int strings = layout.oldLayout ? 2 : 3;
  for (int i = 0; i < strings; ++i) {
    if (!sink.Text(reader, i, fields.stored[i])) return detail::Stop(reader, PayloadFault::kStringPastEnd, fields);
  }
  if (((fields.stored[0] + fields.stored[1] + fields.stored[2]) & 1u) != 0) {
    fields.hasPad = true;
    fields.padAt = reader.Consumed();
    if (!reader.GetU8(fields.padValue)) return detail::Stop(reader, PayloadFault::kPadPastEnd, fields);
  }
  fields.countsAt = reader.Consumed();
  const uint32_t vertexBytes = 2 * layout.coordinateBytes;
  if (shape == RecordShape::kSingleSet) {
    if (layout.oldLayout) {
      fields.count = reader.Unconsumed() / vertexBytes;
    } else if (!reader.GetU16(fields.count)) {
      return detail::Stop(reader, PayloadFault::kCountPastEnd, fields);
    }
    fields.vertices = fields.count;
  } else if (shape == RecordShape::kMultiSet) {
    const PayloadFault fault = detail::DecodeSetCounts(reader, sink, fields);
    if (fault != PayloadFault::kNone) return fault;
  } else {
    fields.count = 1;
    fields.vertices = 1;
  }
  if (!reader.Require(fields.vertices * vertexBytes)) {
    return detail::Stop(reader, PayloadFault::kVerticesPastEnd, fields);
  }
  CKroDoublePointNode* out = nullptr;
  if (!sink.Vertices(fields.vertices, out)) return detail::Stop(reader, PayloadFault::kNoMemory, fields);
  if (!reader.GetVertices(out, fields.vertices, layout.coordinateBytes)) {
    return detail::Stop(reader, PayloadFault::kVerticesPastEnd, fields);
  }
  fields.consumed = reader.Consumed();
  return PayloadFault::kNone;
}

// Whether a record's length agrees with the `content` bytes it was found to
// hold. A writer gives a record exactly its content's length, or, when it
// reused a free record, that record's length, which it takes only while the
// slack stays below the content's size. In versions 0 and 1 a single set
// takes the whole vertices the length holds, so less than one is left over.
// (Their multi-set records are framed by their content alone.)
inline bool LengthAgreesWithContent(RecordShape shape, const RecordLayout& layout, uint32_t length, uint32_t content) {
  if (content > length) return false;
  const uint32_t slack = length - content;
  if (layout.oldLayout && shape == RecordShape::kSingleSet) return slack < 2 * layout.coordinateBytes;
  return slack < content || slack == 0;
}

// The link at the start of a free record's payload of `length` bytes, held
// at `payload`; false when the payload is too short for it.
inline bool DecodeFreeLink(const uint8_t* payload, uint32_t length, uint32_t& link) {
  if (length < kFreeLinkSize) return false;
  link = LoadU32(payload);
  return true;
}

}  // namespace kro::gaf

#endif
