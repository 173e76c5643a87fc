// One pass over the objects of a set through the reading facade: all of them
// in file order, those whose boxes meet a box (spatial index), or those with
// a key (key index). The pass never ends quietly short: whatever kept an
// object from being handed on is a problem that names its offset.
#ifndef KRO_GAFTOOL_OBJECTPASS_H
#define KRO_GAFTOOL_OBJECTPASS_H

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "KroGafExportImport/KroGafExportImport.h"
#include "engine/datafile/GafRecord.h"

namespace gaftool {

struct PassRequest {
  std::optional<BoundingBoxNode> box;
  std::optional<std::string> key;
};

struct PassObject {
  uint32_t position = 0;
  kro::GafRecord record;
};

// Calls `visit` for each object that reads whole. A record that reads but is
// damaged in itself (see RecordDamage.h) is a problem and passed over; one
// that cannot be read is a problem that ends the pass. A pass over all
// objects that ends with another number of them than the header counts is a
// problem too. Returns the problems, empty when there were none.
std::vector<std::string> ForEachObject(const std::string& dataFile, const PassRequest& request,
                                       const std::function<void(const PassObject&)>& visit);

// Prints each problem as "gaftool: FILE: problem" on standard error;
// kExitOk when there is none, else kExitProblems.
int ReportProblems(const std::string& dataFile, const std::vector<std::string>& problems);

// Parses "X1 Y1 X2 Y2" given in any corner order into a box.
BoundingBoxNode OrderedBox(const std::vector<double>& corners);

}  // namespace gaftool

#endif
