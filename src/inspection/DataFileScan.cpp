#include "DataFileScan.h"

#include <cmath>
#include <cstring>
#include <new>
#include <unordered_set>

#include "engine/datafile/GafChunkTag.h"
#include "engine/datafile/GafFormat.h"
#include "engine/datafile/GafGeometry.h"
#include "engine/datafile/GafHeaderDecoder.h"
#include "engine/datafile/GafPayloadReader.h"
#include "engine/datafile/GafRecordCodec.h"
#include "engine/datafile/GafRecordDecoder.h"
#include "engine/spatialindex/SifBox.h"
#include "fileset/IndexRebuild.h"

namespace kro::inspection {
namespace gaf = kro::gaf;
namespace {

constexpr uint64_t kProgressStep = 8192;
constexpr const char* kLayoutKind = "gaf.record-layout";
constexpr const char* kNonFiniteKind = "gaf.nan-vertex";

struct Chunk {
  uint64_t position = 0;
  gaf::ChunkTag tag;
  uint64_t payload = 0;
  uint64_t next = 0;  // where the following chunk starts, by the length field
};

// Frames the tag at `position`; false when the tag itself runs past the end
// of the file. The payload may still do so: see InFile.
bool FrameChunk(const ByteFile& file, uint64_t position, Chunk& chunk) {
  uint32_t needed = 0;
  if (!file.Has(position, 0) || !gaf::DecodeChunkTag(file.Data() + position, file.Size() - position, chunk.tag, needed)) {
    return false;
  }
  chunk.position = position;
  chunk.payload = position + chunk.tag.HeaderSize();
  chunk.next = chunk.payload + gaf::RoundUpEven64(chunk.tag.length);
  return true;
}

bool InFile(const ByteFile& file, const Chunk& chunk) { return chunk.next <= file.Size(); }

gaf::RecordLayout LayoutOf(const GafHeaderInfo& header) { return gaf::LayoutFor(header.version, header.precision); }

bool IsOldMultiSet(const GafHeaderInfo& header, uint32_t code) {
  const gaf::RecordShape shape = gaf::ShapeOf(code - gaf::kCodeFirstObject);
  return LayoutOf(header).oldLayout && shape == gaf::RecordShape::kMultiSet;
}

const char* FaultText(gaf::PayloadFault fault) {
  switch (fault) {
    case gaf::PayloadFault::kStringPastEnd: return "a string runs past the payload";
    case gaf::PayloadFault::kPadPastEnd: return "the string block's pad byte lies past the payload";
    case gaf::PayloadFault::kCountPastEnd: return "its count lies past the payload";
    case gaf::PayloadFault::kSetCountsPastEnd: return "its set counts run past the payload";
    case gaf::PayloadFault::kVerticesPastEnd: return "its counts ask for more vertices than the payload holds";
    case gaf::PayloadFault::kNoMemory: return "it is too large to hold in memory";
    default: return "it cannot be read";
  }
}

bool AllFinite(const std::vector<CKroDoublePointNode>& points, size_t& bad) {
  for (bad = 0; bad < points.size(); ++bad) {
    if (!std::isfinite(points[bad].x) || !std::isfinite(points[bad].y)) return false;
  }
  return true;
}

// Decodes the payload and checks what the writers never write: a vertex that
// is not finite, an open ring. Returns null or the damage's kind.
const char* DecodeAndCheck(const ByteFile& file, uint64_t payload, uint32_t length, uint32_t code,
                           const GafHeaderInfo& header, DecodedRecord& record, gaf::RecordFields& fields,
                           std::string& problem) {
  record.Clear(static_cast<EGafObjectType>(code - gaf::kCodeFirstObject));
  if (!file.Has(payload, length)) {
    problem = "its " + std::to_string(length) + " bytes run past the end of the file";
    return kLayoutKind;
  }
  kro::GafPayloadReader reader(file.Data() + payload, length);
  const gaf::PayloadFault fault =
      gaf::DecodeRecordBody(reader, LayoutOf(header), record, fields, gaf::kMaxStringBytes);
  if (fault != gaf::PayloadFault::kNone) {
    problem = std::string(FaultText(fault)) + " (" + std::to_string(length) + " bytes; decoding stopped at byte " +
              std::to_string(fields.consumed) + ")";
    return kLayoutKind;
  }
  size_t bad = 0;
  if (!AllFinite(record.vertices, bad)) {
    problem = "vertex " + std::to_string(bad) + " is not a finite number, which no writer stores";
    return kNonFiniteKind;
  }
  if (gaf::CheckRecordRings(record) != kro::kEngineOk) {
    problem = "a polygon ring is not closed (its last vertex differs from its first, or it has none)";
    return "gaf.ring-open";
  }
  return nullptr;
}

std::string ChunkName(const Chunk& chunk) {
  return "chunk " + std::to_string(chunk.tag.code) + " at " + Hex(chunk.position);
}

class DataFileWalk {
 public:
  DataFileWalk(const ByteFile& file, const std::string& name, FindingList& findings, kro::CIndexProgress* progress)
      : file_(file), name_(name), findings_(findings), progress_(progress) {}

