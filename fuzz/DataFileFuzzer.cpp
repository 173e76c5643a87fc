// The data file reader on arbitrary bytes: a read-only open, a sequential
// scan that reads every record, reads at every position the scan met and at
// positions taken from the input, then an update open that appends a point
// and a scan of the result. Nothing may crash, hang or read out of bounds.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "FuzzFiles.h"
#include "engine/datafile/CGafFile.h"
#include "engine/datafile/GafRecordCodec.h"

namespace {

using kro::CGafFile;
using kro::EngineStatus;
using kro::kEngineOk;

// Decodes the current record into `record`, or passes over a record that
// holds no object.
void ReadCurrent(CGafFile& file, EGafObjectType type, kro::GafRecord& record) {
  if (kro::gaf::IsRecordKind(type)) file.ReadRecord(record);
  else file.SkipRecord();
}

// Every record in file order; the positions met go to `positions`. A file
// holds at most one record per two bytes, which bounds the loop even if the
// scan failed to advance.
void ScanAll(CGafFile& file, size_t size, std::vector<uint32_t>* positions) {
  EGafObjectType type;
  uint32_t position;
  kro::GafRecord record;
  for (size_t steps = 0; steps <= size / 2 && file.NextRecord(type, position) == kEngineOk; ++steps) {
    if (positions != nullptr) positions->push_back(position);
    ReadCurrent(file, type, record);
  }
  file.EndSearch();
}

void ReadAt(CGafFile& file, uint32_t position) {
  EGafObjectType type;
  kro::GafRecord record;
  if (file.ReadRecordAt(position, type) == kEngineOk) ReadCurrent(file, type, record);
  file.EndSearch();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = kro::fuzz::FilePath("reader.gaf");
  if (!kro::fuzz::WriteFile(path, data, size)) return 0;
  std::vector<uint32_t> positions;
  {
    EngineStatus status;
    CGafFile file(path.c_str(), kro::kOpenReadOnly, status);
    if (status == kEngineOk) {
      BoundingBoxNode box;
      file.GetBoundingBox(box);
      file.GetCoordSys();
      ScanAll(file, size, &positions);
      file.Rewind();
      file.EndSearch();
      for (uint32_t position : positions) ReadAt(file, position);
      // Positions the scan never met: the last bytes of the input, and odd
      // or out-of-range ones.
      kro::fuzz::ByteReader tail(kro::fuzz::Slice{data + (size > 16 ? size - 16 : 0), size > 16 ? 16 : size});
      while (!tail.Empty()) ReadAt(file, tail.U32() % (size + 8));
    }
  }
  {
    EngineStatus status;
    CGafFile file(path.c_str(), kro::kOpenReadWrite, status);
    if (status == kEngineOk) {
      kro::GafRecord point = kro::SinglePartRecord(kGafPointObject, {{1, 2}});
      point.name = "n";
      point.key = "k";
      point.url = "u";
      uint32_t position;
      file.WriteRecord(point, position, nullptr);
      file.Close();
    }
  }
  EngineStatus status;
  CGafFile file(path.c_str(), kro::kOpenReadOnly, status);
  if (status == kEngineOk) ScanAll(file, size + 64, nullptr);
  return 0;
}
