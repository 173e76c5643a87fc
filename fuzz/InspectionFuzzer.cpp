// The tolerant walks of gaftool on arbitrary bytes: the input is split into
// a data file, a spatial index and a key index (an empty third part means
// no key index), inspected as a set, and every record the walk kept is
// decoded again from its summary, as a copy by compact or repair does. The
// walks must end and stay inside the bytes on any input.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzFiles.h"
#include "SetInspection.h"
#include "engine/datafile/GafFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<kro::fuzz::Slice> parts = kro::fuzz::SplitInput(data, size, 3);
  kro::inspection::SetPaths paths{kro::fuzz::FilePath("set.gaf"), kro::fuzz::FilePath("set.sif"),
                                  kro::fuzz::FilePath("set.kif")};
  if (!kro::fuzz::WriteFile(paths.data, parts[0]) || !kro::fuzz::WriteFile(paths.spatialIndex, parts[1])) return 0;
  if (parts[2].size == 0) {
    kro::fuzz::RemoveFile(paths.keyIndex);
  } else if (!kro::fuzz::WriteFile(paths.keyIndex, parts[2])) {
    return 0;
  }

  kro::inspection::SetInspection set;
  kro::inspection::InspectSet(paths, true, set);
  kro::inspection::DecodedRecord record;
  std::string problem;
  for (const kro::inspection::GafRecordSummary& summary : set.data.records) {
    if (kro::inspection::DecodeRecord(set.dataBytes, summary.payload, summary.length,
                                      kro::gaf::kCodeFirstObject + summary.type, set.data.header, record,
                                      problem) != nullptr) {
      __builtin_trap();  // a record the walk kept must decode again
    }
  }
  return 0;
}
