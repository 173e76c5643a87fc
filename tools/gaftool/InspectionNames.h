// gaftool stands on the inspection library: its walks, findings and byte
// files go by their own names in every subcommand.
#ifndef KRO_GAFTOOL_INSPECTIONNAMES_H
#define KRO_GAFTOOL_INSPECTIONNAMES_H

#include "ByteFile.h"
#include "DataFileScan.h"
#include "Findings.h"
#include "SetInspection.h"

namespace gaftool {

using namespace kro::inspection;

}  // namespace gaftool

#endif
