// One row of the comparison: a library that writes the workload's objects
// into its own files and reads them back. Each operation returns false when
// the library failed; a workload a library cannot do is left out.
#ifndef KRO_BENCHMARKS_PEERS_ROW_H
#define KRO_BENCHMARKS_PEERS_ROW_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Workload.h"

namespace peers {

class Row {
 public:
  virtual ~Row() = default;
  virtual const char* Name() const = 0;
  virtual bool HasKeyIndex() const { return true; }
  virtual bool HasIndexOnly() const { return true; }
  virtual bool HasScan() const { return true; }
  // W1: all `count` objects one at a time into new files under `stem`.
  virtual bool Write(const std::string& stem, uint64_t count, bool withKeyIndex) = 0;
  // W2: the number of record positions found for all queries.
  virtual bool QueryIndex(const std::string& stem, uint64_t& hits) = 0;
  // W2b: every object of every query read whole.
  virtual bool Query(const std::string& stem, Tally& tally) = 0;
  // W3: every object in file order read whole.
  virtual bool Scan(const std::string& stem, Tally& tally) = 0;
};

std::vector<std::unique_ptr<Row>> MakeRows();

// Removes the files of the Gaf set `stem`, so that a write makes new files.
void RemoveGafSet(const std::string& stem);

std::unique_ptr<Row> MakeComponentRow();
std::unique_ptr<Row> MakeEngineRow();
// The engine's ordered export: the set in map order, written in one pass.
std::unique_ptr<Row> MakeOrderedEngineRow();
// The same through the component: KroGafOrderedExport.
std::unique_ptr<Row> MakeOrderedComponentRow();
// `base`'s files sorted into map order by gaftool after each write.
std::unique_ptr<Row> MakeSortedRow(std::unique_ptr<Row> base, const char* name);
std::unique_ptr<Row> MakeGdalRow(const char* driver, const char* extension, const char* name);
std::unique_ptr<Row> MakeSqliteRow();
std::unique_ptr<Row> MakeShapelibRow();
std::unique_ptr<Row> MakeSpatialIndexRow();

}  // namespace peers

#endif
