// A whole file set on arbitrary bytes: the input is split into a data file,
// a spatial index and a key index (an empty third part means no key index),
// opened read-only through the facade, then read by a sequential pass, by
// box passes and by key searches for the keys the sequential pass met.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzFiles.h"
#include "engine/datafile/GafRecordCodec.h"
#include "fileset/CGafReader.h"

namespace {

using kro::CGafReader;

// Runs the pass that was begun to its end; `limit` bounds it for a damaged
// set whose pass would otherwise not end.
void RunPass(CGafReader& reader, EKroErrCode begun, size_t limit, std::vector<std::string>* keys) {
  if (begun != eKroOk) return;
  kro::GafRecord record;
  for (size_t steps = 0; steps < limit && reader.Next(record) == eKroOk; ++steps) {
    if (kro::gaf::IsRecordKind(record.kind) && keys != nullptr && keys->size() < 8) keys->push_back(record.key);
  }
  reader.EndSearch();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<kro::fuzz::Slice> parts = kro::fuzz::SplitInput(data, size, 3);
  const std::string gaf = kro::fuzz::FilePath("set.gaf");
  const std::string sif = kro::fuzz::FilePath("set.sif");
  const std::string kif = kro::fuzz::FilePath("set.kif");
  if (!kro::fuzz::WriteFile(gaf, parts[0]) || !kro::fuzz::WriteFile(sif, parts[1])) return 0;
  if (parts[2].size == 0) {
    kro::fuzz::RemoveFile(kif);
  } else if (!kro::fuzz::WriteFile(kif, parts[2])) {
    return 0;
  }

  CGafReader reader;
  if (reader.OpenForRead(gaf.c_str(), kGafReadOnly) != eKroOk) return 0;
  // No pass can deliver more results than the files have bytes for, but a
  // damaged index may lead to the same record many times.
  const size_t limit = 4 * size + 64;
  BoundingBoxNode extent;
  reader.GetBoundingBox(&extent);
  reader.GetNumberOfObjects();
  reader.HasMetaData();
  std::vector<std::string> keys;
  RunPass(reader, reader.BeginSequential(), limit, &keys);
  const double midX = extent.xMin / 2 + extent.xMax / 2;
  const double midY = extent.yMin / 2 + extent.yMax / 2;
  const BoundingBoxNode boxes[] = {extent, {extent.xMin, extent.yMin, midX, midY}, {midX, midY, midX, midY},
                                   {-1e308, -1e308, 1e308, 1e308}};
  for (const BoundingBoxNode& box : boxes) RunPass(reader, reader.BeginSpatialSearch(&box), limit, nullptr);
  keys.emplace_back("");
  for (const std::string& key : keys) RunPass(reader, reader.BeginKeySearch(key.c_str()), limit, nullptr);
  return 0;
}
