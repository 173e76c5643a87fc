// The ordered export of a new set: records are staged while the host exports
// them and written at close in Hilbert order of their box centres, so that
// objects near each other on the map lie near each other in the data file
// and a box query reads a few stretches of it. The spatial index is loaded
// bottom-up in the same order and the key index bottom-up from the keys in
// their sorted order; the result is an ordinary set that later appends
// extend by insertion.
//
// Memory stays within a budget whatever the number of objects: staged
// records and then keys are sorted in batches that spill to run files beside
// the set ("IDF" + the data file's name + ".records." or ".keys." + a
// number), merged when they are read back, and removed when the export ends.
// Run files left by a writer that died are removed by the next ordered
// export of the same set.
#ifndef KRO_FILESET_ORDEREDEXPORT_H
#define KRO_FILESET_ORDEREDEXPORT_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "KroGafExportImport/KroGafExportImport.h"
#include "engine/EngineError.h"
#include "engine/datafile/GafRecord.h"
#include "engine/fileaccess/CGafRawFile.h"

namespace kro {

class CGafFile;
class CIndexProgress;
class ExternalSorter;

class OrderedExport {
 public:
  // What a 1,000,000-object export holds at most, beside the engine's own
  // buffers; the keys get half of it while the records are written out.
  static constexpr size_t kDefaultBudget = size_t{24} << 20;

  // Stages for the set whose data file is `dataFileName`; removes what an
  // earlier ordered export of the set left. The caller holds the set.
  OrderedExport(const CGafRawFile& files, const std::string& dataFileName, size_t budget);
  ~OrderedExport();
  OrderedExport(const OrderedExport&) = delete;
  OrderedExport& operator=(const OrderedExport&) = delete;

  // Stages a record the data file was found to accept, with its box. False
  // on a failure of the run files (Error()).
  bool Stage(const GafRecord& record, const BoundingBoxNode& box);
  uint64_t Staged() const;

  // Writes the staged records into `dataFile` in order, and the indexes into
  // the set files `spatialIndexName` and, unless empty, `keyIndexName`,
  // opened through the caller's write session. `progress` (optional) sees
  // the share written, in percent, and may abort. The error of the first
  // failure, or none.
  EngineError WriteOut(CGafFile& dataFile, const std::string& spatialIndexName, const std::string& keyIndexName,
                       CIndexProgress* progress);

  const EngineError& Error() const { return error_; }

 private:
  EngineError WriteRecords(CGafFile& dataFile, FileHandle spatialIndex, const std::string& indexName,
                           ExternalSorter* keys, CIndexProgress* progress);
  EngineError WriteKeyIndex(ExternalSorter& keys, FileHandle keyIndex, const std::string& indexName);

  CGafRawFile files_;
  std::string recordRuns_;
  std::string keyRuns_;
  size_t budget_;
  std::unique_ptr<ExternalSorter> records_;
  std::vector<uint8_t> scratch_;
  EngineError error_;
};

}  // namespace kro

#endif
