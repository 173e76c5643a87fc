#include "engine/writesession/ByteRanges.h"

#include <algorithm>

namespace kro {

std::vector<std::pair<uint32_t, uint32_t>> ByteRanges::Gaps(uint32_t start, uint32_t end) const {
  std::vector<std::pair<uint32_t, uint32_t>> gaps;
  auto it = ranges_.upper_bound(start);
  if (it != ranges_.begin() && std::prev(it)->second > start) start = std::prev(it)->second;
  for (; start < end; ++it) {
    if (it == ranges_.end() || it->first >= end) {
      gaps.emplace_back(start, end);
      break;
    }
    if (it->first > start) gaps.emplace_back(start, it->first);
    start = std::max(start, it->second);
  }
  return gaps;
}

void ByteRanges::Add(uint32_t start, uint32_t end) {
  if (start >= end) return;
  auto it = ranges_.upper_bound(start);
  if (it != ranges_.begin() && std::prev(it)->second >= start) {
    --it;
    start = it->first;
  }
  while (it != ranges_.end() && it->first <= end) {
    end = std::max(end, it->second);
    it = ranges_.erase(it);
  }
  ranges_[start] = end;
}

}  // namespace kro
