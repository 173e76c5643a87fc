// A set of byte ranges [start, end) of one file, kept merged: which parts of
// a file already have their before image in the journal.
#ifndef KRO_ENGINE_WRITESESSION_BYTERANGES_H
#define KRO_ENGINE_WRITESESSION_BYTERANGES_H

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

namespace kro {

class ByteRanges {
 public:
  // The parts of [start, end) that the set does not cover yet, in order.
  std::vector<std::pair<uint32_t, uint32_t>> Gaps(uint32_t start, uint32_t end) const;
  // Adds [start, end), merging it with the ranges it meets or touches.
  void Add(uint32_t start, uint32_t end);
  bool Covers(uint32_t start, uint32_t end) const { return Gaps(start, end).empty(); }

 private:
  std::map<uint32_t, uint32_t> ranges_;  // start -> end; disjoint, not touching
};

}  // namespace kro

#endif
