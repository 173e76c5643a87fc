#include "SetCopy.h"

#include <cstdio>
#include <memory>

#include "CommandSupport.h"
#include "Commands.h"
#include "OutputFiles.h"
#include "Progress.h"
#include "engine/datafile/GafFormat.h"
#include "engine/fileaccess/CGafRawFile.h"
#include "fileset/CGafWriter.h"

namespace gaftool {
namespace {

void CopyHeader(const GafHeaderInfo& header, kro::CGafWriter& writer) {
  if (header.hasDescription) writer.SetDescription(header.description.c_str());
  writer.SetPrecision(static_cast<SHORT>(header.precision == 64 ? 64 : 32));
  if (header.hasMetadata) writer.SetCoordSys(&header.coordSys);
  // The records are copied with their rings as they are, so their roles hold.
  if (header.RingRolesByOrientation()) writer.SetRingRolesByOrientation();
}

// Whether `index`, existing under the new set's names, is what a killed run
// moved into place before it could move its data file.
bool IsMovedByKilledRun(const std::string& index, const SetPaths& output) {
  return kro::CGafRawFile().Exists(index.c_str()) && !kro::CGafRawFile().Exists(output.data.c_str()) &&
         kro::CGafRawFile().Exists(PartialSet(output).data.c_str());
}

}  // namespace

int NewSetPaths(const std::string& requested, const SetPaths& source, const char* suffix, bool force,
                SetPaths& output) {
  const std::string& dataFile = source.data;
  const std::string extension = dataFile.substr(dataFile.size() - 4);
  const std::string name = requested.empty() ? dataFile.substr(0, dataFile.size() - 4) + suffix + extension : requested;
  std::string error;
  if (!DeriveSetPaths(name, output, error)) {
    std::fprintf(stderr, "gaftool: %s\n", error.c_str());
    return kExitUsage;
  }
  for (const std::string* file : {&output.data, &output.spatialIndex, &output.keyIndex}) {
    if (file != &output.data && IsMovedByKilledRun(*file, output)) continue;
    const int state = CheckTarget(*file, source, force);
    if (state != kExitOk) return state;
  }
  return kExitOk;
}

bool CopyRecords(const SetInspection& source, const std::vector<size_t>& order, const SetPaths& output,
                 const CopyLayout& layout, const std::string& activity, bool quiet, NonFiniteRecords nonFinite,
                 std::vector<kro::IndexedRecord>& copied, std::vector<uint32_t>& dropped) {
  const GafScan& scan = source.data;
  kro::CGafWriter writer;
  writer.SetSpatialOrder(layout.order);
  const bool asCopied = layout.order == kro::GafSpatialOrder::kAsWritten;
  if (writer.Open(output.data.c_str(), kGafCreateNew, layout.withKeyIndex ? -1 : 0) != eKroOk) {
    std::fprintf(stderr, "gaftool: %s: cannot create: %s\n", output.data.c_str(),
                 writer.LastError().Describe().c_str());
    return false;
  }
  CopyHeader(scan.header, writer);
  TerminalProgress progress(activity, quiet);
  DecodedRecord record;
  std::string problem;
  copied.clear();
  if (asCopied) copied.reserve(order.size());
  dropped.clear();
  size_t done = 0;
  for (const size_t index : order) {
    const GafRecordSummary& summary = scan.records[index];
    if (DecodeRecord(source.dataBytes, summary.payload, summary.length, kro::gaf::kCodeFirstObject + summary.type,
                     scan.header, record, problem) != nullptr) {
      std::fprintf(stderr, "gaftool: %s: cannot decode the record at %s: %s\n", source.paths.data.c_str(),
                   Hex(summary.position).c_str(), problem.c_str());
      return false;
    }
    if (writer.Write(record, nullptr) != eKroOk) {
      // A refused record left every file as it was, so the copy can go on without it.
      const bool refused = !writer.IsDamaged() && kro::IsObjectRefusal(writer.LastStatus());
      const bool drop = refused && nonFinite == NonFiniteRecords::kDrop;
      std::fprintf(stderr, "gaftool: %s: cannot copy the record at %s: %s%s\n", source.paths.data.c_str(),
                   Hex(summary.position).c_str(), writer.LastError().Describe().c_str(),
                   !refused ? ""
                   : drop   ? "; it is dropped"
                            : "; gaftool repair drops such records");
      if (!drop) return false;
      dropped.push_back(summary.position);
      ++done;
      continue;
    }
    if (asCopied) copied.push_back(kro::IndexedRecord{writer.LastRecordPosition(), summary.type, summary.box, record.key});
    progress.SetFraction(static_cast<double>(++done), static_cast<double>(order.size()));
  }
  // An ordered copy writes its set at close, which takes a while of its own.
  std::unique_ptr<TerminalProgress> finishing;
  if (!asCopied) {
    progress.SetPosition(100);
    finishing = std::make_unique<TerminalProgress>("writing " + output.data + " in map order", quiet);
    writer.SetFinishProgress(finishing.get());
  }
  if (writer.Finish() != eKroOk) {
    std::fprintf(stderr, "gaftool: %s: writing failed: %s\n", output.data.c_str(),
                 writer.LastError().Describe().c_str());
    return false;
  }
  return true;
}

bool NewSetVerifies(const SetPaths& output) {
  SetInspection written;
  InspectSet(output, false, written);
  if (written.findings.Empty()) return true;
  PrintFindings(written.findings, stderr);
  std::fprintf(stderr, "gaftool: %s: the new set does not verify\n", output.data.c_str());
  return false;
}

void RemoveSet(const SetPaths& set) {
  for (const std::string& file : FilesOfWrite(set)) {
    if (kro::CGafRawFile().Exists(file.c_str())) kro::CGafRawFile().Delete(file.c_str());
  }
}

}  // namespace gaftool
