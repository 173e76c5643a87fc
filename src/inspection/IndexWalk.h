// What the walks over both index files share: findings under the file's
// prefix ("sif." or "kif."), block places claimed once, used slots counted
// with gaps reported, the least entry count of a node, and both free lists.
#ifndef KRO_INSPECTION_INDEXWALK_H
#define KRO_INSPECTION_INDEXWALK_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "BlockMap.h"
#include "ByteFile.h"
#include "Findings.h"

namespace kro::inspection {

class IndexWalk {
 protected:
  IndexWalk(const ByteFile& file, const std::string& name, FindingList& findings, const char* prefix)
      : file_(file), name_(name), findings_(findings), prefix_(prefix) {}

  // `kind` without the prefix: "position" becomes "sif.position".
  void Report(uint64_t offset, const char* kind, const std::string& message);
  // Whether the header fits in the file; reports "header" otherwise.
  bool HeaderFits();
  // The header's description at `offset`; false when it runs past the
  // header or claims more than 255 bytes.
  bool ReadDescription(uint32_t offset, std::string& description) const;
  // Why a height and a root position cannot describe a tree the engine
  // walks (empty when they can).
  static std::string TreeShapeProblem(uint32_t height, uint32_t root, uint32_t maxHeight);
  // Sets up the block places once the header is known.
  void MapBlocks(uint32_t internalBlockSize, uint32_t leafBlockSize);
  // False, with a finding, when `block` (reached from the field at `from`)
  // is no block place or was reached before.
  bool ClaimNode(uint32_t block, uint32_t blockSize, uint64_t from);
  // Slots whose `field` is not 0, counted from slot 0; a used slot after an
  // unused one is reported.
  uint32_t CountUsed(uint32_t block, uint32_t slots, const std::function<uint32_t(uint32_t)>& field);
  // Reports a node with fewer entries than `least`.
  void CheckLeast(uint32_t block, uint32_t count, uint32_t least);
  // Both free lists, their blocks claimed; returns their lengths.
  void WalkFreeLists(uint32_t internalHead, uint32_t internalSize, uint32_t leafHead, uint32_t leafSize,
                     uint32_t& internalBlocks, uint32_t& leafBlocks);

  const ByteFile& file_;
  const std::string& name_;
  FindingList& findings_;

 private:
  const char* prefix_;
  std::unique_ptr<BlockMap> map_;
};

}  // namespace kro::inspection

#endif
