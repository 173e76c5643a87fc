// A node buffer of the key index cache, and the slot moves the tree
// operations are built from.
#ifndef KRO_ENGINE_KEYINDEX_KIFNODE_H
#define KRO_ENGINE_KEYINDEX_KIFNODE_H

#include <cstdint>
#include <cstring>

#include "engine/indexfile/NodeCache.h"
#include "engine/keyindex/KifFormat.h"

namespace kro {

// A key field: the key's bytes zero-filled to the key length L (at most
// kMaxKeyLength bytes). Fields are compared over their first L bytes only.
using KifKeyField = char[kif::kMaxKeyLength];

// Entries occupy slots 0 .. count-1; an internal node has count + 1 children.
// One slot more than the largest capacity lets an insertion overfill a node
// until it is repaired. Bytes of a key slot beyond L carry no meaning.
struct KifNode : CachedNodeState {
  KifKeyField keys[kif::kSlotCount] = {};
  uint32_t values[kif::kSlotCount] = {};
  uint32_t children[kif::kChildCount] = {};
};

// Entry moves touch the first `keyLength` bytes of a key slot (the key
// length L of the index), the only ones that carry meaning: short keys do
// not pay for the longest.
inline void CopyEntry(KifNode& to, uint32_t toSlot, const KifNode& from, uint32_t fromSlot, uint32_t keyLength) {
  std::memcpy(to.keys[toSlot], from.keys[fromSlot], keyLength);
  to.values[toSlot] = from.values[fromSlot];
}

inline void ClearEntry(KifNode& node, uint32_t slot, uint32_t keyLength) {
  std::memset(node.keys[slot], 0, keyLength);
  node.values[slot] = 0;
}

}  // namespace kro

#endif
