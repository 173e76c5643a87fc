// One file set read whole and checked: the three files loaded into memory,
// each walked on its own, then the cross-checks between them. Works on any
// bytes, so it is what info, verify, compact and repair stand on when the
// set is damaged and the engine's own open would refuse it.
#ifndef KRO_INSPECTION_SETINSPECTION_H
#define KRO_INSPECTION_SETINSPECTION_H

#include <string>

#include "ByteFile.h"
#include "DataFileScan.h"
#include "Findings.h"
#include "KifScan.h"
#include "SifScan.h"
#include "engine/fileaccess/Env.h"

namespace kro::inspection {

struct SetPaths {
  std::string data;
  std::string spatialIndex;
  std::string keyIndex;
};

// False, with `error` set, for a name that is no ".gaf" name the engine
// accepts.
bool DeriveSetPaths(const std::string& dataFileName, SetPaths& paths, std::string& error);

struct SetInspection {
  SetPaths paths;
  ByteFile dataBytes;
  ByteFile spatialBytes;
  ByteFile keyBytes;
  bool hasSpatialIndex = false;
  bool hasKeyIndex = false;
  GafScan data;
  SifScan spatial;
  KifScan key;
  FindingList findings;
};

// Loads and checks the set. A file that cannot be read becomes a finding.
// `progress` (optional) follows the walk over the data file; a journal
// beside the set is looked for in `env`.
void InspectSet(const SetPaths& paths, bool keepNodeBoxes, SetInspection& inspection,
                kro::CIndexProgress* progress = nullptr, kro::Env& env = kro::Env::Default());

// Frees the bytes and walks of both indexes, keeping the data file, its walk,
// the findings and whether each index exists: what a command that copies the
// records into a new set with new indexes still needs.
void LetIndexesGo(SetInspection& inspection);

}  // namespace kro::inspection

#endif
