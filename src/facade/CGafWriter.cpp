#include "facade/CGafWriter.h"

#include <cstring>

#include "engine/datafile/CGafFile.h"
#include "engine/keyindex/CKeyIndex.h"
#include "engine/spatialindex/CSpatialIndex.h"
#include "facade/ObjectContents.h"

namespace kro {
namespace {

EKroErrCode ReadVertices(IKroPolyline* object, ObjectVertices& vertices) { return ReadSingleSet(object, vertices); }
EKroErrCode ReadVertices(IKroPolygon* object, ObjectVertices& vertices) { return ReadSingleSet(object, vertices); }
EKroErrCode ReadVertices(IKroPolyPolygon* object, ObjectVertices& vertices) { return ReadMultiSet(object, vertices); }

int32_t VertexCount(const ObjectVertices& vertices) { return static_cast<int32_t>(vertices.points.size()); }
int32_t SetCount(const ObjectVertices& vertices) { return static_cast<int32_t>(vertices.setCounts.size()); }

}  // namespace

CGafWriter::CGafWriter() = default;

CGafWriter::~CGafWriter() = default;

EKroErrCode CGafWriter::SetDescription(const char* text) {
  if (dataFile_ == nullptr) return eKroIllegalFunctionCall;
  lastStatus_ = dataFile_->SetDescription(text);
  return lastStatus_ == kEngineOk ? eKroOk : eKroInvalidParameter;
}

EKroErrCode CGafWriter::SetPrecision(SHORT bits) {
  if (dataFile_ == nullptr) return eKroIllegalFunctionCall;
  lastStatus_ = dataFile_->SetPrecision(bits);
  return lastStatus_ == kEngineOk ? eKroOk : eKroInvalidPrecision;
}

EKroErrCode CGafWriter::SetCoordSys(const GafCoordSys* record) {
  if (dataFile_ == nullptr) return eKroIllegalFunctionCall;
  lastStatus_ = dataFile_->SetCoordSys(record);
  return lastStatus_ == kEngineOk ? eKroOk : eKroInvalidParameter;
}

EKroErrCode CGafWriter::WritePoint(IKroPoint* object, BoundingBoxNode* boxOut) {
  if (!CanWrite()) return eKroWriteError;
  if (object == nullptr) return eKroNullObject;
  ObjectTexts texts;
  const EKroErrCode result = ReadObjectTexts(object, texts);
  if (result != eKroOk) return result;
  const CKroDoublePointNode vertex = ReadPointVertex(object);
  if (!KeyIndexAccepts(texts.key)) return eKroWriteError;

  BoundingBoxNode box{};
  lastStatus_ = dataFile_->WritePoint(texts.name.c_str(), texts.key.c_str(), texts.url.c_str(), &vertex,
                                      lastRecordPosition_, &box);
  if (lastStatus_ != kEngineOk) return eKroWriteError;
  return IndexRecord(kGafPointObject, texts.key, box, boxOut);
}

EKroErrCode CGafWriter::WritePolyline(IKroPolyline* object, BoundingBoxNode* boxOut) {
  ObjectTexts texts;
  ObjectVertices vertices;
  const EKroErrCode result = ReadObject(object, texts, vertices);
  if (result != eKroOk) return result;
  BoundingBoxNode box{};
  lastStatus_ = dataFile_->WritePolyline(texts.name.c_str(), texts.key.c_str(), texts.url.c_str(),
                                         VertexCount(vertices), vertices.points.data(), lastRecordPosition_, &box);
  if (lastStatus_ != kEngineOk) return eKroWriteError;
  return IndexRecord(kGafPolylineObject, texts.key, box, boxOut);
}

EKroErrCode CGafWriter::WritePolygon(IKroPolygon* object, BoundingBoxNode* boxOut) {
  ObjectTexts texts;
  ObjectVertices vertices;
  const EKroErrCode result = ReadObject(object, texts, vertices);
  if (result != eKroOk) return result;
  BoundingBoxNode box{};
  lastStatus_ = dataFile_->WritePolygon(texts.name.c_str(), texts.key.c_str(), texts.url.c_str(),
                                        VertexCount(vertices), vertices.points.data(), lastRecordPosition_, &box);
  if (lastStatus_ != kEngineOk) return eKroWriteError;
  return IndexRecord(kGafPolygonObject, texts.key, box, boxOut);
}

EKroErrCode CGafWriter::WritePolyPolygon(IKroPolyPolygon* object, BoundingBoxNode* boxOut) {
  ObjectTexts texts;
  ObjectVertices vertices;
  const EKroErrCode result = ReadObject(object, texts, vertices);
  if (result != eKroOk) return result;
  BoundingBoxNode box{};
  lastStatus_ = dataFile_->WritePolyPolygon(texts.name.c_str(), texts.key.c_str(), texts.url.c_str(),
                                            SetCount(vertices), vertices.setCounts.data(), vertices.points.data(),
                                            lastRecordPosition_, &box);
  if (lastStatus_ != kEngineOk) return eKroWriteError;
  return IndexRecord(kGafPolyPolygonObject, texts.key, box, boxOut);
}

template <class Itf>
EKroErrCode CGafWriter::ReadObject(Itf* object, ObjectTexts& texts, ObjectVertices& vertices) {
  if (object == nullptr) return eKroNullObject;
  if (!CanWrite()) return eKroWriteError;
  EKroErrCode result = ReadObjectTexts(object, texts);
  if (result == eKroOk) result = ReadVertices(object, vertices);
  if (result == eKroOk && !KeyIndexAccepts(texts.key)) result = eKroWriteError;
  return result;
}

bool CGafWriter::KeyIndexAccepts(const std::string& key) const {
  return keyIndex_ == nullptr || std::strlen(key.c_str()) <= keyIndex_->GetKeyLength();
}

EKroErrCode CGafWriter::IndexRecord(EGafObjectType type, const std::string& key, const BoundingBoxNode& box,
                                    BoundingBoxNode* boxOut) {
  if (boxOut != nullptr) *boxOut = box;
  lastStatus_ = spatialIndex_->Insert(static_cast<uint32_t>(type), box, lastRecordPosition_);
  if (lastStatus_ != kEngineOk) return eKroWriteError;
  if (keyIndex_ != nullptr) {
    lastStatus_ = keyIndex_->Insert(key.c_str(), lastRecordPosition_);
    if (lastStatus_ != kEngineOk) return eKroWriteError;
  }
  return eKroOk;
}

}  // namespace kro
