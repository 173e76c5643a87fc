#include "ObjectPass.h"

#include <algorithm>

#include "engine/EngineStatus.h"
#include "facade/CGafReader.h"
#include "facade/RecordContents.h"

namespace gaftool {
namespace {

std::string Failure(const kro::CGafReader& reader, const std::string& what) {
  return what + " (" + kro::StatusName(reader.LastStatus()) + ")";
}

EKroErrCode BeginPass(kro::CGafReader& reader, const PassRequest& request) {
  if (request.key) return reader.BeginKeySearch(request.key->c_str());
  if (request.box) return reader.BeginSpatialSearch(&*request.box);
  return reader.BeginSequential();
}

}  // namespace

std::string ForEachObject(const std::string& dataFile, const PassRequest& request,
                          const std::function<void(const PassObject&)>& visit) {
  kro::CGafReader reader;
  if (reader.OpenForRead(dataFile.c_str(), request.box ? kGafReadPartial : kGafReadOnly) != eKroOk) {
    return Failure(reader, "cannot open the set; gaftool verify tells what is wrong");
  }
  if (request.key && !reader.HasKeyIndex()) return "the set has no key index; gaftool reindex builds one";
  if (BeginPass(reader, request) != eKroOk) return Failure(reader, "cannot start the pass");
  PassObject object;
  EGafObjectType kind = kGafUndefinedObject;
  EKroErrCode result = eKroOk;
  while ((result = reader.NextResult(&kind)) == eKroOk) {
    if (static_cast<int32_t>(kind) < kGafPointObject || static_cast<int32_t>(kind) > kGafPolyPolygonObject) continue;
    object.position = reader.CurrentPosition();
    object.kind = kind;
    if (!kro::ReadRecordContents(reader, kind, object.texts, object.vertices)) {
      return Failure(reader, "cannot read the record at " + std::to_string(object.position));
    }
    visit(object);
  }
  if (result != eKroEndOfGaf) return Failure(reader, "the pass stopped early");
  return std::string();
}

BoundingBoxNode OrderedBox(const std::vector<double>& corners) {
  return BoundingBoxNode{std::min(corners[0], corners[2]), std::min(corners[1], corners[3]),
                         std::max(corners[0], corners[2]), std::max(corners[1], corners[3])};
}

}  // namespace gaftool
