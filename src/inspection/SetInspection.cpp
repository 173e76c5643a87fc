#include "SetInspection.h"

#include "CrossCheck.h"
#include "engine/EngineStatus.h"
#include "engine/fileaccess/CGafRawFile.h"
#include "engine/writesession/SetFileTarget.h"
#include "fileset/CompanionNames.h"

namespace kro::inspection {

bool DeriveSetPaths(const std::string& dataFileName, SetPaths& paths, std::string& error) {
  kro::CompanionNames names;
  const kro::EngineStatus status = kro::DeriveCompanionNames(dataFileName.c_str(), names);
  if (status != kro::kEngineOk) {
    error = dataFileName + ": not a data file name (" + kro::StatusName(status) +
            "): a Gaf set is named by its \".gaf\" file, under 260 bytes";
    return false;
  }
  paths = SetPaths{dataFileName, names.spatialIndex, names.keyIndex};
  return true;
}

void InspectSet(const SetPaths& paths, bool keepNodeBoxes, SetInspection& inspection, kro::CIndexProgress* progress,
                kro::Env& env) {
  inspection.paths = paths;
  FindingList& findings = inspection.findings;
  std::string error;
  if (!inspection.dataBytes.Load(paths.data, error)) {
    findings.Add(paths.data, 0, "gaf.unreadable", error);
    return;
  }
  inspection.data = ScanDataFile(inspection.dataBytes, paths.data, findings, progress);
  // The bytes on disk are not yet the set a reader of the library sees: its
  // next open rolls the unfinished write back first.
  const std::string journal = kro::JournalNameFor(paths.data);
  if (kro::CGafRawFile(env).Exists(journal.c_str())) {
    findings.Add(journal, 0, "set.journal-pending",
                 "a writer's rollback journal lies beside the set; the next open through the library rolls the set "
                 "back to where it was before that writer");
  }

  inspection.hasSpatialIndex = inspection.spatialBytes.Load(paths.spatialIndex, error);
  if (inspection.hasSpatialIndex) {
    inspection.spatial = ScanSpatialIndex(inspection.spatialBytes, paths.spatialIndex, findings, keepNodeBoxes);
    CrossCheckSpatialIndex(inspection.data, inspection.spatial, paths.spatialIndex, findings);
  } else {
    findings.Add(paths.spatialIndex, 0, "sif.missing", error + " (every set has a spatial index; gaftool reindex rebuilds it)");
  }

  inspection.hasKeyIndex = inspection.keyBytes.Load(paths.keyIndex, error);
  if (inspection.hasKeyIndex) {
    inspection.key = ScanKeyIndex(inspection.keyBytes, paths.keyIndex, findings);
    CrossCheckKeyIndex(inspection.data, inspection.key, paths.keyIndex, findings);
  } else if (inspection.keyBytes.Exists()) {
    findings.Add(paths.keyIndex, 0, "kif.unreadable", error);
  }
}

void LetIndexesGo(SetInspection& inspection) {
  inspection.spatialBytes = ByteFile();
  inspection.keyBytes = ByteFile();
  inspection.spatial = SifScan();
  inspection.key = KifScan();
}

}  // namespace kro::inspection
