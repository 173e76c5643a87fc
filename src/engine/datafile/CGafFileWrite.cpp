// Writing object records. Every record is checked whole (gaf::PlanRecord)
// before the first byte goes out, so a refused record leaves the file, its
// box and its count as they were.
#include "engine/datafile/CGafFile.h"
#include "engine/datafile/GafFormat.h"
#include "engine/datafile/GafRecordCodec.h"

namespace kro {

struct CGafFile::RecordOut {
  CGafFile& file;
  void PutString(const char* text, uint32_t length) { file.PutString(text, length); }
  void PutPad(uint32_t length) { file.PutPad(length); }
  void PutU16(uint32_t value) { file.PutU16(value); }
  void PutU32(uint32_t value) { file.PutU32(value); }
  void PutVertices(const CKroDoublePointNode* vertices, uint64_t count) { file.PutVertices(vertices, count); }
};

EngineStatus CGafFile::WriteRecord(const GafRecord& record, uint32_t& position, BoundingBoxNode* box) {
  position = 0;
  if (status_ != kEngineOk) return status_;
  if (readOnly_ || closedByClose_) return Refuse(eGafWriteError, "the file is not open for writing");
  gaf::RecordPlan plan;
  const char* reason = nullptr;
  if (const EngineStatus refused = gaf::PlanRecord(record, CoordinateBytes(), plan, reason); refused != kEngineOk) {
    return Refuse(refused, reason);
  }

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
  const uint32_t kind = gaf::KindBit(record.kind);
  ++(kind == gaf::kKindPoints ? pointKinds_ : kind == gaf::kKindLines ? lineKinds_ : areaKinds_);
  return status_;
}

// The object's box starts at its first vertex; an object without vertices
// gets the all-zero box. Every vertex widens the file's box.
void CGafFile::TakeIntoBoxes(const GafRecord& record, uint64_t vertexCount, BoundingBoxNode* box) {
  const CKroDoublePointNode* vertices = record.vertices.data();
  if (box != nullptr) *box = VerticesBox(vertices, static_cast<size_t>(vertexCount));
  for (uint64_t i = 0; i < vertexCount; ++i) ExtendFileBox(box_, vertices[i]);
}

void CGafFile::PutRecord(const GafRecord& record, const gaf::RecordPlan& plan, bool longForm, uint32_t length) {
  PutTag(gaf::kCodeFirstObject + static_cast<uint32_t>(record.kind), longForm, length);
  RecordOut out{*this};
  gaf::EncodeRecordBody(out, record, plan);
}

}  // namespace kro
