// What Verify learns about a key index while it checks it.
#ifndef KRO_ENGINE_KEYINDEX_KIFSTATISTICS_H
#define KRO_ENGINE_KEYINDEX_KIFSTATISTICS_H

#include <cstdint>

namespace kro {

struct KifStatistics {
  double fillRatio = 0;  // entries / (nodes x capacity); 0 for an empty tree
  uint32_t height = 0;
  uint32_t internalNodes = 0;
  uint32_t leafNodes = 0;
  uint32_t entries = 0;  // internal and leaf entries together
  uint32_t freeInternalBlocks = 0;
  uint32_t freeLeafBlocks = 0;
  uint32_t internalBlockSize = 0;
  uint32_t leafBlockSize = 0;
};

}  // namespace kro

#endif
