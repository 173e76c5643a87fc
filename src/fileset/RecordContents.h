// Reading one object record into plain texts and vertices, the inverse of
// CGafWriter::WriteContents. Works on anything that offers the six record
// readers with the data file's signatures and answers 0 for success: the
// data file itself (CGafFile) and the reading facade (CGafReader).
#ifndef KRO_FILESET_RECORDCONTENTS_H
#define KRO_FILESET_RECORDCONTENTS_H

#include <cstdint>
#include <string>
#include <vector>

#include "KroGafExportImport/KroGafExportImport.h"
#include "engine/datafile/GafFormat.h"

namespace kro {

// Key, name and URL as multi-byte text.
struct ObjectTexts {
  std::string name;
  std::string key;
  std::string url;
};

struct ObjectVertices {
  std::vector<int32_t> setCounts;  // multi-set objects only
  std::vector<CKroDoublePointNode> points;
};

// REQUIRES: the current record of `source` is of kind `type` (0 to 5).
// False when the source refuses the read or `type` is no object kind.
template <class Source>
bool ReadRecordContents(Source& source, EGafObjectType type, ObjectTexts& texts, ObjectVertices& vertices) {
  const char* name = nullptr;
  const char* key = nullptr;
  const char* url = nullptr;
  const CKroDoublePointNode* points = nullptr;
  const int32_t* setCounts = nullptr;
  int32_t count = 0;
  int32_t setCount = 0;
  bool read = false;
  switch (static_cast<int32_t>(type)) {
    case kGafPointObject:
      read = source.ReadPoint(name, key, url, points) == 0;
      count = 1;
      break;
    case gaf::kMultiPointType:
      read = source.ReadMultiPoint(name, key, url, count, points) == 0;
      break;
    case kGafPolylineObject:
      read = source.ReadPolyline(name, key, url, count, points) == 0;
      break;
    case kGafPolygonObject:
      read = source.ReadPolygon(name, key, url, count, points) == 0;
      break;
    case kGafPolyPolylineObject:
      read = source.ReadPolyPolyline(name, key, url, setCount, setCounts, points) == 0;
      break;
    case kGafPolyPolygonObject:
      read = source.ReadPolyPolygon(name, key, url, setCount, setCounts, points) == 0;
      break;
    default:
      return false;
  }
  if (!read) return false;
  texts.name = name != nullptr ? name : "";
  texts.key = key != nullptr ? key : "";
  texts.url = url != nullptr ? url : "";
  vertices.setCounts.assign(setCounts, setCounts + (setCounts != nullptr && setCount > 0 ? setCount : 0));
  if (setCounts != nullptr) {
    count = 0;
    for (int32_t c : vertices.setCounts) count += c > 0 ? c : 0;
  }
  vertices.points.assign(points, points + (points != nullptr && count > 0 ? count : 0));
  return true;
}

}  // namespace kro

#endif
