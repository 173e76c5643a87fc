// Writes a whole spatial index file at once from a known set of entries,
// bottom-up: the entries are ordered (Sort-Tile-Recursive or Hilbert order
// of their box centres), cut into leaves filled as evenly as the count
// allows, and the leaves' boxes are packed into the level above the same way
// until one root remains.
//
// The file is the ordinary ".sif" format that CSpatialIndex reads and
// extends: the default header (M 20, m 10, 64-bit coordinates), both free
// lists empty, blocks on the block grid from offset 512. Every node except the
// root holds between m and M entries, because k = ceil(n / M) nodes sharing n
// entries evenly hold at least floor(n / k) >= M / 2 each when k > 1.
// Packed nodes overlap less than inserted ones, so a box query visits fewer.
#ifndef KRO_ENGINE_SPATIALINDEX_SIFBULKLOADER_H
#define KRO_ENGINE_SPATIALINDEX_SIFBULKLOADER_H

#include <cstdint>
#include <memory>
#include <vector>

#include "KroGafExportImport/KroGafExportImport.h"
#include "engine/EngineStatus.h"
#include "engine/fileaccess/CGafRawFile.h"
#include "engine/fileaccess/Env.h"

namespace kro {

class IndexBlockWriter;

struct SifBulkEntry {
  uint32_t recordPosition = 0;  // never 0
  uint32_t objectType = 0;
  BoundingBoxNode box{};
};

enum class SifPackOrder { kSortTileRecursive, kHilbert };

// Puts `entries` in the order a packed load gives its leaves: by the
// Hilbert distance of their box centres on a grid over the centres' extent,
// or Sort-Tile-Recursive. Stable: entries with equal keys keep their order.
void OrderForPacking(std::vector<SifBulkEntry>& entries, SifPackOrder order);

// Creates (or truncates) `fileName` in `env` and writes the packed tree of `entries`
// (reordered in place). 0; eSifInvalidParameter for a record position 0 or
// more entries than a file of 32-bit offsets can hold; eSifCannotOpen;
// eSifWriteError. A failure leaves a partial file the caller must discard.
EngineStatus BulkLoadSpatialIndex(const char* fileName, std::vector<SifBulkEntry>& entries, SifPackOrder order,
                                  Env& env = Env::Default());

// The same packed tree written in one pass from entries that already come in
// the order of their leaves, `count` of them, known up front: the shape of
// every level (how many nodes, how many entries each) follows from the
// count, so each node is written as soon as its last entry came, and the
// loader holds one unfinished node per level. Upper levels take their
// children in the order they were written. The file is the ordinary ".sif"
// format as above; its blocks lie in the order they were finished.
class SifStreamLoader {
 public:
  // `file` is open for writing and empty; nothing is written before the
  // first Add, and the header goes last, so a tree cut short has no root.
  SifStreamLoader(const CGafRawFile& files, FileHandle file, uint64_t count);
  ~SifStreamLoader();
  SifStreamLoader(const SifStreamLoader&) = delete;
  SifStreamLoader& operator=(const SifStreamLoader&) = delete;

  // 0; eSifInvalidParameter for a record position 0, an entry past `count`
  // or a tree past the largest offset; eSifWriteError. The first failure
  // stays.
  EngineStatus Add(const SifBulkEntry& entry);
  // Writes the header; eSifInvalidParameter when fewer than `count` entries
  // came. Does not sync.
  EngineStatus Finish();

 private:
  struct Level;
  EngineStatus AddAt(size_t level, const SifBulkEntry& entry);

  std::unique_ptr<IndexBlockWriter> writer_;
  std::vector<Level> levels_;
  uint64_t count_;
  uint64_t added_ = 0;
  uint32_t root_ = 0;
  EngineStatus status_ = kEngineOk;
};

}  // namespace kro

#endif
