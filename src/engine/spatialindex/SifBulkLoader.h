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
#include <vector>

#include "KroGafExportImport/KroGafExportImport.h"
#include "engine/EngineStatus.h"
#include "engine/fileaccess/Env.h"

namespace kro {

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

}  // namespace kro

#endif
