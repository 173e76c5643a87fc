#include "fileset/CGafWriter.h"

#include <cstring>

#include "engine/datafile/CGafFile.h"
#include "engine/keyindex/CKeyIndex.h"
#include "engine/spatialindex/CSpatialIndex.h"
#include "engine/datafile/GafRecordCodec.h"

namespace kro {
CGafWriter::CGafWriter(Env& env) : CGafEngine(env) {}

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

EKroErrCode CGafWriter::Write(const GafRecord& record, BoundingBoxNode* boxOut) {
  if (!CanWrite()) return eKroWriteError;
  if (!KeyIndexAccepts(record.key)) {
    // Refused before any file is touched: the key index says why.
    lastStatus_ = eKifKeyTooLong;
    return eKroWriteError;
  }
  if (!gaf::IsRecordKind(record.kind)) return eKroInvalidType;
  BoundingBoxNode box{};
  lastStatus_ = dataFile_->WriteRecord(record, lastRecordPosition_, &box);
  if (lastStatus_ != kEngineOk) {
    // A refused object leaves the data file as it was; a failed write
    // leaves it with a sticky failure and the set damaged.
    if (dataFile_->Status() != kEngineOk) damaged_ = true;
    return eKroWriteError;
  }
  return IndexRecord(record.kind, record.key, box, boxOut);
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
