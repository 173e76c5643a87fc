// The agreement between the data file and its indexes: every object record
// indexed exactly once in the spatial index with its own box and kind, the
// spatial index's extent equal to the data file's info box, every
// key within the key length exactly once in the key index, no index entry
// that points at anything but an object record, and index counts equal to the
// data file's.
#ifndef KRO_INSPECTION_CROSSCHECK_H
#define KRO_INSPECTION_CROSSCHECK_H

#include <string>

#include "DataFileScan.h"
#include "Findings.h"
#include "KifScan.h"
#include "SifScan.h"

namespace kro::inspection {

void CrossCheckSpatialIndex(const GafScan& data, const SifScan& index, const std::string& name, FindingList& findings);
void CrossCheckKeyIndex(const GafScan& data, const KifScan& index, const std::string& name, FindingList& findings);

}  // namespace kro::inspection

#endif
