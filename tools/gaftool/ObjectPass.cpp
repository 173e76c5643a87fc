#include "ObjectPass.h"

#include <algorithm>
#include <cstdio>

#include "Commands.h"
#include "InspectionNames.h"
#include "RecordDamage.h"
#include "engine/EngineStatus.h"
#include "engine/datafile/GafRecordCodec.h"
#include "fileset/CGafReader.h"

namespace gaftool {
namespace {

std::string Failure(const kro::CGafReader& reader, const std::string& what) {
  return what + ": " + reader.LastError().Describe();
}

EKroErrCode BeginPass(kro::CGafReader& reader, const PassRequest& request) {
  if (request.key) return reader.BeginKeySearch(request.key->c_str());
  if (request.box) return reader.BeginSpatialSearch(&*request.box);
  return reader.BeginSequential();
}

// The empty text, or why the object just read may not be handed on.
std::string ContentsDamage(const kro::CGafReader& reader, const PassObject& object) {
  const size_t vertex = FirstNonFiniteVertex(object.record.vertices);
  if (vertex != kAllFinite) return NonFiniteMessage(object.position, vertex);
  return LengthDamage(object.record.kind, object.position, reader.CurrentContentBytes(), reader.CurrentUnusedBytes());
}

}  // namespace

std::vector<std::string> ForEachObject(const std::string& dataFile, const PassRequest& request,
                                       const std::function<void(const PassObject&)>& visit) {
  kro::CGafReader reader;
  if (reader.OpenForRead(dataFile.c_str(), request.box ? kGafReadPartial : kGafReadOnly) != eKroOk) {
    return {Failure(reader, "cannot open the set")};
  }
  if (request.key && !reader.HasKeyIndex()) return {"the set has no key index; gaftool reindex builds one"};
  if (BeginPass(reader, request) != eKroOk) return {Failure(reader, "cannot start the pass")};
  std::vector<std::string> problems;
  PassObject object;
  EGafObjectType kind = kGafUndefinedObject;
  EKroErrCode result = eKroOk;
  uint64_t objectsMet = 0;
  while ((result = reader.NextResult(&kind)) == eKroOk) {
    if (!kro::gaf::IsRecordKind(kind)) continue;
    ++objectsMet;
    object.position = reader.CurrentPosition();
    if (reader.Read(object.record) != eKroOk) {
      problems.push_back(Failure(reader, "cannot read a record; the pass stops there"));
      return problems;
    }
    std::string damage = ContentsDamage(reader, object);
    if (damage.empty()) {
      visit(object);
    } else {
      problems.push_back(std::move(damage));
    }
  }
  if (result != eKroEndOfGaf) {
    problems.push_back(
        Failure(reader, "cannot read on after " + std::to_string(objectsMet) + " objects; the pass stops there"));
  } else if (!request.box && !request.key && objectsMet != static_cast<uint32_t>(reader.GetNumberOfObjects())) {
    problems.push_back("the header counts " + std::to_string(static_cast<uint32_t>(reader.GetNumberOfObjects())) +
                       " objects, but the records end at offset " + Hex(reader.CurrentPosition()) + " after " +
                       std::to_string(objectsMet));
  }
  return problems;
}

int ReportProblems(const std::string& dataFile, const std::vector<std::string>& problems) {
  for (const std::string& problem : problems)
    std::fprintf(stderr, "gaftool: %s: %s\n", dataFile.c_str(), problem.c_str());
  return problems.empty() ? kExitOk : kExitProblems;
}

BoundingBoxNode OrderedBox(const std::vector<double>& corners) {
  return BoundingBoxNode{std::min(corners[0], corners[2]), std::min(corners[1], corners[3]),
                         std::max(corners[0], corners[2]), std::max(corners[1], corners[3])};
}

}  // namespace gaftool
