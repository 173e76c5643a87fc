#include "SifScan.h"

#include "IndexWalk.h"
#include "engine/indexfile/CIndexFile.h"
#include "engine/spatialindex/SifBlock.h"
#include "engine/spatialindex/SifBox.h"
#include "engine/spatialindex/SifFormat.h"
#include "engine/spatialindex/SifHeaderCodec.h"
#include "engine/spatialindex/SifNode.h"

namespace kro::inspection {
namespace sif = kro::sif;
namespace {

// Why open refuses the header, with the limits it is held to.
std::string HeaderProblem(sif::HeaderFault fault, const kro::SifHeader& h, uint64_t fileSize) {
  switch (fault) {
    case sif::HeaderFault::kNone: return std::string();
    case sif::HeaderFault::kTooShort: return TooShortProblem(fileSize);
    case sif::HeaderFault::kMagic: return "magic is not \"ASIF\"";
    case sif::HeaderFault::kVersion:
      return "version " + std::to_string(h.version) + " is above " + std::to_string(sif::kCurrentVersion);
    case sif::HeaderFault::kCapacity:
      return "node capacity " + std::to_string(h.minEntries) + ".." + std::to_string(h.maxEntries) +
             " is out of range (a maximum of " + std::to_string(sif::kMinMaxEntries) + " to " +
             std::to_string(sif::kMaxSlots) + ", a minimum of 1 to the maximum)";
    case sif::HeaderFault::kCoordinateBits:
      return "coordinate bits " + std::to_string(h.coordinateBits) + " are neither 32 nor 64";
    case sif::HeaderFault::kDescription: return "description runs past the header";
    case sif::HeaderFault::kTreeShape: return TreeShapeProblem(h.height, h.rootPosition, sif::kMaxHeight);
  }
  return std::string();
}

class SifWalk : IndexWalk {
 public:
  SifWalk(const ByteFile& file, const std::string& name, FindingList& findings, bool keepNodeBoxes)
      : IndexWalk(file, name, findings, "sif"), keepNodeBoxes_(keepNodeBoxes) {}

  SifScan Run() {
    scan_.fileSize = file_.Size();
    if (!ReadHeader()) return scan_;
    MapBlocks(header_.internalBlockSize, header_.leafBlockSize);
    scan_.nodesPerLevel.assign(scan_.height, 0);
    if (scan_.height > 0) VisitNode(scan_.root, scan_.height - 1, nullptr, sif::kRootOffset);
    if (scan_.leaves.size() != scan_.objectCount) {
      Report(sif::kObjectCountOffset, "count-mismatch",
             "header counts " + std::to_string(scan_.objectCount) + " objects, the leaves hold " +
                 std::to_string(scan_.leaves.size()));
    }
    WalkFreeLists(scan_.freeInternalHead, header_.internalBlockSize, scan_.freeLeafHead, header_.leafBlockSize,
                  scan_.freeInternalBlocks, scan_.freeLeafBlocks);
    return scan_;
  }

 private:
  bool ReadHeader() {
    const sif::HeaderFault fault = sif::DecodeHeader(BytesAt(0), BytesFrom(0), header_);
    if (fault != sif::HeaderFault::kTooShort) KeepHeaderFields();
    const bool read = fault == sif::HeaderFault::kNone;
    scan_.headerRead = AcceptHeader(HeaderProblem(fault, header_, file_.Size()),
                                    read ? sif::FirstPaddingByteSet(BytesAt(0)) : kro::kIndexHeaderSize);
    return scan_.headerRead;
  }

  void KeepHeaderFields() {
    scan_.version = header_.version;
    scan_.minEntries = header_.minEntries;
    scan_.maxEntries = header_.maxEntries;
    scan_.height = header_.height;
    scan_.coordinateBits = header_.coordinateBits;
    scan_.root = header_.rootPosition;
    scan_.freeInternalHead = header_.freeInternalHead;
    scan_.freeLeafHead = header_.freeLeafHead;
    scan_.objectCount = header_.objectCount;
    scan_.description = header_.description;
  }

  void CheckBoxes(uint32_t block, const sif::BlockView& view, uint32_t count) {
    for (uint32_t slot = 0; slot < count; ++slot) {
      const sif::BoxFault fault = sif::CheckBox(view.Box(slot));
      if (fault == sif::BoxFault::kNone) continue;
      const uint64_t at = block + sif::BoxOffset(view.Slots(), view.CoordinateBytes(), slot);
      if (fault == sif::BoxFault::kNaN) {
        Report(at, "nan-box", "entry " + std::to_string(slot) + " of node " + Hex(block) +
                                  " has a NaN coordinate; no search or deletion can find it");
      } else {
        Report(at, "box-inverted", "entry " + std::to_string(slot) + " of node " + Hex(block) +
                                       " has a minimum above its maximum");
      }
    }
  }

  void VisitNode(uint32_t block, uint32_t level, const BoundingBoxNode* expected, uint64_t from) {
    if (!ClaimNode(block, header_.BlockSize(level), from)) return;
    sif::BlockView view;
    view.Bind(BytesAt(block), BytesFrom(block), header_.maxEntries, header_.coordinateBits, level == 0);
    ++scan_.nodesPerLevel[level];
    const sif::SlotSurvey survey = sif::SurveySlots(view);
    CheckSlots(block, survey.firstGap, survey.firstDirty, view.Slots());
    const uint32_t count = survey.frontEntries;
    const bool root = expected == nullptr;
    CheckLeast(block, count, sif::LeastEntries(root, header_.minEntries), root, header_.maxEntries);
    if (count == 0) return;
    scan_.entries += count;
    CheckBoxes(block, view, count);
    BoundingBoxNode unionBox = view.Box(0);
    for (uint32_t slot = 1; slot < count; ++slot) unionBox = sif::Union(unionBox, view.Box(slot));
    if (root) {
      scan_.hasExtent = true;
      scan_.extent = unionBox;
    }
    if (root && keepNodeBoxes_) scan_.nodeBoxes.push_back(SifNodeBox{level, unionBox});
    if (!root && !sif::SameBox(*expected, unionBox)) {
      Report(from, "box-union", "entry box at " + Hex(from) + " is not the union of node " + Hex(block) + "'s entries");
    }
    for (uint32_t slot = 0; slot < count; ++slot) {
      const uint32_t child = view.Child(slot);
      const BoundingBoxNode box = view.Box(slot);
      if (level == 0) {
        scan_.leaves.push_back(SifLeafEntry{child, view.Type(slot), box, block});
        continue;
      }
      if (keepNodeBoxes_) scan_.nodeBoxes.push_back(SifNodeBox{level - 1, box});
      VisitNode(child, level - 1, &box, block + sif::ChildFieldOffset(slot));
    }
  }

  const bool keepNodeBoxes_;
  kro::SifHeader header_;
  SifScan scan_;
};

}  // namespace

SifScan ScanSpatialIndex(const ByteFile& file, const std::string& name, FindingList& findings, bool keepNodeBoxes) {
  return SifWalk(file, name, findings, keepNodeBoxes).Run();
}

}  // namespace kro::inspection
