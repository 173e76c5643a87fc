// One pass over the objects of a healthy set through the reading facade: all
// of them in file order, those whose boxes meet a box (spatial index), or
// those with a key (key index).
#ifndef KRO_GAFTOOL_OBJECTPASS_H
#define KRO_GAFTOOL_OBJECTPASS_H

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "KroGafExportImport/KroGafExportImport.h"
#include "facade/ObjectContents.h"

namespace gaftool {

struct PassRequest {
  std::optional<BoundingBoxNode> box;
  std::optional<std::string> key;
};

struct PassObject {
  uint32_t position = 0;
  EGafObjectType kind = kGafUndefinedObject;
  kro::ObjectTexts texts;
  kro::ObjectVertices vertices;
};

// Calls `visit` for each object. Returns the empty text, or why the set
// could not be read (the pass stops there).
std::string ForEachObject(const std::string& dataFile, const PassRequest& request,
                          const std::function<void(const PassObject&)>& visit);

// Parses "X1 Y1 X2 Y2" given in any corner order into a box.
BoundingBoxNode OrderedBox(const std::vector<double>& corners);

}  // namespace gaftool

#endif
