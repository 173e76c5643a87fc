// Rebuilding the index files of a file set from its data file: every object
// record is read in file order, its box computed from its vertices and its
// key taken, and fresh ".sif" and ".kif" files are written beside the data
// file. Each new index is written under a temporary name and moved over the
// old one only when it is complete, so a failed rebuild never leaves an
// index that looks whole but misses objects.
#ifndef KRO_FILESET_INDEXREBUILD_H
#define KRO_FILESET_INDEXREBUILD_H

#include <cstdint>
#include <string>
#include <vector>

#include "KroGafExportImport/KroGafExportImport.h"
#include "engine/EngineStatus.h"
#include "engine/datafile/GafGeometry.h"
#include "engine/fileaccess/Env.h"
#include "engine/spatialindex/SifBulkLoader.h"

namespace kro {

class CGafFile;
class CIndexProgress;

// One object record as the indexes see it.
struct IndexedRecord {
  uint32_t position = 0;
  uint32_t type = 0;
  BoundingBoxNode box{};
  std::string key;
};

// Reads every object record of an open data file (free records and unknown
// codes are passed over) and returns it to its resting place afterwards.
// 0, or the data file's status that stopped the scan (the file is then
// damaged and `records` holds what came before). `progress` (optional) gets
// the share of the header's object count read so far, in percent.
EngineStatus CollectIndexedRecords(CGafFile& dataFile, std::vector<IndexedRecord>& records,
                                   CIndexProgress* progress = nullptr);

struct SpatialRebuild {
  bool packed = false;  // bottom-up bulk load instead of insertion in file order
  SifPackOrder order = SifPackOrder::kSortTileRecursive;
};

// Writes a new spatial index at `fileName` in `env`. 0 or the failing status.
EngineStatus WriteSpatialIndex(const std::vector<IndexedRecord>& records, const std::string& fileName,
                               const SpatialRebuild& how, Env& env = Env::Default());
// Writes a new key index at `fileName` with the default key length; keys
// longer than it cannot be stored and are counted in `skippedKeys`.
EngineStatus WriteKeyIndex(const std::vector<IndexedRecord>& records, const std::string& fileName,
                           uint32_t& skippedKeys, Env& env = Env::Default());

// Rebuilds the spatial index (and, with `keyIndexName` not empty, the key
// index) of the set whose data file is open, in the data file's environment.
// 0 or the first failure.
EngineStatus RebuildIndexes(CGafFile& dataFile, const std::string& spatialIndexName, const std::string& keyIndexName,
                            const SpatialRebuild& how, CIndexProgress* progress = nullptr);

}  // namespace kro

#endif