  GafScan Run() {
    scan_.fileSize = file_.Size();
    scan_.firstDamage = file_.Size();
    if (!ReadInfo()) return scan_;
    ReadHeader();
    if (scan_.header.firstObjectPosition != 0) {
      WalkObjects();
      CheckInfoAgainstRecords();
      CheckFreeList();
    }
    return scan_;
  }

 private:
  void Report(uint64_t offset, const char* kind, const std::string& message) {
    findings_.Add(name_, offset, kind, message);
  }
  void Damage(uint64_t offset, const char* kind, const std::string& message) {
    Report(offset, kind, message);
    if (offset < scan_.firstDamage) scan_.firstDamage = offset;
  }
  void ReportPastEnd(uint64_t offset) {
    Damage(offset, "gaf.chunk-past-end",
           "chunk at " + Hex(offset) + " runs past the end of the file (" + std::to_string(file_.Size()) + " bytes)");
  }

  // The reserved tag bits and the pad byte after an odd payload: zero in
  // every chunk a writer frames.
  void CheckFraming(const Chunk& chunk) {
    CheckTagBits(chunk);
    CheckPad(chunk);
  }
  void CheckTagBits(const Chunk& chunk) {
    if (chunk.tag.reservedBitsSet) {
      Damage(chunk.position, "gaf.tag-bits", "tag word at " + Hex(chunk.position) + " has its reserved bits 9..7 set");
    }
  }
  void CheckPad(const Chunk& chunk) {
    const uint64_t pad = chunk.payload + chunk.tag.length;
    if ((chunk.tag.length & 1u) != 0 && pad < file_.Size() && file_.Data()[pad] != 0) {
      Report(pad, "gaf.pad-byte", "the pad byte after the odd payload of " + ChunkName(chunk) + " is not zero");
    }
  }

  bool ReadInfo() {
    Chunk chunk;
    if (file_.Size() < gaf::kInfoChunkSize || !FrameChunk(file_, 0, chunk)) {
      Damage(0, "gaf.too-short",
             "file of " + std::to_string(file_.Size()) + " bytes cannot hold the " +
                 std::to_string(gaf::kInfoChunkSize) + "-byte info chunk");
      return false;
    }
    if (chunk.tag.code != gaf::kCodeInfo || chunk.tag.longForm || chunk.tag.length != gaf::kInfoPayloadSize) {
      Damage(0, "gaf.info-chunk",
             "the first chunk is not the " + std::to_string(gaf::kInfoChunkSize) + "-byte info chunk (code " +
                 std::to_string(chunk.tag.code) + ", length " + std::to_string(chunk.tag.length) + ")");
      return false;
    }
    CheckFraming(chunk);
    kro::GafPayloadReader reader(file_.Data() + chunk.payload, chunk.tag.length);
    gaf::InfoFields info;
    gaf::DecodeInfo(reader, info);
    GafHeaderInfo& h = scan_.header;
    h.objectCount = info.objectCount;
    h.freeListHead = info.freeListHead;
    h.kinds = info.kinds;
    h.box = BoundingBoxNode{info.xMin, info.yMin, info.xMax, info.yMax};
    CheckInfoBox();
    return true;
  }

