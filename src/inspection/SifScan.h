// The bounded walk over a ".sif" spatial index held in memory: the header
// and its padding, every node reached from the root (block places, blocks
// reached twice, used slots first and unused ones zero, entry counts of the
// root and the other nodes, NaN and inverted boxes, boxes equal to the union
// of their children) and both free lists, each rule a finding of its own
// kind (the table in docs/sif-format.md). Collects the leaf entries and the
// extent for the cross-checks and the node boxes by level for the picture.
#ifndef KRO_INSPECTION_SIFSCAN_H
#define KRO_INSPECTION_SIFSCAN_H

#include <cstdint>
#include <string>
#include <vector>

#include "ByteFile.h"
#include "Findings.h"
#include "KroGafExportImport/KroGafExportImport.h"

namespace kro::inspection {

struct SifLeafEntry {
  uint32_t position = 0;
  uint32_t type = 0;
  BoundingBoxNode box{};
  uint32_t block = 0;  // the leaf block holding it, for messages
};

struct SifNodeBox {
  uint32_t level = 0;  // of the node the box covers; leaves are level 0
  BoundingBoxNode box{};
};

struct SifScan {
  bool headerRead = false;
  uint32_t version = 0;
  uint32_t minEntries = 0;
  uint32_t maxEntries = 0;
  uint32_t height = 0;
  uint32_t coordinateBits = 0;
  uint32_t root = 0;
  uint32_t freeInternalHead = 0;
  uint32_t freeLeafHead = 0;
  uint32_t objectCount = 0;
  std::string description;
  uint64_t fileSize = 0;
  std::vector<uint32_t> nodesPerLevel;  // index 0: leaves
  uint64_t entries = 0;                 // leaf and internal entries
  uint32_t freeInternalBlocks = 0;
  uint32_t freeLeafBlocks = 0;
  // Union of the root's entry boxes: the box of everything indexed.
  bool hasExtent = false;
  BoundingBoxNode extent{};
  std::vector<SifLeafEntry> leaves;
  std::vector<SifNodeBox> nodeBoxes;  // filled on request
};

SifScan ScanSpatialIndex(const ByteFile& file, const std::string& name, FindingList& findings, bool keepNodeBoxes);

}  // namespace kro::inspection

#endif
