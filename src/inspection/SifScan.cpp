#include "SifScan.h"

#include "IndexWalk.h"
#include "engine/indexfile/CIndexFile.h"
#include "engine/spatialindex/SifBox.h"
#include "engine/spatialindex/SifFormat.h"

namespace kro::inspection {
namespace sif = kro::sif;
namespace {

class SifWalk : IndexWalk {
 public:
  SifWalk(const ByteFile& file, const std::string& name, FindingList& findings, bool keepNodeBoxes)
      : IndexWalk(file, name, findings, "sif"), keepNodeBoxes_(keepNodeBoxes) {}

  SifScan Run() {
    scan_.fileSize = file_.Size();
    if (!ReadHeader()) return scan_;
    const uint32_t internal = sif::InternalBlockSize(scan_.maxEntries, scan_.coordinateBits);
    const uint32_t leaf = sif::LeafBlockSize(scan_.maxEntries, scan_.coordinateBits);
    MapBlocks(internal, leaf);
    scan_.nodesPerLevel.assign(scan_.height, 0);
    if (scan_.height > 0) VisitNode(scan_.root, scan_.height - 1, nullptr, sif::kRootOffset);
    if (scan_.leaves.size() != scan_.objectCount) {
      Report(sif::kObjectCountOffset, "count-mismatch",
             "header counts " + std::to_string(scan_.objectCount) + " objects, the leaves hold " +
                 std::to_string(scan_.leaves.size()));
    }
    WalkFreeLists(scan_.freeInternalHead, internal, scan_.freeLeafHead, leaf, scan_.freeInternalBlocks,
                  scan_.freeLeafBlocks);
    return scan_;
  }

 private:
  bool ReadHeader() {
    uint32_t magic = 0;
    if (!HeaderFits()) return false;
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
    const bool descriptionFits = ReadDescription(sif::kDescriptionOffset, scan_.description);
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
    } else {
      problem = TreeShapeProblem(scan_.height, scan_.root, sif::kMaxHeight);
    }
    if (!problem.empty()) {
      Report(0, "header", "header refused: " + problem);
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

  uint32_t ChildField(uint32_t block, uint32_t slot) const {
    uint32_t child = 0;
    file_.U32(block + sif::ChildFieldOffset(slot), child);
    return child;
  }

  void VisitNode(uint32_t block, uint32_t level, const BoundingBoxNode* expected, uint64_t from) {
    const uint32_t size = level == 0 ? sif::LeafBlockSize(scan_.maxEntries, scan_.coordinateBits)
                                     : sif::InternalBlockSize(scan_.maxEntries, scan_.coordinateBits);
    if (!ClaimNode(block, size, from)) return;
    ++scan_.nodesPerLevel[level];
    const uint32_t count =
        CountUsed(block, scan_.maxEntries, [&](uint32_t slot) { return ChildField(block, slot); });
    const bool root = block == scan_.root && level + 1 == scan_.height;
    CheckLeast(block, count, root ? 1 : scan_.minEntries);
    if (count == 0) return;
    scan_.entries += count;
    BoundingBoxNode unionBox = EntryBox(block, 0);
    for (uint32_t slot = 1; slot < count; ++slot) unionBox = sif::Union(unionBox, EntryBox(block, slot));
    if (expected == nullptr && keepNodeBoxes_) scan_.nodeBoxes.push_back(SifNodeBox{level, unionBox});
    if (expected != nullptr && !sif::SameBox(*expected, unionBox)) {
      Report(from, "box-union", "entry box at " + Hex(from) + " is not the union of node " + Hex(block) + "'s entries");
    }
    for (uint32_t slot = 0; slot < count; ++slot) {
      const uint32_t child = ChildField(block, slot);
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

  const bool keepNodeBoxes_;
  SifScan scan_;
};

}  // namespace

SifScan ScanSpatialIndex(const ByteFile& file, const std::string& name, FindingList& findings, bool keepNodeBoxes) {
  return SifWalk(file, name, findings, keepNodeBoxes).Run();
}

}  // namespace kro::inspection
