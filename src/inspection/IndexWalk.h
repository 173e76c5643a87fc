// What the walks over both index files share: findings under the file's
// prefix ("sif." or "kif."), the refused header and its padding, block
// places claimed once, the entry count a node must hold, and both free
// lists. The walks decode nothing themselves: every header, block, slot and
// link goes through the engine's decoders, so the walk and the engine read
// the same bytes the same way.
#ifndef KRO_INSPECTION_INDEXWALK_H
#define KRO_INSPECTION_INDEXWALK_H

#include <cstdint>
#include <memory>
#include <string>

#include "BlockMap.h"
#include "ByteFile.h"
#include "Findings.h"

namespace kro::inspection {

// Why a header is refused: the file holds fewer bytes than a header; a
// height and root that do not describe a tree the engine walks.
std::string TooShortProblem(uint64_t fileSize);
std::string TreeShapeProblem(uint32_t height, uint32_t root, uint32_t maxHeight);

class IndexWalk {
 protected:
  IndexWalk(const ByteFile& file, const std::string& name, FindingList& findings, const char* prefix)
      : file_(file), name_(name), findings_(findings), prefix_(prefix) {}

  // `kind` without the prefix: "position" becomes "sif.position".
  void Report(uint64_t offset, const char* kind, const std::string& message);
  // Whether the header is read: true when `problem` (why open refuses it)
  // is empty, and its padding whose first non-zero byte is at `firstSet` is
  // checked then; a finding either way for what is wrong.
  bool AcceptHeader(const std::string& problem, size_t firstSet);
  // Sets up the block places once the header is known.
  void MapBlocks(uint32_t internalBlockSize, uint32_t leafBlockSize);
  // False, with a finding, when `block` (reached from the field at `from`)
  // is no block place or was reached before.
  bool ClaimNode(uint32_t block, uint32_t blockSize, uint64_t from);
  // The bytes from `offset` to the end of the file; what a decoder may read.
  const unsigned char* BytesAt(uint64_t offset) const { return file_.Data() + offset; }
  uint64_t BytesFrom(uint64_t offset) const { return offset <= file_.Size() ? file_.Size() - offset : 0; }
  // Reports a node whose used slots have gaps, whose first unused slot
  // `firstDirty` (`slots` when none) is not zero, or whose count is below
  // `least` (the root's own kind when `isRoot`).
  void CheckSlots(uint32_t block, uint32_t firstGap, uint32_t firstDirty, uint32_t slots);
  void CheckLeast(uint32_t block, uint32_t count, uint32_t least, bool isRoot, uint32_t capacity);
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
