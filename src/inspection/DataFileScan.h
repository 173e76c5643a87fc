// The bounded walk over a ".gaf" data file held in memory: the chunk framing
// from offset 0 to the end of the file, the header chunks, every object
// record decoded and checked, and the agreement of the info chunk with the
// records. It never relies on a value it has not checked against the file:
// lengths, counts and links are bounded before they are followed, and every
// chunk moves the walk forward, so the walk ends on any input.
#ifndef KRO_INSPECTION_DATAFILESCAN_H
#define KRO_INSPECTION_DATAFILESCAN_H

#include <cstdint>
#include <string>
#include <vector>

#include "ByteFile.h"
#include "Findings.h"
#include "KroGafExportImport/KroGafExportImport.h"
#include "engine/datafile/GafCoordSys.h"
#include "engine/indexfile/CIndexProgress.h"
#include "engine/datafile/GafRecord.h"

namespace kro::inspection {

struct GafHeaderInfo {
  uint32_t objectCount = 0;
  uint32_t freeListHead = 0;
  uint32_t kinds = 0;
  BoundingBoxNode box{};
  uint32_t version = 2;
  uint32_t precision = 32;
  uint32_t marker = 0;
  uint32_t ringRoles = 0;  // of the ring-roles chunk; 0 without one
  // The chunk holds what writers write: its multi-polygon records keep their
  // ring roles in their orientation.
  bool RingRolesByOrientation() const;
  bool hasDescription = false;
  std::string description;
  bool hasMetadata = false;
  kro::GafCoordSys coordSys;  // defaults where a metadata chunk is missing
  uint32_t firstObjectPosition = 0;  // 0 when the header has no end
};

struct GafRecordSummary {
  uint32_t position = 0;
  uint64_t payload = 0;  // where the record's payload starts
  uint32_t length = 0;   // payload length (an old multi-set record: its content's)
  uint32_t type = 0;
  BoundingBoxNode box{};
  std::string key;
};

struct GafScan {
  GafHeaderInfo header;
  std::vector<GafRecordSummary> records;  // every object record that decoded
  uint32_t kindCounts[6] = {};
  uint32_t freeRecords = 0;
  uint64_t freeBytes = 0;
  bool endOfData = false;
  // Offset of the first damage of the object area (a chunk that cannot be
  // framed or decoded, or the missing end); the file size when there is none.
  uint64_t firstDamage = 0;
  uint64_t fileSize = 0;
};

// A record as the walk decodes it: texts whole.
using DecodedRecord = kro::GafRecord;

// Decodes the object record (code 32 to 37) whose payload of `length` bytes
// starts at `payload` (for an old multi-set record, whose content frames it:
// the bytes it may take). Returns null when it decoded and every ring is
// closed, else the kind of damage ("gaf.record-layout" or "gaf.ring-open")
// with `problem` telling what is wrong. Vertices that are no finite numbers
// decode: the walk reports them ("gaf.nan-vertex") and keeps the record, and
// whoever copies it drops it.
const char* DecodeRecord(const ByteFile& file, uint64_t payload, uint32_t length, uint32_t code,
                         const GafHeaderInfo& header, DecodedRecord& record, std::string& problem);

// Walks the whole file; every damage goes into `findings` under `name`.
// `progress` (optional) gets the share of the file walked, in percent.
GafScan ScanDataFile(const ByteFile& file, const std::string& name, FindingList& findings,
                     kro::CIndexProgress* progress = nullptr);

}  // namespace kro::inspection

#endif
