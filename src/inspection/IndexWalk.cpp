#include "IndexWalk.h"

#include "engine/indexfile/CIndexFile.h"

namespace kro::inspection {

void IndexWalk::Report(uint64_t offset, const char* kind, const std::string& message) {
  findings_.Add(name_, offset, std::string(prefix_) + "." + kind, message);
}

bool IndexWalk::AcceptHeader(const std::string& problem, size_t firstSet) {
  if (!problem.empty()) {
    Report(0, "header", "header refused: " + problem);
    return false;
  }
  if (firstSet < kro::kIndexHeaderSize) {
    Report(firstSet, "header-padding",
           "header byte " + Hex(firstSet) + " after the description is not zero (the header is zero-padded to " +
               std::to_string(kro::kIndexHeaderSize) + " bytes)");
  }
  return true;
}

std::string TooShortProblem(uint64_t fileSize) {
  return "file of " + std::to_string(fileSize) + " bytes cannot hold the " + std::to_string(kro::kIndexHeaderSize) +
         "-byte header";
}

std::string TreeShapeProblem(uint32_t height, uint32_t root, uint32_t maxHeight) {
  return "height " + std::to_string(height) + " and root " + Hex(root) + " do not fit together (at most " +
         std::to_string(maxHeight) + " levels, a root exactly when there is a level)";
}

void IndexWalk::MapBlocks(uint32_t internalBlockSize, uint32_t leafBlockSize) {
  map_ = std::make_unique<BlockMap>(file_, internalBlockSize, leafBlockSize);
}

bool IndexWalk::ClaimNode(uint32_t block, uint32_t blockSize, uint64_t from) {
  if (!map_->IsPlace(block, blockSize)) {
    Report(from, "position", "position " + Hex(block) + " (from " + Hex(from) + ") is no block place of the file");
    return false;
  }
  if (!map_->Claim(block)) {
    Report(block, "revisited", "node " + Hex(block) + " is reached a second time (from " + Hex(from) + ")");
    return false;
  }
  return true;
}

void IndexWalk::CheckSlots(uint32_t block, uint32_t firstGap, uint32_t firstDirty, uint32_t slots) {
  if (firstGap < slots) {
    Report(block, "slot-gap", "node " + Hex(block) + " has used slots after an unused one (slot " +
                                  std::to_string(firstGap) + ")");
  }
  if (firstDirty < slots) {
    Report(block, "unused-slot", "unused slot " + std::to_string(firstDirty) + " of node " + Hex(block) +
                                     " is not all zero bytes");
  }
}

void IndexWalk::CheckLeast(uint32_t block, uint32_t count, uint32_t least, bool isRoot, uint32_t capacity) {
  if (count >= least) return;
  if (isRoot) {
    Report(block, "root-entries",
           "root node " + Hex(block) + " holds no entries; the root of a tree holds 1 to " + std::to_string(capacity));
    return;
  }
  Report(block, "entry-count",
         "node " + Hex(block) + " holds " + std::to_string(count) + " entries, fewer than " + std::to_string(least));
}

void IndexWalk::WalkFreeLists(uint32_t internalHead, uint32_t internalSize, uint32_t leafHead, uint32_t leafSize,
                              uint32_t& internalBlocks, uint32_t& leafBlocks) {
  const auto report = [this](uint32_t at, const std::string& text) { Report(at, "free-list", text); };
  internalBlocks = WalkFreeList(file_, *map_, internalHead, internalSize, report);
  leafBlocks = WalkFreeList(file_, *map_, leafHead, leafSize, report);
}

}  // namespace kro::inspection
