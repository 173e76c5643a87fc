#include "SifScan.h"

#include <memory>

#include "BlockMap.h"
#include "engine/indexfile/CIndexFile.h"
#include "engine/spatialindex/SifBox.h"
#include "engine/spatialindex/SifFormat.h"

namespace gaftool {
namespace sif = kro::sif;
namespace {

class SifWalk {
 public:
  SifWalk(const ByteFile& file, const std::string& name, FindingList& findings, bool keepNodeBoxes)
      : file_(file), name_(name), findings_(findings), keepNodeBoxes_(keepNodeBoxes) {}

  SifScan Run() {
    scan_.fileSize = file_.Size();
    if (!ReadHeader()) return scan_;
    const uint32_t internal = sif::InternalBlockSize(scan_.maxEntries, scan_.coordinateBits);
    const uint32_t leaf = sif::LeafBlockSize(scan_.maxEntries, scan_.coordinateBits);
    map_ = std::make_unique<BlockMap>(file_, internal, leaf);
    scan_.nodesPerLevel.assign(scan_.height, 0);
    if (scan_.height > 0) VisitNode(scan_.root, scan_.height - 1, nullptr, sif::kRootOffset);
    if (scan_.leaves.size() != scan_.objectCount) {
      Report(sif::kObjectCountOffset, "sif.count-mismatch",
             "header counts " + std::to_string(scan_.objectCount) + " objects, the leaves hold " +
                 std::to_string(scan_.leaves.size()));
    }
    const auto freeReport = [this](uint32_t at, const std::string& text) { Report(at, "sif.free-list", text); };
    scan_.freeInternalBlocks = WalkFreeList(file_, *map_, scan_.freeInternalHead, internal, freeReport);
    scan_.freeLeafBlocks = WalkFreeList(file_, *map_, scan_.freeLeafHead, leaf, freeReport);
    return scan_;
  }

 private:
  void Report(uint64_t offset, const char* kind, const std::string& message) {
    findings_.Add(name_, offset, kind, message);
  }

  bool ReadHeader() {
    uint32_t magic = 0;
    if (!file_.Has(0, kro::kIndexHeaderSize)) {
      Report(0, "sif.header", "file of " + std::to_string(file_.Size()) + " bytes cannot hold the 512-byte header");
      return false;
    }
    file_.U32(sif::kMagicOffset, magic);
    file_.U16(sif::kVersionOffset, scan_.version);
    file_.U16(sif::kMinimumOffset, scan_.minEntries);
    file_.U16(sif::kMaximumOffset, scan_.maxEntries);
    file_.U16(sif::kHeightOffset, scan_.height);
    file_.U16(sif::kCoordinateBitsOffset, scan_.coordinateBits);
    file_.U32(sif::kRootOffset, scan_.root);
    file_.U32(sif::kFreeInternalOffset, scan_.freeInternalHead);
    file_.U32(sif::kFreeLeafOffset, scan_.freeLeafHead);
    file_.U32(sif::kObjectCountOffset, scan_.objectCount);
    char description[kro::kMaxIndexDescription + 1];
    const bool descriptionFits = kro::CIndexFile::GetString(
        file_.Data() + sif::kDescriptionOffset, kro::kIndexHeaderSize - sif::kDescriptionOffset, description);
    scan_.description = description;
    std::string problem;
    if (magic != sif::kMagic) {
      problem = "magic is not \"ASIF\"";
    } else if (scan_.version > sif::kCurrentVersion) {
      problem = "version " + std::to_string(scan_.version) + " is above 2";
    } else if (scan_.maxEntries < sif::kMinMaxEntries || scan_.maxEntries > sif::kMaxSlots || scan_.minEntries == 0 ||
               scan_.minEntries > scan_.maxEntries) {
      problem = "node capacity " + std::to_string(scan_.minEntries) + ".." + std::to_string(scan_.maxEntries) +
                " is out of range";
    } else if (!sif::IsValidCoordinateBits(scan_.coordinateBits)) {
      problem = "coordinate bits " + std::to_string(scan_.coordinateBits) + " are neither 32 nor 64";
    } else if (!descriptionFits) {
      problem = "description runs past the header";
    } else if (scan_.height > sif::kMaxHeight || (scan_.height == 0) != (scan_.root == 0)) {
      problem = "height " + std::to_string(scan_.height) + " and root " + Hex(scan_.root) + " do not fit together";
    }
    if (!problem.empty()) {
      Report(0, "sif.header", "header refused: " + problem);
      return false;
    }
    scan_.headerRead = true;
    return true;
  }