  // With objects the box is the union of real vertices; without, the kinds
  // and the box are all zero.
  void CheckInfoBox() {
    const GafHeaderInfo& h = scan_.header;
    const BoundingBoxNode& b = h.box;
    const uint64_t at = gaf::kTagWordSize + gaf::kInfoXMin;
    if (h.objectCount == 0) {
      if (h.kinds != 0 || b.xMin != 0 || b.yMin != 0 || b.xMax != 0 || b.yMax != 0) {
        Report(gaf::kTagWordSize + gaf::kInfoKinds, "gaf.info-empty",
               "info chunk counts no object, yet its kinds word or box is not zero");
      }
      return;
    }
    if (!std::isfinite(b.xMin) || !std::isfinite(b.yMin) || !std::isfinite(b.xMax) || !std::isfinite(b.yMax)) {
      Report(at, "gaf.box-nan", "info chunk box has a coordinate that is not a finite number");
    } else if (b.xMin > b.xMax || b.yMin > b.yMax) {
      Report(at, "gaf.box-inverted", "info chunk box has its minimum above its maximum");
    }
  }

  // Decodes a known header chunk with the engine's decoder; reports one that
  // does not hold its content, or holds more than its content.
  bool DecodeHeaderChunk(const Chunk& chunk) {
    GafHeaderInfo& h = scan_.header;
    kro::GafPayloadReader reader(file_.Data() + chunk.payload, chunk.tag.length);
    bool decoded = true;
    switch (chunk.tag.code) {
      case gaf::kCodeVersion: decoded = gaf::DecodeU16Chunk(reader, h.version); break;
      case gaf::kCodePrecision: decoded = gaf::DecodeU16Chunk(reader, h.precision); break;
      case gaf::kCodeMetadataMarker: decoded = gaf::DecodeU16Chunk(reader, h.marker); break;
      case gaf::kCodeRingRoles: decoded = gaf::DecodeU16Chunk(reader, h.ringRoles); break;
      case gaf::kCodeDescription:
        h.hasDescription = true;
        decoded = gaf::DecodeDescription(reader, h.description);
        break;
      case gaf::kCodeCoordSys:
        h.hasMetadata = true;
        decoded = gaf::DecodeCoordSys(reader, h.coordSys);
        break;
      case gaf::kCodeProjection: decoded = gaf::DecodeProjection(reader, h.coordSys); break;
      case gaf::kCodeDatum: decoded = gaf::DecodeDatum(reader, h.coordSys); break;
      case gaf::kCodeEllipsoid: decoded = gaf::DecodeEllipsoid(reader, h.coordSys); break;
      default: return false;  // passed over by its length
    }
    if (!decoded) {
      Report(chunk.position, "gaf.header-chunk",
             "header " + ChunkName(chunk) + " does not hold its content in its " + std::to_string(chunk.tag.length) +
                 " bytes");
    } else if (reader.Unconsumed() != 0) {
      Report(chunk.position, "gaf.header-length",
             "header " + ChunkName(chunk) + " has length " + std::to_string(chunk.tag.length) + ", its content takes " +
                 std::to_string(reader.Consumed()));
    }
    return decoded;
  }

