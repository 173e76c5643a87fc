#include "fileset/CGafWriter.h"

#include <cstring>

#include "engine/datafile/CGafFile.h"
#include "engine/keyindex/CKeyIndex.h"
#include "engine/spatialindex/CSpatialIndex.h"
#include "engine/datafile/GafFormat.h"

namespace kro {
namespace {

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

uint32_t CGafWriter::GetPrecision() const { return dataFile_ != nullptr ? dataFile_->GetPrecision() : 0; }

EKroErrCode CGafWriter::SetRingRolesByOrientation() {
  if (dataFile_ == nullptr) return eKroIllegalFunctionCall;
  lastStatus_ = dataFile_->SetRingRolesByOrientation();
  return lastStatus_ == kEngineOk ? eKroOk : eKroWriteError;
}

EKroErrCode CGafWriter::WriteContents(EGafObjectType type, const ObjectTexts& texts, const ObjectVertices& vertices,
                                      BoundingBoxNode* boxOut) {
  if (!CanWrite()) return eKroWriteError;
  if (!KeyIndexAccepts(texts.key)) {
    // Refused before any file is touched: the key index says why.
    lastStatus_ = eKifKeyTooLong;
    return eKroWriteError;
  }
  return WriteRecord(type, texts, vertices, boxOut);
}

EKroErrCode CGafWriter::WriteRecord(EGafObjectType type, const ObjectTexts& texts, const ObjectVertices& vertices,
                                    BoundingBoxNode* boxOut) {
  const char* name = texts.name.c_str();
  const char* key = texts.key.c_str();
  const char* url = texts.url.c_str();
  const CKroDoublePointNode* points = vertices.points.data();
  BoundingBoxNode box{};
  uint32_t& position = lastRecordPosition_;
  switch (static_cast<int32_t>(type)) {
    case kGafPointObject:
      if (vertices.points.size() != 1) return eKroWriteError;
      lastStatus_ = dataFile_->WritePoint(name, key, url, points, position, &box);
      break;
    case gaf::kMultiPointType:
      lastStatus_ = dataFile_->WriteMultiPoint(name, key, url, VertexCount(vertices), points, position, &box);
      break;
    case kGafPolylineObject:
      lastStatus_ = dataFile_->WritePolyline(name, key, url, VertexCount(vertices), points, position, &box);
      break;
    case kGafPolyPolylineObject:
      lastStatus_ = dataFile_->WritePolyPolyline(name, key, url, SetCount(vertices), vertices.setCounts.data(),
                                                 points, position, &box);
      break;
    case kGafPolygonObject:
      lastStatus_ = dataFile_->WritePolygon(name, key, url, VertexCount(vertices), points, position, &box);
      break;
    case kGafPolyPolygonObject:
      lastStatus_ = dataFile_->WritePolyPolygon(name, key, url, SetCount(vertices), vertices.setCounts.data(),
                                                points, position, &box);
      break;
    default:
      return eKroInvalidType;
  }
  if (lastStatus_ != kEngineOk) {
    // A refused object leaves the data file as it was; a failed write
    // leaves it with a sticky failure and the set damaged.
    if (dataFile_->Status() != kEngineOk) damaged_ = true;
    return eKroWriteError;
  }
  return IndexRecord(type, texts.key, box, boxOut);
}

EKroErrCode CGafWriter::Finish() {
  if (dataFile_ == nullptr) return eKroIllegalFunctionCall;
  return Decide(CloseFiles()) == kEngineOk ? eKroOk : eKroWriteError;
}

EKroErrCode CGafWriter::Discard() {
  if (dataFile_ == nullptr) return eKroIllegalFunctionCall;
  damaged_ = true;
  return Decide(CloseFiles()) == eGafJournalError ? eKroWriteError : eKroOk;
}

bool CGafWriter::KeyIndexAccepts(const std::string& key) const {
  return keyIndex_ == nullptr || std::strlen(key.c_str()) <= keyIndex_->GetKeyLength();
}

EKroErrCode CGafWriter::IndexRecord(EGafObjectType type, const std::string& key, const BoundingBoxNode& box,
                                    BoundingBoxNode* boxOut) {
  if (boxOut != nullptr) *boxOut = box;
  // The data file holds the record now: an index that cannot take it
  // leaves the set's files out of step, so the set is damaged.
  lastStatus_ = spatialIndex_->Insert(static_cast<uint32_t>(type), box, lastRecordPosition_);
  if (lastStatus_ == kEngineOk && keyIndex_ != nullptr) lastStatus_ = keyIndex_->Insert(key.c_str(), lastRecordPosition_);
  if (lastStatus_ == kEngineOk) return eKroOk;
  damaged_ = true;
  return eKroWriteError;
}

}  // namespace kro