  BoundingBoxNode EntryBox(uint32_t block, uint32_t slot) const {
    const uint32_t bytes = scan_.coordinateBits / 8;
    const uint64_t at = block + sif::BoxOffset(scan_.maxEntries, bytes, slot);
    const int bits = static_cast<int>(scan_.coordinateBits);
    BoundingBoxNode box{};
    file_.Real(at, bits, box.xMin);
    file_.Real(at + bytes, bits, box.yMin);
    file_.Real(at + 2 * bytes, bits, box.xMax);
    file_.Real(at + 3 * bytes, bits, box.yMax);
    return box;
  }

  // Used slots come first; returns their count and reports a gap.
  uint32_t CountEntries(uint32_t block) {
    uint32_t count = 0;
    bool gap = false;
    for (uint32_t slot = 0; slot < scan_.maxEntries; ++slot) {
      uint32_t child = 0;
      file_.U32(block + sif::ChildFieldOffset(slot), child);
      if (child != 0 && count < slot) gap = true;
      if (child != 0 && count == slot) ++count;
    }
    if (gap) Report(block, "sif.slot-gap", "node " + Hex(block) + " has used slots after an unused one");
    return count;
  }

  void VisitNode(uint32_t block, uint32_t level, const BoundingBoxNode* expected, uint64_t from) {
    const uint32_t size = level == 0 ? sif::LeafBlockSize(scan_.maxEntries, scan_.coordinateBits)
                                     : sif::InternalBlockSize(scan_.maxEntries, scan_.coordinateBits);
    if (!map_->IsPlace(block, size)) {
      Report(from, "sif.position", "position " + Hex(block) + " (from " + Hex(from) + ") is no block place of the file");
      return;
    }
    if (!map_->Claim(block)) {
      Report(block, "sif.revisited", "node " + Hex(block) + " is reached a second time (from " + Hex(from) + ")");
      return;
    }
    ++scan_.nodesPerLevel[level];
    const uint32_t count = CountEntries(block);
    const bool root = block == scan_.root && level + 1 == scan_.height;
    const uint32_t least = root ? 1 : scan_.minEntries;
    if (count < least) {
      Report(block, "sif.entry-count", "node " + Hex(block) + " holds " + std::to_string(count) + " entries, fewer than " +
                                           std::to_string(least));
    }
    if (count == 0) return;
    scan_.entries += count;
    BoundingBoxNode unionBox = EntryBox(block, 0);
    for (uint32_t slot = 1; slot < count; ++slot) unionBox = sif::Union(unionBox, EntryBox(block, slot));
    if (expected == nullptr && keepNodeBoxes_) scan_.nodeBoxes.push_back(SifNodeBox{level, unionBox});
    if (expected != nullptr && !sif::SameBox(*expected, unionBox)) {
      Report(from, "sif.box-union", "entry box at " + Hex(from) + " is not the union of node " + Hex(block) + "'s entries");
    }
    for (uint32_t slot = 0; slot < count; ++slot) {
      uint32_t child = 0;
      file_.U32(block + sif::ChildFieldOffset(slot), child);
      const BoundingBoxNode box = EntryBox(block, slot);
      if (level == 0) {
        uint32_t type = 0;
        file_.U16(block + sif::TypeOffset(scan_.maxEntries, scan_.coordinateBits / 8, slot), type);
        scan_.leaves.push_back(SifLeafEntry{child, type, box, block});
        continue;
      }
      if (keepNodeBoxes_) scan_.nodeBoxes.push_back(SifNodeBox{level - 1, box});
      VisitNode(child, level - 1, &box, block + sif::ChildFieldOffset(slot));
    }
  }

  const ByteFile& file_;
  const std::string& name_;
  FindingList& findings_;
  const bool keepNodeBoxes_;
  SifScan scan_;
  std::unique_ptr<BlockMap> map_;
};

}  // namespace

SifScan ScanSpatialIndex(const ByteFile& file, const std::string& name, FindingList& findings, bool keepNodeBoxes) {
  return SifWalk(file, name, findings, keepNodeBoxes).Run();
}

}  // namespace gaftool
