#include "BlockMap.h"

#include "Findings.h"
#include "engine/indexfile/CIndexFile.h"
#include "engine/indexfile/IndexBytes.h"

namespace kro::inspection {

BlockMap::BlockMap(const ByteFile& file, uint32_t internalBlockSize, uint32_t leafBlockSize)
    : file_(file),
      grain_(kro::CIndexFile::GreatestCommonDivisor(internalBlockSize, leafBlockSize)),
      claims_(file.Size(), grain_) {}

bool BlockMap::IsPlace(uint32_t position, uint32_t blockSize) const {
  return position >= kro::kIndexHeaderSize && static_cast<uint64_t>(position) + blockSize <= file_.Size() &&
         (position - kro::kIndexHeaderSize) % grain_ == 0;
}

uint32_t WalkFreeList(const ByteFile& file, BlockMap& map, uint32_t head, uint32_t blockSize,
                      const std::function<void(uint32_t, const std::string&)>& report) {
  uint32_t count = 0;
  for (uint32_t link = head; link != 0 && count <= map.PlaceCount(); ++count) {
    if (!map.IsPlace(link, blockSize)) {
      report(link, "free list leads to " + Hex(link) + ", which is no block place of the file");
      break;
    }
    if (!map.Claim(link)) {
      report(link, "free list reaches block " + Hex(link) + ", which is already in the tree or on a list");
      break;
    }
    // IsPlace put the whole block inside the file, so its link is too.
    kro::DecodeFreeLink(file.Data() + link, file.Size() - link, link);
  }
  return count;
}

}  // namespace kro::inspection
