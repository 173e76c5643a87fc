#include "CrossCheck.h"

#include <unordered_map>
#include <vector>

#include "engine/spatialindex/SifBox.h"
#include "platform/MultiByte.h"

namespace gaftool {
namespace {

// Record position -> index into the data file's records.
std::unordered_map<uint32_t, size_t> RecordsByPosition(const GafScan& data) {
  std::unordered_map<uint32_t, size_t> byPosition;
  byPosition.reserve(data.records.size());
  for (size_t i = 0; i < data.records.size(); ++i) byPosition.emplace(data.records[i].position, i);
  return byPosition;
}

// Boxes agree exactly, or, when either side holds singles, once both are
// rounded to singles: a 32-bit data file keeps single coordinates while the
// writer indexed its doubles, and a 32-bit index keeps singles.
bool SameBoxAtPrecision(const BoundingBoxNode& a, const BoundingBoxNode& b, bool singles) {
  if (!singles) return kro::sif::SameBox(a, b);
  const auto f = [](double v) { return static_cast<double>(static_cast<float>(v)); };
  return kro::sif::SameBox(BoundingBoxNode{f(a.xMin), f(a.yMin), f(a.xMax), f(a.yMax)},
                           BoundingBoxNode{f(b.xMin), f(b.yMin), f(b.xMax), f(b.yMax)});
}

void ReportUnindexed(const GafScan& data, const std::vector<uint32_t>& seen, const std::string& name,
                     const char* kind, const char* what, FindingList& findings) {
  for (size_t i = 0; i < data.records.size(); ++i) {
    if (seen[i] == 1 || seen[i] == 2) continue;
    findings.Add(name, data.records[i].position, kind,
                 "record at " + Hex(data.records[i].position) + (seen[i] == 0 ? " is missing from " : " is entered more than once in ") +
                     what);
  }
}

}  // namespace

void CrossCheckSpatialIndex(const GafScan& data, const SifScan& index, const std::string& name, FindingList& findings) {
  if (!index.headerRead) return;
  if (index.objectCount != data.records.size()) {
    findings.Add(name, 28, "sif.count-vs-data",
                 "index counts " + std::to_string(index.objectCount) + " objects, the data file holds " +
                     std::to_string(data.records.size()));
  }
  const auto byPosition = RecordsByPosition(data);
  // 0 not indexed, 1 indexed once, 3 more than once (2 is left for the key
  // index's "too long to index").
  std::vector<uint32_t> seen(data.records.size(), 0);
  const bool singles = data.header.precision == 32 || index.coordinateBits == 32;
  for (const SifLeafEntry& e : index.leaves) {
    const auto found = byPosition.find(e.position);
    if (found == byPosition.end()) {
      findings.Add(name, e.block, "sif.stray-entry",
                   "leaf " + Hex(e.block) + " points at " + Hex(e.position) + ", where no object record starts");
      continue;
    }
    const GafRecordSummary& record = data.records[found->second];
    uint32_t& mark = seen[found->second];
    mark = mark == 0 ? 1 : 3;
    if (e.type != record.type) {
      findings.Add(name, e.block, "sif.entry-type",
                   "leaf " + Hex(e.block) + " gives record " + Hex(e.position) + " kind " + std::to_string(e.type) +
                       ", the record is kind " + std::to_string(record.type));
    }
    if (!SameBoxAtPrecision(e.box, record.box, singles)) {
      findings.Add(name, e.block, "sif.entry-box",
                   "leaf " + Hex(e.block) + " gives record " + Hex(e.position) + " a box other than its vertices'");
    }
  }
  ReportUnindexed(data, seen, name, "sif.unindexed", "the spatial index", findings);
}

void CrossCheckKeyIndex(const GafScan& data, const KifScan& index, const std::string& name, FindingList& findings) {
  if (!index.headerRead) return;
  const auto byPosition = RecordsByPosition(data);
  std::vector<uint32_t> seen(data.records.size(), 0);
  uint32_t indexable = 0;
  for (size_t i = 0; i < data.records.size(); ++i) {
    if (kro::BoundedLength(data.records[i].key.c_str(), index.keyLength + 1) > index.keyLength) {
      seen[i] = 2;  // longer than the key field: cannot be in the index
    } else {
      ++indexable;
    }
  }
  if (index.entryCount != indexable) {
    findings.Add(name, 24, "kif.count-vs-data",
                 "index counts " + std::to_string(index.entryCount) + " entries, the data file holds " +
                     std::to_string(indexable) + " keys of at most " + std::to_string(index.keyLength) + " bytes");
  }
  for (const KifEntry& e : index.entries) {
    const auto found = byPosition.find(e.position);
    if (found == byPosition.end() || seen[found->second] == 2) {
      findings.Add(name, e.block, "kif.stray-entry",
                   "node " + Hex(e.block) + " points at " + Hex(e.position) + ", where no object record with a storable key starts");
      continue;
    }
    const GafRecordSummary& record = data.records[found->second];
    uint32_t& mark = seen[found->second];
    mark = mark == 0 ? 1 : 3;
    if (kro::MbCompareBounded(e.key.c_str(), record.key.c_str(), index.keyLength) != 0) {
      findings.Add(name, e.block, "kif.entry-key",
                   "node " + Hex(e.block) + " files record " + Hex(e.position) + " under key \"" + e.key +
                       "\", the record's key is \"" + record.key + "\"");
    }
  }
  ReportUnindexed(data, seen, name, "kif.unindexed", "the key index", findings);
}

}  // namespace gaftool
