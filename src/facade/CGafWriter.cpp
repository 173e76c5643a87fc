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

template <class Itf>
EKroErrCode CGafWriter::ReadObject(Itf* object, ObjectTexts& texts, ObjectVertices& vertices) {
  if (object == nullptr) return eKroNullObject;
  if (!CanWrite()) return eKroWriteError;
  EKroErrCode result = ReadObjectTexts(object, texts);
  if (result == eKroOk) result = ReadVertices(object, vertices);
  if (result == eKroOk && !KeyIndexAccepts(texts.key)) result = eKroWriteError;
  return result;
}

template <class Itf, class WriteRecord>
EKroErrCode CGafWriter::WriteObject(Itf* object, EGafObjectType type, BoundingBoxNode* boxOut,
                                    WriteRecord writeRecord) {
  ObjectTexts texts;
  ObjectVertices vertices;
  const EKroErrCode result = ReadObject(object, texts, vertices);
  if (result != eKroOk) return result;
  BoundingBoxNode box{};
  lastStatus_ = writeRecord(texts, vertices, box);
  if (lastStatus_ != kEngineOk) return eKroWriteError;
  return IndexRecord(type, texts.key, box, boxOut);
}

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
  return WriteObject(object, kGafPolylineObject, boxOut,
                     [this](const ObjectTexts& t, const ObjectVertices& v, BoundingBoxNode& box) {
                       return dataFile_->WritePolyline(t.name.c_str(), t.key.c_str(), t.url.c_str(), VertexCount(v),
                                                       v.points.data(), lastRecordPosition_, &box);
                     });
}

EKroErrCode CGafWriter::WritePolygon(IKroPolygon* object, BoundingBoxNode* boxOut) {
  return WriteObject(object, kGafPolygonObject, boxOut,
                     [this](const ObjectTexts& t, const ObjectVertices& v, BoundingBoxNode& box) {
                       return dataFile_->WritePolygon(t.name.c_str(), t.key.c_str(), t.url.c_str(), VertexCount(v),
                                                      v.points.data(), lastRecordPosition_, &box);
                     });
}

EKroErrCode CGafWriter::WritePolyPolygon(IKroPolyPolygon* object, BoundingBoxNode* boxOut) {
  return WriteObject(object, kGafPolyPolygonObject, boxOut,
                     [this](const ObjectTexts& t, const ObjectVertices& v, BoundingBoxNode& box) {
                       return dataFile_->WritePolyPolygon(t.name.c_str(), t.key.c_str(), t.url.c_str(), SetCount(v),
                                                          v.setCounts.data(), v.points.data(), lastRecordPosition_,
                                                          &box);
                     });
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