  void CheckHeaderValue(const Chunk& chunk) {
    GafHeaderInfo& h = scan_.header;
    switch (chunk.tag.code) {
      case gaf::kCodeVersion:
        if (h.version > gaf::kMaxReadableVersion) {
          Damage(chunk.position, "gaf.bad-version",
                 "format version " + std::to_string(h.version) + " is above " +
                     std::to_string(gaf::kMaxReadableVersion));
        }
        break;
      case gaf::kCodePrecision:
        if (!gaf::IsValidPrecision(h.precision)) {
          Damage(chunk.position, "gaf.bad-precision",
                 "coordinate precision " + std::to_string(h.precision) + " is neither " +
                     std::to_string(gaf::kSingleCoordinateBits) + " nor " + std::to_string(gaf::kDoubleCoordinateBits));
          h.precision = gaf::kDoubleCoordinateBits;
        }
        break;
      case gaf::kCodeMetadataMarker:
        if (h.marker != gaf::kMetadataMarkerValue) {
          Report(chunk.position, "gaf.marker-value",
                 "metadata marker is " + std::to_string(h.marker) + ", writers write " +
                     std::to_string(gaf::kMetadataMarkerValue));
        }
        break;
      case gaf::kCodeRingRoles:
        if (h.ringRoles != gaf::kRingRolesValue) {
          Report(chunk.position, "gaf.ring-roles-value",
                 "ring-roles chunk holds " + std::to_string(h.ringRoles) + ", writers write " +
                     std::to_string(gaf::kRingRolesValue) + "; readers organise its rings by containment");
        }
        break;
      default:
        break;
    }
  }

  void ReadHeader() {
    uint64_t position = gaf::kInfoChunkSize;
    Chunk chunk;
    while (position < file_.Size()) {
      if (!FrameChunk(file_, position, chunk) || !InFile(file_, chunk)) {
        ReportPastEnd(position);
        return;
      }
      CheckFraming(chunk);
      const uint32_t code = chunk.tag.code;
      if (code == gaf::kCodeEndOfHeader) {
        scan_.header.firstObjectPosition = static_cast<uint32_t>(chunk.next);
        return;
      }
      if (code == gaf::kCodeEndOfData || gaf::IsObjectCode(code) || code == gaf::kCodeFree) break;
      if (code == gaf::kCodeInfo) {
        Damage(position, "gaf.info-repeated",
               "a second info chunk at " + Hex(position) + ": which object count is true cannot be told");
      } else if (DecodeHeaderChunk(chunk)) {
        CheckHeaderValue(chunk);
      }
      position = chunk.next;
    }
    Damage(position, "gaf.header-unterminated", "the header has no end-of-header chunk before " + Hex(position));
  }

  void Keep(const Chunk& chunk, uint32_t length, DecodedRecord& record) {
    GafRecordSummary summary;
    summary.position = static_cast<uint32_t>(chunk.position);
    summary.payload = chunk.payload;
    summary.length = length;
    summary.type = chunk.tag.code - gaf::kCodeFirstObject;
    summary.box = kro::VerticesBox(record.vertices.data(), record.vertices.size());
    summary.key = record.key;
    ++scan_.kindCounts[summary.type];
    scan_.records.push_back(std::move(summary));
  }

  // Decodes the record at `chunk` and keeps it unless it is damaged. An old
  // multi-set record may take the rest of the file; its content says where
  // it ends. Returns where the next chunk starts, 0 when that cannot be told.
  uint64_t TakeRecord(const Chunk& chunk) {
    const bool oldMultiSet = IsOldMultiSet(scan_.header, chunk.tag.code);
    const uint32_t limit = oldMultiSet ? static_cast<uint32_t>(file_.Size() - chunk.payload) : chunk.tag.length;
    DecodedRecord record;
    gaf::RecordFields fields;
    std::string problem;
    const char* kind =
        DecodeAndCheck(file_, chunk.payload, limit, chunk.tag.code, scan_.header, record, fields, problem);
    // A record with coordinates no writer stores is whole otherwise: it is
    // reported and kept, so that the tools that copy records can drop it and
    // count it, and the records after it are not lost with it.
    const bool nonFinite = kind != nullptr && std::strcmp(kind, kNonFiniteKind) == 0;
    if (nonFinite) {
      Report(chunk.position, kind, "record at " + Hex(chunk.position) + ": " + problem);
    } else if (kind != nullptr) {
      Damage(chunk.position, kind, "record at " + Hex(chunk.position) + ": " + problem);
    }
    // Only a record whose layout decoded tells where its content ends.
    const bool laidOut = kind == nullptr || std::strcmp(kind, kLayoutKind) != 0;
    if (laidOut && !oldMultiSet) CheckRecordContent(chunk, fields);
    if (kind == nullptr || nonFinite) Keep(chunk, oldMultiSet ? fields.consumed : chunk.tag.length, record);
    if (!oldMultiSet) return chunk.next;
    return laidOut ? chunk.payload + fields.consumed : 0;
  }

