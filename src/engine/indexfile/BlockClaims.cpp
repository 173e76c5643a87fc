#include "engine/indexfile/BlockClaims.h"

#include <new>

#include "engine/indexfile/CIndexFile.h"

namespace kro {

BlockClaims::BlockClaims(uint64_t fileSize, uint32_t grain)
    : grain_(grain), places_(fileSize > kIndexHeaderSize ? (fileSize - kIndexHeaderSize) / grain + 1 : 0) {
  try {
    seen_.assign(static_cast<size_t>(places_), false);
  } catch (const std::bad_alloc&) {
    seen_.clear();
  }
}

bool BlockClaims::Claim(uint32_t position) {
  const uint64_t place = (position - kIndexHeaderSize) / grain_;
  if (place >= seen_.size()) return true;
  if (seen_[place]) return false;
  seen_[place] = true;
  return true;
}

}  // namespace kro
