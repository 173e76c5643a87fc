// The header of a data file: walking it at open, writing it for a new file,
// and the end-of-data chunk.
#include <algorithm>

#include "engine/datafile/CGafFile.h"
#include "engine/datafile/GafFormat.h"
#include "engine/datafile/GafHeaderDecoder.h"
#include "engine/datafile/GafPayloadReader.h"

namespace kro {

// Walks the chunks from offset 0 to the end-of-header chunk. Header chunks may
// come in any order; unknown ones are skipped by their length. The walk ends
// because every chunk is at least a tag word long and must lie in the file.
EngineStatus CGafFile::ReadHeader() {
  bool first = true;
  while (status_ == kEngineOk && state_ != GafFileState::kReading) {
    const uint32_t at = filePosition_;
    ChunkTag tag;
    if (!ReadTag(tag)) break;
    if (first) {
      infoChunkFirst_ = at == 0 && tag.code == gaf::kCodeInfo && !tag.longForm;
      first = false;
    }
    // A second info chunk would override the counts that close keeps in the
    // first; which one is true cannot be told.
    if (tag.code == gaf::kCodeInfo && ++infoChunks_ > 1) {
      Fail(eGafBadFormat, at, "the header has a second info chunk");
      break;
    }
    ReadHeaderChunk(tag);
  }
  if (filePosition_ != kUnknownPosition) firstObjectPosition_ = filePosition_;
  ResetReadCursor();
  return status_;
}

void CGafFile::ReadHeaderChunk(const ChunkTag& tag) {
  const uint32_t start = filePosition_;
  if (!FitsInFile(start, tag.length)) {
    Fail(eGafBadFormat, start - tag.HeaderSize(), "a header chunk's length runs past the end of the file");
    return;
  }
  const uint32_t next = start + gaf::RoundUpEven(tag.length);
  if (tag.code == gaf::kCodeEndOfHeader) state_ = GafFileState::kReading;
  if (gaf::IsKnownHeaderCode(tag.code)) {
    if (tag.code == gaf::kCodeInfo && tag.length != gaf::kInfoPayloadSize) {
      // Reported after the version check, so a newer format says so first.
      infoLengthWrong_ = true;
    } else {
      const AheadLoad ahead = LoadAhead(start, next - start);
      if (ahead == AheadLoad::kSeekFailed || ahead == AheadLoad::kReadFailed) {
        FailAhead(ahead);
        return;
      }
      GafPayloadReader reader = PayloadReader(start, tag.length, next - start, ahead == AheadLoad::kLoaded);
      const bool decoded = DecodeHeaderChunk(tag.code, reader);
      filePosition_ = reader.Failure() == eGafReadError ? kUnknownPosition : start + reader.Loaded();
      if (ahead == AheadLoad::kLoaded) MoveTo(filePosition_);
      if (!decoded) {
        FailPayload(reader, start - tag.HeaderSize(), "a header chunk's contents run past its length");
        return;
      }
    }
  }
  SeekTo(next, eGafBadFormat);
}

bool CGafFile::DecodeHeaderChunk(uint32_t code, GafPayloadReader& reader) {
  switch (code) {
    case gaf::kCodeInfo:
      return DecodeInfo(reader);
    case gaf::kCodeVersion:
      return gaf::DecodeU16Chunk(reader, version_);
    case gaf::kCodeDescription: {
      std::string text;
      if (!gaf::DecodeDescription(reader, text)) return false;
      description_ = std::move(text);
      return true;
    }
    case gaf::kCodePrecision:
      return gaf::DecodeU16Chunk(reader, coordinateBits_);
    case gaf::kCodeCoordSys:
      hasMetadata_ = true;
      return gaf::DecodeCoordSys(reader, coordSys_);
    case gaf::kCodeProjection:
      return gaf::DecodeProjection(reader, coordSys_);
    case gaf::kCodeDatum:
      return gaf::DecodeDatum(reader, coordSys_);
    case gaf::kCodeEllipsoid:
      return gaf::DecodeEllipsoid(reader, coordSys_);
    case gaf::kCodeMetadataMarker:
      return gaf::DecodeU16Chunk(reader, markerValue_);
    case gaf::kCodeRingRoles:
      return gaf::DecodeU16Chunk(reader, ringRolesValue_);
    default:
      return true;
  }
}

bool CGafFile::DecodeInfo(GafPayloadReader& reader) {
  gaf::InfoFields info;
  if (!gaf::DecodeInfo(reader, info)) return false;
  objectCount_ = info.objectCount;
  freeListHead_ = info.freeListHead;
  box_ = GafFileBox{info.xMin, info.yMin, info.xMax, info.yMax, objectCount_ != 0};
  pointKinds_ = (info.kinds & gaf::kKindPoints) != 0 ? 1 : 0;
  lineKinds_ = (info.kinds & gaf::kKindLines) != 0 ? 1 : 0;
  areaKinds_ = (info.kinds & gaf::kKindAreas) != 0 ? 1 : 0;
  return true;
}

// At offset 0, in the short form, always 46 bytes. With no object written the
// count, kinds and box are all zero.
void CGafFile::WriteInfoChunk() {
  if (objectCount_ == 0) {
    pointKinds_ = lineKinds_ = areaKinds_ = 0;
    box_ = GafFileBox{};
  }
  PutTag(gaf::kCodeInfo, false, gaf::kInfoPayloadSize);
  PutU32(objectCount_);
  PutU32(freeListHead_);
  PutU32(KindsWord());
  PutF64(box_.xMin);
  PutF64(box_.yMin);
  PutF64(box_.xMax);
  PutF64(box_.yMax);
}

// Everything after the info chunk, in one go: written with the first record
// (or at close when there is none), after which the header can no longer
// change.
void CGafFile::WriteHeaderBody() {
  PutChunkTag(gaf::kCodeVersion, gaf::kU16PayloadSize);
  PutU16(gaf::kWrittenVersion);
  if (hasMetadata_) {
    PutChunkTag(gaf::kCodeMetadataMarker, gaf::kU16PayloadSize);
    PutU16(gaf::kMetadataMarkerValue);
  }
  if (description_) {
    const uint32_t length = static_cast<uint32_t>(description_->size());
    const uint32_t stored = gaf::StoredStringSize(length);
    PutChunkTag(gaf::kCodeDescription, stored);
    PutString(description_->c_str(), length);
    PutPad(stored);
  }
  PutChunkTag(gaf::kCodePrecision, gaf::kU16PayloadSize);
  PutU16(coordinateBits_);
  if (ringRolesValue_ == gaf::kRingRolesValue) {
    PutChunkTag(gaf::kCodeRingRoles, gaf::kU16PayloadSize);
    PutU16(gaf::kRingRolesValue);
  }
  if (hasMetadata_) WriteMetadataChunks();
  PutChunkTag(gaf::kCodeEndOfHeader, 0);
  firstObjectPosition_ = appendPosition_ = LogicalOffset();
  ResetReadCursor();
  state_ = GafFileState::kReading;
  Flush();
}

void CGafFile::WriteEndOfData() {
  Flush();
  appendPosition_ = LogicalOffset();
  PutChunkTag(gaf::kCodeEndOfData, 0);
}

}  // namespace kro