  void CheckRecordContent(const Chunk& chunk, const gaf::RecordFields& fields) {
    if (fields.hasPad && fields.padValue != 0) {
      Report(chunk.payload + fields.padAt, "gaf.pad-byte",
             "the string block's pad byte of the record at " + Hex(chunk.position) + " is not zero");
    }
    const gaf::RecordShape shape = gaf::ShapeOf(chunk.tag.code - gaf::kCodeFirstObject);
    if (!gaf::LengthAgreesWithContent(shape, LayoutOf(scan_.header), chunk.tag.length, fields.consumed)) {
      Report(chunk.position, "gaf.record-length",
             "record at " + Hex(chunk.position) + " has length " + std::to_string(chunk.tag.length) +
                 ", its content takes " + std::to_string(fields.consumed) + " bytes");
    }
  }

  void TakeFreeRecord(const Chunk& chunk) {
    ++scan_.freeRecords;
    scan_.freeBytes += chunk.next - chunk.position;
    freePositions_.insert(chunk.position);
    uint32_t link = 0;
    if (!gaf::DecodeFreeLink(file_.Data() + chunk.payload, chunk.tag.length, link)) {
      Report(chunk.position, "gaf.free-record",
             "free record at " + Hex(chunk.position) + " is shorter than its " + std::to_string(gaf::kFreeLinkSize) +
                 "-byte link");
    }
  }

  void TakeEndOfData(const Chunk& chunk) {
    scan_.endOfData = true;
    if (chunk.tag.length != 0 || chunk.tag.longForm) {
      Damage(chunk.position, "gaf.end-of-data-length",
             "the end-of-data chunk at " + Hex(chunk.position) + " is not the bare tag word writers write");
    }
    if (chunk.next < file_.Size()) {
      Damage(chunk.next, "gaf.data-after-end",
             std::to_string(file_.Size() - chunk.next) + " bytes follow the end-of-data chunk at " + Hex(chunk.position));
    }
  }

  void WalkObjects() {
    uint64_t position = scan_.header.firstObjectPosition;
    Chunk chunk;
    while (position < file_.Size()) {
      if (!FrameChunk(file_, position, chunk)) {
        ReportPastEnd(position);
        return;
      }
      const uint32_t code = chunk.tag.code;
      const bool framedByContent = gaf::IsObjectCode(code) && IsOldMultiSet(scan_.header, code);
      if (!framedByContent && !InFile(file_, chunk)) {
        ReportPastEnd(position);
        return;
      }
      CheckTagBits(chunk);
      if (!framedByContent) CheckPad(chunk);
      if (code == gaf::kCodeEndOfData) {
        TakeEndOfData(chunk);
        return;
      }
      uint64_t next = chunk.next;
      if (gaf::IsObjectCode(code)) {
        next = TakeRecord(chunk);
        if (next == 0) return;  // an old multi-set record that does not decode cannot be passed
      } else if (code == gaf::kCodeFree) {
        TakeFreeRecord(chunk);
      } else {
        Damage(position, "gaf.unknown-chunk",
               "chunk code " + std::to_string(code) + " at " + Hex(position) + " does not belong in the object area");
      }
      position = next;
      if (progress_ != nullptr && ++chunks_ % kProgressStep == 0) progress_->SetPosition(100.0 * position / file_.Size());
    }
    // A file of version 0 or 1 is read without its end-of-data chunk.
    if (position == file_.Size() && LayoutOf(scan_.header).oldLayout) return;
    Damage(file_.Size(), "gaf.no-end-of-data", "the file ends at " + Hex(file_.Size()) + " without its end-of-data chunk");
  }

