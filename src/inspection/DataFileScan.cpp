#include "DataFileScan.h"

#include <cmath>
#include <unordered_set>

#include "engine/datafile/GafFormat.h"
#include "engine/datafile/GafGeometry.h"
#include "engine/spatialindex/SifBox.h"
#include "facade/IndexRebuild.h"

namespace kro::inspection {
namespace gaf = kro::gaf;
namespace {

constexpr uint64_t kProgressStep = 8192;

struct Chunk {
  uint64_t position = 0;
  uint32_t code = 0;
  uint32_t length = 0;
  bool longForm = false;
  bool reservedBitsSet = false;
  uint64_t payload = 0;
  uint64_t next = 0;  // where the following chunk starts
};

// Frames the chunk at `position`; false when its tag or its payload runs past
// the end of the file.
bool ReadChunk(const ByteFile& file, uint64_t position, Chunk& chunk) {
  uint32_t word = 0;
  if (!file.U16(position, word)) return false;
  chunk.position = position;
  chunk.code = (word >> gaf::kTagCodeShift) & gaf::kTagCodeMask;
  chunk.reservedBitsSet = (word & 0x0380u) != 0;
  chunk.length = word & gaf::kTagLengthMask;
  chunk.longForm = chunk.length == gaf::kLongLengthMarker;
  chunk.payload = position + gaf::kTagWordSize;
  if (chunk.longForm) {
    if (!file.U32(chunk.payload, chunk.length)) return false;
    chunk.payload += gaf::kLongLengthSize;
  }
  chunk.next = chunk.payload + gaf::RoundUpEven64(chunk.length);
  return chunk.next <= file.Size();
}

// A string in the data file's form, inside [offset, end).
bool ReadString(const ByteFile& file, uint64_t& offset, uint64_t end, std::string* text) {
  uint32_t length = 0;
  if (offset >= end || !file.U8(offset, length)) return false;
  offset += 1;
  if (length >= gaf::kLongStringMarker) {
    if (offset + 2 > end || !file.U16(offset, length)) return false;
    offset += 2;
  }
  if (offset + length > end) return false;
  if (text != nullptr) text->assign(reinterpret_cast<const char*>(file.Data() + offset), length);
  offset += length;
  return true;
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

  bool ReadInfo() {
    GafHeaderInfo& h = scan_.header;
    Chunk chunk;
    if (file_.Size() < gaf::kInfoChunkSize || !ReadChunk(file_, 0, chunk)) {
      Damage(0, "gaf.too-short", "file of " + std::to_string(file_.Size()) + " bytes cannot hold the 46-byte info chunk");
      return false;
    }
    if (chunk.code != gaf::kCodeInfo || chunk.longForm || chunk.length != gaf::kInfoPayloadSize) {
      Damage(0, "gaf.info-chunk", "the first chunk is not the 46-byte info chunk (code " + std::to_string(chunk.code) +
                                      ", length " + std::to_string(chunk.length) + ")");
      return false;
    }
    const uint64_t p = chunk.payload;
    file_.U32(p + gaf::kInfoObjectCount, h.objectCount);
    file_.U32(p + gaf::kInfoFreeListHead, h.freeListHead);
    file_.U32(p + gaf::kInfoKinds, h.kinds);
    file_.Real(p + gaf::kInfoXMin, 64, h.box.xMin);
    file_.Real(p + gaf::kInfoYMin, 64, h.box.yMin);
    file_.Real(p + gaf::kInfoXMax, 64, h.box.xMax);
    file_.Real(p + gaf::kInfoYMax, 64, h.box.yMax);
    return true;
  }

  bool ReadU16Chunk(const Chunk& chunk, uint32_t& value) {
    if (chunk.length == gaf::kU16PayloadSize && file_.U16(chunk.payload, value)) return true;
    Report(chunk.position, "gaf.header-chunk",
           "header chunk " + std::to_string(chunk.code) + " at " + Hex(chunk.position) + " has length " +
               std::to_string(chunk.length) + ", not 2");
    return false;
  }

  // Reads a metadata chunk: its strings into 256-byte fields (cut to 255
  // bytes), then its numbers; reports a chunk too short for them.
  void ReadMetadata(const Chunk& chunk, std::vector<char (*)[kro::kCoordSysTextSize]> texts, std::vector<double*> numbers,
                    int16_t* method = nullptr) {
    uint64_t offset = chunk.payload;
    const uint64_t end = chunk.payload + chunk.length;
    bool fits = true;
    std::string text;
    for (auto field : texts) {
      fits = fits && ReadString(file_, offset, end, &text);
      kro::GafCoordSys::SetText(*field, text.c_str());
    }
    for (double* number : numbers) {
      fits = fits && offset + 8 <= end && file_.Real(offset, 64, *number);
      offset += 8;
    }
    uint32_t word = 0;
    if (method != nullptr && (fits = fits && offset + 2 <= end && file_.U16(offset, word))) {
      *method = static_cast<int16_t>(word);
    }
    if (!fits) {
      Report(chunk.position, "gaf.header-chunk",
             "metadata chunk " + std::to_string(chunk.code) + " at " + Hex(chunk.position) +
                 " does not hold its strings and numbers");
    }
  }

  void ReadHeaderChunk(const Chunk& chunk) {
    GafHeaderInfo& h = scan_.header;
    switch (chunk.code) {
      case gaf::kCodeVersion:
        if (ReadU16Chunk(chunk, h.version) && h.version > gaf::kMaxReadableVersion) {
          Damage(chunk.position, "gaf.bad-version", "format version " + std::to_string(h.version) + " is above 2");
        }
        break;
      case gaf::kCodePrecision:
        if (ReadU16Chunk(chunk, h.precision) && h.precision != 32 && h.precision != 64) {
          Damage(chunk.position, "gaf.bad-precision",
                 "coordinate precision " + std::to_string(h.precision) + " is neither 32 nor 64");
          h.precision = 64;
        }
        break;
      case gaf::kCodeMetadataMarker:
        ReadU16Chunk(chunk, h.marker);
        break;
      case gaf::kCodeDescription: {
        uint64_t offset = chunk.payload;
        h.hasDescription = true;
        if (!ReadString(file_, offset, chunk.payload + chunk.length, &h.description)) {
          Report(chunk.position, "gaf.header-chunk", "description chunk at " + Hex(chunk.position) + " does not hold its string");
        }
        break;
      }
      case gaf::kCodeCoordSys: {
        h.hasMetadata = true;
        kro::GafCoordSys& c = h.coordSys;
        ReadMetadata(chunk, {&c.code, &c.description, &c.groupCode, &c.projectionCode, &c.unitCode},
                     {&c.originLongitude, &c.originLatitude, &c.xOffset, &c.yOffset, &c.scaleReduction, &c.unitScale,
                      &c.mapScale, &c.scale});
        break;
      }
      case gaf::kCodeProjection: {
        std::vector<double*> parameters;
        for (double& p : h.coordSys.projectionParameters) parameters.push_back(&p);
        ReadMetadata(chunk, {}, parameters);
        break;
      }
      case gaf::kCodeDatum: {
        kro::GafCoordSys& c = h.coordSys;
        ReadMetadata(chunk, {&c.datumCode, &c.datumDescription},
                     {&c.datumDeltaX, &c.datumDeltaY, &c.datumDeltaZ, &c.datumRotationX, &c.datumRotationY,
                      &c.datumRotationZ, &c.datumBWScaleFactor},
                     &c.datumConversionMethod);
        break;
      }
      case gaf::kCodeEllipsoid: {
        kro::GafCoordSys& c = h.coordSys;
        ReadMetadata(chunk, {&c.ellipsoidCode, &c.ellipsoidDescription},
                     {&c.ellipsoidEquatorialRadius, &c.ellipsoidPolarRadius});
        break;
      }
      default:
        break;  // unknown codes are passed over
    }
  }

  void ReadHeader() {
    uint64_t position = gaf::kInfoChunkSize;
    Chunk chunk;
    while (position < file_.Size()) {
      if (!ReadChunk(file_, position, chunk)) {
        ReportPastEnd(position);
        return;
      }
      if (chunk.code == gaf::kCodeEndOfHeader) {
        scan_.header.firstObjectPosition = static_cast<uint32_t>(chunk.next);
        return;
      }
      if (chunk.code == gaf::kCodeInfo || chunk.code == gaf::kCodeEndOfData || gaf::IsObjectCode(chunk.code) ||
          chunk.code == gaf::kCodeFree) {
        break;
      }
      ReadHeaderChunk(chunk);
      position = chunk.next;
    }
    Damage(position, "gaf.header-unterminated", "the header has no end-of-header chunk before " + Hex(position));
  }

  void TakeRecord(const Chunk& chunk) {
    DecodedRecord record;
    std::string problem;
    if (const char* kind = DecodeRecord(file_, chunk.payload, chunk.length, chunk.code, scan_.header, record, problem)) {
      Damage(chunk.position, kind, "record at " + Hex(chunk.position) + ": " + problem);
      return;
    }
    GafRecordSummary summary;
    summary.position = static_cast<uint32_t>(chunk.position);
    summary.payload = chunk.payload;
    summary.length = chunk.length;
    summary.type = chunk.code - gaf::kCodeFirstObject;
    summary.box = kro::VerticesBox(record.vertices.points.data(), record.vertices.points.size());
    summary.key = std::move(record.texts.key);
    ++scan_.kindCounts[summary.type];
    scan_.records.push_back(std::move(summary));
  }

  void WalkObjects() {
    uint64_t position = scan_.header.firstObjectPosition;
    Chunk chunk;
    while (position < file_.Size()) {
      if (!ReadChunk(file_, position, chunk)) {
        ReportPastEnd(position);
        return;
      }
      if (chunk.reservedBitsSet) {
        Damage(position, "gaf.tag-bits", "tag word at " + Hex(position) + " has its reserved bits 9..7 set");
      }
      if (chunk.code == gaf::kCodeEndOfData) {
        scan_.endOfData = true;
        if (chunk.next != file_.Size()) {
          Damage(chunk.next, "gaf.data-after-end",
                 std::to_string(file_.Size() - chunk.next) + " bytes follow the end-of-data chunk at " + Hex(position));
        }
        return;
      }
      if (gaf::IsObjectCode(chunk.code)) {
        TakeRecord(chunk);
      } else if (chunk.code == gaf::kCodeFree) {
        ++scan_.freeRecords;
        scan_.freeBytes += chunk.next - position;
        freePositions_.insert(position);
      } else {
        Damage(position, "gaf.unknown-chunk",
               "chunk code " + std::to_string(chunk.code) + " at " + Hex(position) + " does not belong in the object area");
      }
      position = chunk.next;
      if (progress_ != nullptr && ++chunks_ % kProgressStep == 0) progress_->SetPosition(100.0 * position / file_.Size());
    }
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
      if (h.precision == 32) return kro::sif::SameCoordinate(static_cast<float>(a), static_cast<float>(b));
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
      uint32_t next = 0;
      Chunk chunk;
      if (!ReadChunk(file_, link, chunk) || chunk.length < gaf::kFreeLinkSize || !file_.U32(chunk.payload, next)) {
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

// Reads a u16 or u32 count inside the record.
bool TakeCount(const ByteFile& file, uint64_t& offset, uint64_t end, int bits, uint32_t& value) {
  const uint64_t size = bits == 16 ? 2 : 4;
  if (offset + size > end) return false;
  if (bits == 16 ? !file.U16(offset, value) : !file.U32(offset, value)) return false;
  offset += size;
  return true;
}

}  // namespace

const char* DecodeRecord(const ByteFile& file, uint64_t payload, uint32_t length, uint32_t code,
                         const GafHeaderInfo& header, DecodedRecord& record, std::string& problem) {
  const uint64_t end = payload + length;
  uint64_t offset = payload;
  const bool oldLayout = header.version <= gaf::kLastOldLayoutVersion;
  record.texts.url.clear();
  std::string* texts[3] = {&record.texts.name, &record.texts.key, &record.texts.url};
  for (int i = 0; i < (oldLayout ? 2 : 3); ++i) {
    if (!ReadString(file, offset, end, texts[i])) {
      problem = "string " + std::to_string(i + 1) + " runs past the record's " + std::to_string(length) + " bytes";
      return "gaf.record-layout";
    }
  }
  offset += (offset - payload) & 1u;
  const uint32_t type = code - gaf::kCodeFirstObject;
  record.type = static_cast<EGafObjectType>(type);
  const uint64_t vertexSize = header.precision == 64 ? 16 : 8;
  const bool multiSet = type == kGafPolyPolylineObject || type == kGafPolyPolygonObject;
  record.vertices.setCounts.clear();
  uint64_t total = 1;
  if (multiSet) {
    uint32_t sets = 0;
    total = 0;
    bool fits = TakeCount(file, offset, end, 16, sets);
    for (uint32_t s = 0; fits && s < sets; ++s) {
      uint32_t count = 0;
      fits = TakeCount(file, offset, end, 32, count) && count <= end - offset;
      total += count;
      record.vertices.setCounts.push_back(static_cast<int32_t>(count));
    }
    if (!fits) {
      problem = "its set counts do not fit in its " + std::to_string(length) + " bytes";
      return "gaf.record-layout";
    }
  } else if (type != kGafPointObject) {
    uint32_t count = 0;
    if (oldLayout) {
      count = static_cast<uint32_t>(offset <= end ? (end - offset) / vertexSize : 0);
    } else if (!TakeCount(file, offset, end, 16, count)) {
      problem = "its vertex count lies past its end";
      return "gaf.record-layout";
    }
    total = count;
  }
  if (offset > end || total > (end - offset) / vertexSize) {
    problem = std::to_string(total) + " vertices do not fit in its " + std::to_string(length) + " bytes";
    return "gaf.record-layout";
  }
  const int bits = header.precision == 64 ? 64 : 32;
  record.vertices.points.resize(static_cast<size_t>(total));
  for (CKroDoublePointNode& p : record.vertices.points) {
    file.Real(offset, bits, p.x);
    file.Real(offset + vertexSize / 2, bits, p.y);
    offset += vertexSize;
  }
  if (type == kGafPolygonObject || type == kGafPolyPolygonObject) {
    const int32_t single = static_cast<int32_t>(total);
    const bool closed = multiSet ? kro::CheckRingsClosed(record.vertices.points.data(), record.vertices.setCounts.data(),
                                                         static_cast<int32_t>(record.vertices.setCounts.size())) == 0
                                 : kro::CheckRingsClosed(record.vertices.points.data(), &single, 1) == 0;
    if (!closed) {
      problem = "a polygon ring is not closed (its last vertex differs from its first)";
      return "gaf.ring-open";
    }
  }
  return nullptr;
}

GafScan ScanDataFile(const ByteFile& file, const std::string& name, FindingList& findings,
                     kro::CIndexProgress* progress) {
  return DataFileWalk(file, name, findings, progress).Run();
}

}  // namespace kro::inspection
