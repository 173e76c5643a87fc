#include "SetCopy.h"

#include <cstdio>

#include "CommandSupport.h"
#include "Commands.h"
#include "Progress.h"
#include "engine/datafile/GafFormat.h"
#include "engine/fileaccess/CGafRawFile.h"
#include "facade/CGafWriter.h"

namespace gaftool {
namespace {

void CopyHeader(const GafHeaderInfo& header, kro::CGafWriter& writer) {
  if (header.hasDescription) writer.SetDescription(header.description.c_str());
  writer.SetPrecision(static_cast<SHORT>(header.precision == 64 ? 64 : 32));
  if (header.hasMetadata) writer.SetCoordSys(&header.coordSys);
}

}  // namespace

int NewSetPaths(const std::string& requested, const std::string& dataFile, const char* suffix, SetPaths& output) {
  const std::string extension = dataFile.substr(dataFile.size() - 4);
  const std::string name = requested.empty() ? dataFile.substr(0, dataFile.size() - 4) + suffix + extension : requested;
  std::string error;
  if (!DeriveSetPaths(name, output, error)) {
    std::fprintf(stderr, "gaftool: %s\n", error.c_str());
    return kExitUsage;
  }
  if (kro::CGafRawFile::Exists(output.data.c_str())) {
    std::fprintf(stderr, "gaftool: %s exists; remove it or name another with --output\n", output.data.c_str());
    return kExitUsage;
  }
  return kExitOk;
}

bool CopyRecords(const SetInspection& source, const std::vector<size_t>& order, const SetPaths& output,
                 const std::string& activity, bool quiet, std::vector<kro::IndexedRecord>& copied) {
  const GafScan& scan = source.data;
  kro::CGafWriter writer;
  if (writer.Open(output.data.c_str(), kGafCreateNew, 0) != eKroOk) {
    std::fprintf(stderr, "gaftool: %s: cannot create (%s)\n", output.data.c_str(), kro::StatusName(writer.LastStatus()));
    return false;
  }
  CopyHeader(scan.header, writer);
  TerminalProgress progress(activity, quiet);
  DecodedRecord record;
  std::string problem;
  copied.clear();
  copied.reserve(order.size());
  for (const size_t index : order) {
    const GafRecordSummary& summary = scan.records[index];
    if (DecodeRecord(source.dataBytes, summary.payload, summary.length, kro::gaf::kCodeFirstObject + summary.type,
                     scan.header, record, problem) != nullptr ||
        writer.WriteContents(record.type, record.texts, record.vertices, nullptr) != eKroOk) {
      std::fprintf(stderr, "gaftool: %s: cannot copy the record at %s (%s)\n", output.data.c_str(),
                   Hex(summary.position).c_str(), kro::StatusName(writer.LastStatus()));
      return false;
    }
    copied.push_back(kro::IndexedRecord{writer.LastRecordPosition(), summary.type, summary.box, record.texts.key});
    progress.SetFraction(static_cast<double>(copied.size()), static_cast<double>(order.size()));
  }
  if (writer.Finish() != eKroOk) {
    std::fprintf(stderr, "gaftool: %s: writing failed (%s)\n", output.data.c_str(), kro::StatusName(writer.LastStatus()));
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
  for (const std::string* file : {&set.data, &set.spatialIndex, &set.keyIndex}) kro::CGafRawFile::Delete(file->c_str());
}

}  // namespace gaftool