  void CheckInfoAgainstRecords() {
    const GafHeaderInfo& h = scan_.header;
    const uint32_t found = static_cast<uint32_t>(scan_.records.size());
    if (h.objectCount != found) {
      Report(gaf::kTagWordSize + gaf::kInfoObjectCount, "gaf.count-mismatch",
             "info chunk says " + std::to_string(h.objectCount) + " objects, the file holds " + std::to_string(found));
    }
    uint32_t kinds = 0;
    for (uint32_t type = 0; type < 6; ++type) kinds |= scan_.kindCounts[type] != 0 ? gaf::KindBit(type) : 0;
    if (h.objectCount != 0 && h.kinds != kinds) {
      Report(gaf::kTagWordSize + gaf::kInfoKinds, "gaf.kinds-mismatch",
             "info chunk kinds word is " + std::to_string(h.kinds) + ", the records make it " + std::to_string(kinds));
    }
    if (found == 0 || h.objectCount != found) return;
    BoundingBoxNode box = scan_.records.front().box;
    for (const GafRecordSummary& r : scan_.records) box = kro::sif::Union(box, r.box);
    // A 32-bit file stores the writer's doubles in the info chunk but singles
    // in the records, so the two agree only once rounded.
    const auto same = [&](double a, double b) {
      if (h.precision == gaf::kSingleCoordinateBits) {
        return kro::sif::SameCoordinate(static_cast<float>(a), static_cast<float>(b));
      }
      return kro::sif::SameCoordinate(a, b);
    };
    if (!same(h.box.xMin, box.xMin) || !same(h.box.yMin, box.yMin) || !same(h.box.xMax, box.xMax) ||
        !same(h.box.yMax, box.yMax)) {
      Report(gaf::kTagWordSize + gaf::kInfoXMin, "gaf.box-mismatch", "info chunk box differs from the union of the records' vertices");
    }
  }

  void CheckFreeList() {
    uint32_t link = scan_.header.freeListHead;
    std::unordered_set<uint64_t> seen;
    while (link != 0) {
      if (freePositions_.count(link) == 0 || !seen.insert(link).second) {
        Report(link, "gaf.free-list",
               "free list leads to " + Hex(link) + (seen.count(link) ? ", which it reached before" : ", which is no free record"));
        return;
      }
      Chunk chunk;
      uint32_t next = 0;
      if (!FrameChunk(file_, link, chunk) || !InFile(file_, chunk) ||
          !gaf::DecodeFreeLink(file_.Data() + chunk.payload, chunk.tag.length, next)) {
        Report(link, "gaf.free-list", "free record at " + Hex(link) + " is too short for its link");
        return;
      }
      link = next;
    }
  }

  const ByteFile& file_;
  const std::string& name_;
  FindingList& findings_;
  kro::CIndexProgress* progress_;
  GafScan scan_;
  std::unordered_set<uint64_t> freePositions_;
  uint64_t chunks_ = 0;
};

}  // namespace

bool GafHeaderInfo::RingRolesByOrientation() const { return ringRoles == gaf::kRingRolesValue; }

const char* DecodeRecord(const ByteFile& file, uint64_t payload, uint32_t length, uint32_t code,
                         const GafHeaderInfo& header, DecodedRecord& record, std::string& problem) {
  gaf::RecordFields fields;
  const char* kind = DecodeAndCheck(file, payload, length, code, header, record, fields, problem);
  // Coordinates that are no finite numbers still decode; whoever copies or
  // draws the record judges them.
  return kind != nullptr && std::strcmp(kind, kNonFiniteKind) == 0 ? nullptr : kind;
}

GafScan ScanDataFile(const ByteFile& file, const std::string& name, FindingList& findings,
                     kro::CIndexProgress* progress) {
  return DataFileWalk(file, name, findings, progress).Run();
}

}  // namespace kro::inspection
