// The bounded walk over a ".kif" key index held in memory: the header and its
// padding, every node reached from the root (block places, blocks reached
// twice, used slots first, unused slots, child fields past the last child
// and key tails zero, entry counts of the root and the other nodes, strictly
// ascending entries inside the bounds their parents set) and both free
// lists, each rule a finding of its own kind (the table in
// docs/kif-format.md). Collects the entries for the cross-checks.
#ifndef KRO_INSPECTION_KIFSCAN_H
#define KRO_INSPECTION_KIFSCAN_H

#include <cstdint>
#include <string>
#include <vector>

#include "ByteFile.h"
#include "Findings.h"

namespace kro::inspection {

struct KifEntry {
  std::string key;
  uint32_t position = 0;
  uint32_t block = 0;
};

struct KifScan {
  bool headerRead = false;
  uint32_t version = 0;
  uint32_t capacity = 0;
  uint32_t keyLength = 0;
  uint32_t height = 0;
  uint32_t root = 0;
  uint32_t freeInternalHead = 0;
  uint32_t freeLeafHead = 0;
  uint32_t entryCount = 0;
  std::string description;
  uint64_t fileSize = 0;
  std::vector<uint32_t> nodesPerLevel;  // index 0: leaves
  uint32_t freeInternalBlocks = 0;
  uint32_t freeLeafBlocks = 0;
  std::vector<KifEntry> entries;
};

KifScan ScanKeyIndex(const ByteFile& file, const std::string& name, FindingList& findings);

}  // namespace kro::inspection

#endif
