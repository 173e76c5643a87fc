#include "IndexWalk.h"

#include "engine/indexfile/CIndexFile.h"

namespace kro::inspection {

void IndexWalk::Report(uint64_t offset, const char* kind, const std::string& message) {
  findings_.Add(name_, offset, std::string(prefix_) + "." + kind, message);
}

bool IndexWalk::HeaderFits() {
  if (file_.Has(0, kro::kIndexHeaderSize)) return true;
  Report(0, "header", "file of " + std::to_string(file_.Size()) + " bytes cannot hold the 512-byte header");
  return false;
}

bool IndexWalk::ReadDescription(uint32_t offset, std::string& description) const {
  char text[kro::kMaxIndexDescription + 1];
  const bool fits = kro::CIndexFile::GetString(file_.Data() + offset, kro::kIndexHeaderSize - offset, text);
  description = text;
  return fits;
}

std::string IndexWalk::TreeShapeProblem(uint32_t height, uint32_t root, uint32_t maxHeight) {
  if (height <= maxHeight && (height == 0) == (root == 0)) return std::string();
  return "height " + std::to_string(height) + " and root " + Hex(root) + " do not fit together";
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

uint32_t IndexWalk::CountUsed(uint32_t block, uint32_t slots, const std::function<uint32_t(uint32_t)>& field) {
  uint32_t count = 0;
  bool gap = false;
  for (uint32_t slot = 0; slot < slots; ++slot) {
    const uint32_t value = field(slot);
    if (value != 0 && count < slot) gap = true;
    if (value != 0 && count == slot) ++count;
  }
  if (gap) Report(block, "slot-gap", "node " + Hex(block) + " has used slots after an unused one");
  return count;
}

void IndexWalk::CheckLeast(uint32_t block, uint32_t count, uint32_t least) {
  if (count >= least) return;
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
