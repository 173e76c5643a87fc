// The record codec: what shape each kind of object record has, the checks a
// record must pass before it is written, and the encode and decode of a
// record body between a GafRecord and the file's bytes. The one place that
// tells the kinds apart; everything above walks parts and vertices.
#ifndef KRO_ENGINE_DATAFILE_GAFRECORDCODEC_H
#define KRO_ENGINE_DATAFILE_GAFRECORDCODEC_H

#include <cstdint>

#include "KroGafExportImport/KroGafExportImport.h"
#include "engine/EngineStatus.h"
#include "engine/datafile/GafFormat.h"
#include "engine/datafile/GafRecord.h"
#include "engine/datafile/GafRecordDecoder.h"

namespace kro::gaf {

// Whether `kind` is a kind of object record (0 to 5).
constexpr bool IsRecordKind(int32_t kind) { return kind >= kGafPointObject && kind <= kGafPolyPolygonObject; }

// Whether records of `kind` have a count of parts of their own (the
// multi-polyline and the multi-polygon); every other kind is one part.
constexpr bool IsMultiPart(int32_t kind) { return ShapeOf(static_cast<uint32_t>(kind)) == RecordShape::kMultiSet; }

// Sizes of a record that passed the checks.
struct RecordPlan {
  uint32_t textLength[3] = {0, 0, 0};  // name, key, URL, each up to a zero byte
  uint32_t stringBlock = 0;
  uint64_t vertexCount = 0;
  uint64_t length = 0;  // of the payload
};

// The checks of a record to be written with coordinates of
// `coordinateBytes`, and its sizes. Refused with eGafInvalidParameter: a kind
// that is no object kind, a text over 65535 bytes, a point that is not one
// part of one vertex, a single-part kind without exactly one part or with
// more than 65535 vertices, more than 65535 parts, a negative part, parts
// that do not add up to the vertices, a record longer than a file can hold,
// a coordinate that is NaN or infinite or (at 4 bytes) beyond the
// single-precision range; with eGafPolygonUnclosed: an open or empty ring of
// a polygon kind. `reason` says why a record was refused, else is null.
EngineStatus PlanRecord(const GafRecord& record, uint32_t coordinateBytes, RecordPlan& plan, const char*& reason);

// The body of a planned record: strings, pad, counts, vertices. `out` offers
// PutString(const char*, uint32_t), PutPad(uint32_t), PutU16(uint32_t),
// PutU32(uint32_t) and PutVertices(const CKroDoublePointNode*, uint64_t).
template <class Out>
void EncodeRecordBody(Out& out, const GafRecord& record, const RecordPlan& plan) {
  const char* texts[3] = {record.name.c_str(), record.key.c_str(), record.url.c_str()};
  uint32_t stored = 0;
  for (int i = 0; i < 3; ++i) {
    out.PutString(texts[i], plan.textLength[i]);
    stored += StoredStringSize(plan.textLength[i]);
  }
  out.PutPad(stored);
  const RecordShape shape = ShapeOf(static_cast<uint32_t>(record.kind));
  if (shape == RecordShape::kSingleSet) out.PutU16(static_cast<uint32_t>(record.parts[0]));
  if (shape == RecordShape::kMultiSet) {
    out.PutU16(static_cast<uint32_t>(record.parts.size()));
    for (const int32_t part : record.parts) out.PutU32(static_cast<uint32_t>(part));
  }
  out.PutVertices(record.vertices.data(), plan.vertexCount);
}

// Whether the rings of a polygon kind are closed: kEngineOk, or
// eGafPolygonUnclosed for an open or empty ring. Other kinds have none.
EngineStatus CheckRecordRings(const GafRecord& record);

// Decodes one payload of a record of `record.kind` (an object kind) into
// `record`, reusing its storage: texts cut to `textLimit` bytes (whole
// characters, up to a stored zero byte), the parts, the vertices; the box is
// left unknown. On a fault the contents are partly filled and not to be used.
PayloadFault DecodeRecordBody(GafPayloadReader& reader, const RecordLayout& layout, GafRecord& record,
                              RecordFields& fields, uint32_t textLimit = kMaxTextBytes);

}  // namespace kro::gaf

#endif
