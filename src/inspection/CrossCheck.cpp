#include "CrossCheck.h"

#include <unordered_map>
#include <vector>

#include "engine/keyindex/KifFormat.h"
#include "engine/spatialindex/SifBox.h"
#include "engine/spatialindex/SifFormat.h"
#include "platform/MultiByte.h"

namespace kro::inspection {
namespace {

// Which object records an index reaches, and how often.
class RecordMarks {
 public:
  explicit RecordMarks(const GafScan& data) : data_(data), marks_(data.records.size(), kUnreached) {
    byPosition_.reserve(data.records.size());
    for (size_t i = 0; i < data.records.size(); ++i) byPosition_.emplace(data.records[i].position, i);
  }

  // A record the index cannot hold; it must not be reached either.
  void Exclude(size_t record) { marks_[record] = kExcluded; }

  // The record an entry points at, now marked as reached; null when no
  // record that belongs in the index starts there.
  const GafRecordSummary* Reach(uint32_t position) {
    const auto found = byPosition_.find(position);
    if (found == byPosition_.end() || marks_[found->second] == kExcluded) return nullptr;
    uint32_t& mark = marks_[found->second];
    mark = mark == kUnreached ? kOnce : kTwice;
    return &data_.records[found->second];
  }

  void ReportMisses(const std::string& name, const char* kind, const char* what, FindingList& findings) const {
    for (size_t i = 0; i < marks_.size(); ++i) {
      if (marks_[i] == kOnce || marks_[i] == kExcluded) continue;
      const uint32_t position = data_.records[i].position;
      findings.Add(name, position, kind,
                   "record at " + Hex(position) +
                       (marks_[i] == kUnreached ? " is missing from " : " is entered more than once in ") + what);
    }
  }

 private:
  static constexpr uint32_t kUnreached = 0;
  static constexpr uint32_t kOnce = 1;
  static constexpr uint32_t kTwice = 2;
  static constexpr uint32_t kExcluded = 3;

  const GafScan& data_;
  std::unordered_map<uint32_t, size_t> byPosition_;
  std::vector<uint32_t> marks_;
};

// Boxes agree exactly, or, when either side holds singles, once both are
// rounded to singles: a 32-bit data file keeps single coordinates while the
// writer indexed its doubles, and a 32-bit index keeps singles.
bool SameBoxAtPrecision(const BoundingBoxNode& a, const BoundingBoxNode& b, bool singles) {
  if (!singles) return kro::sif::SameBox(a, b);
  const auto f = [](double v) { return static_cast<double>(static_cast<float>(v)); };
  return kro::sif::SameBox(BoundingBoxNode{f(a.xMin), f(a.yMin), f(a.xMax), f(a.yMax)},
                           BoundingBoxNode{f(b.xMin), f(b.yMin), f(b.xMax), f(b.yMax)});
}

// The index's extent (the union of its root's entries) is the box of every
// object it holds, so it is the data file's info box; compared at the
// precision of the coarser side, like the entries' boxes.
void CrossCheckExtent(const GafScan& data, const SifScan& index, bool singles, const std::string& name,
                      FindingList& findings) {
  if (!index.hasExtent || data.records.empty() || SameBoxAtPrecision(index.extent, data.header.box, singles)) return;
  findings.Add(name, index.root, "sif.extent-vs-info",
               "the extent of the index's root " + Hex(index.root) + " differs from the data file's info box");
}

}  // namespace

void CrossCheckSpatialIndex(const GafScan& data, const SifScan& index, const std::string& name, FindingList& findings) {
  if (!index.headerRead) return;
  if (index.objectCount != data.records.size()) {
    findings.Add(name, kro::sif::kObjectCountOffset, "sif.count-vs-data",
                 "index counts " + std::to_string(index.objectCount) + " objects, the data file holds " +
                     std::to_string(data.records.size()));
  }
  const bool singles = data.header.precision == 32 || index.coordinateBits == 32;
  CrossCheckExtent(data, index, singles, name, findings);
  RecordMarks marks(data);
  for (const SifLeafEntry& e : index.leaves) {
    const GafRecordSummary* record = marks.Reach(e.position);
    if (record == nullptr) {
      findings.Add(name, e.block, "sif.stray-entry",
                   "leaf " + Hex(e.block) + " points at " + Hex(e.position) + ", where no object record starts");
      continue;
    }
    if (e.type != record->type) {
      findings.Add(name, e.block, "sif.entry-type",
                   "leaf " + Hex(e.block) + " gives record " + Hex(e.position) + " kind " + std::to_string(e.type) +
                       ", the record is kind " + std::to_string(record->type));
    }
    if (!SameBoxAtPrecision(e.box, record->box, singles)) {
      findings.Add(name, e.block, "sif.entry-box",
                   "leaf " + Hex(e.block) + " gives record " + Hex(e.position) + " a box other than its vertices'");
    }
  }
  marks.ReportMisses(name, "sif.unindexed", "the spatial index", findings);
}

void CrossCheckKeyIndex(const GafScan& data, const KifScan& index, const std::string& name, FindingList& findings) {
  if (!index.headerRead) return;
  RecordMarks marks(data);
  uint32_t indexable = 0;
  for (size_t i = 0; i < data.records.size(); ++i) {
    if (kro::BoundedLength(data.records[i].key.c_str(), index.keyLength + 1) > index.keyLength) {
      marks.Exclude(i);  // longer than the key field: cannot be in the index
    } else {
      ++indexable;
    }
  }
  if (index.entryCount != indexable) {
    findings.Add(name, kro::kif::kEntryCountOffset, "kif.count-vs-data",
                 "index counts " + std::to_string(index.entryCount) + " entries, the data file holds " +
                     std::to_string(indexable) + " keys of at most " + std::to_string(index.keyLength) + " bytes");
  }
  for (const KifEntry& e : index.entries) {
    const GafRecordSummary* record = marks.Reach(e.position);
    if (record == nullptr) {
      findings.Add(name, e.block, "kif.stray-entry",
                   "node " + Hex(e.block) + " points at " + Hex(e.position) +
                       ", where no object record with a storable key starts");
      continue;
    }
    if (kro::MbCompareBounded(e.key.c_str(), record->key.c_str(), index.keyLength) != 0) {
      findings.Add(name, e.block, "kif.entry-key",
                   "node " + Hex(e.block) + " files record " + Hex(e.position) + " under key \"" + e.key +
                       "\", the record's key is \"" + record->key + "\"");
    }
  }
  marks.ReportMisses(name, "kif.unindexed", "the key index", findings);
}

}  // namespace kro::inspection
