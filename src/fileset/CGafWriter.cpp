#include "fileset/CGafWriter.h"

#include <cstring>
#include <new>

#include "engine/datafile/CGafFile.h"
#include "engine/keyindex/CKeyIndex.h"
#include "engine/spatialindex/CSpatialIndex.h"
#include "engine/datafile/GafRecordCodec.h"
#include "engine/keyindex/KifFormat.h"
#include "fileset/IndexRebuild.h"
#include "fileset/OrderedExport.h"

namespace kro {
CGafWriter::CGafWriter(Env& env) : CGafEngine(env), orderingBudget_(OrderedExport::kDefaultBudget) {}

CGafWriter::~CGafWriter() {
  if (staging_ != nullptr) (void)Finish();
}

EKroErrCode CGafWriter::SetSpatialOrder(GafSpatialOrder order) {
  if (IsOpen()) return eKroIllegalFunctionCall;
  order_ = order;
  return eKroOk;
}

EKroErrCode CGafWriter::Open(const char* fileName, EKroGafOpenFlags openMode, LONG useKif) {
  if (IsOpen()) return eKroIllegalFunctionCall;
  ordered_ = order_ != GafSpatialOrder::kAsWritten;
  if (ordered_ && openMode != kGafCreateNew) return eKroInvalidParameter;
  const EKroErrCode opened = CGafEngine::Open(fileName, openMode, useKif);
  if (opened != eKroOk || !ordered_) return opened;
  staging_.reset(new (std::nothrow) OrderedExport(files_, setName_, orderingBudget_));
  if (staging_ != nullptr) return eKroOk;
  damaged_ = true;
  Close();
  Decide(EngineError{eGafOutOfMemory, setName_, EngineError::kNoOffset, "no memory for the ordered export"});
  return eKroUnableToOpen;
}

bool CGafWriter::HeaderStillOpen() const { return staging_ == nullptr || staging_->Staged() == 0; }

EKroErrCode CGafWriter::SetDescription(const char* text) {
  if (dataFile_ == nullptr) return eKroIllegalFunctionCall;
  if (!HeaderStillOpen()) return eKroOk;  // as for a data file whose first object is written
  lastStatus_ = dataFile_->SetDescription(text);
  return lastStatus_ == kEngineOk ? eKroOk : eKroInvalidParameter;
}

EKroErrCode CGafWriter::SetPrecision(SHORT bits) {
  if (dataFile_ == nullptr) return eKroIllegalFunctionCall;
  if (!HeaderStillOpen()) return eKroOk;  // as for a data file whose first object is written
  lastStatus_ = dataFile_->SetPrecision(bits);
  return lastStatus_ == kEngineOk ? eKroOk : eKroInvalidPrecision;
}

EKroErrCode CGafWriter::SetCoordSys(const GafCoordSys* record) {
  if (dataFile_ == nullptr) return eKroIllegalFunctionCall;
  if (!HeaderStillOpen()) return eKroOk;  // as for a data file whose first object is written
  lastStatus_ = dataFile_->SetCoordSys(record);
  return lastStatus_ == kEngineOk ? eKroOk : eKroInvalidParameter;
}

uint32_t CGafWriter::GetPrecision() const { return dataFile_ != nullptr ? dataFile_->GetPrecision() : 0; }

EKroErrCode CGafWriter::SetRingRolesByOrientation() {
  if (dataFile_ == nullptr) return eKroIllegalFunctionCall;
  if (!HeaderStillOpen()) return eKroOk;  // as for a data file whose first object is written
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
  if (staging_ != nullptr) return Stage(record, boxOut);
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

// The checks the data file makes of a record, made now, so that an object it
// would refuse is refused while the host writes it; the box is the one the
// data file will compute.
EKroErrCode CGafWriter::Stage(const GafRecord& record, BoundingBoxNode* boxOut) {
  gaf::RecordPlan plan;
  const char* reason = nullptr;
  const EngineStatus refused = gaf::PlanRecord(record, dataFile_->GetPrecision() / 8, plan, reason);
  if (refused != kEngineOk) {
    Decide(EngineError{refused, setName_, EngineError::kNoOffset, reason});
    return eKroWriteError;
  }
  const BoundingBoxNode box = VerticesBox(record.vertices.data(), static_cast<size_t>(plan.vertexCount));
  if (!staging_->Stage(record, box)) {
    damaged_ = true;
    Decide(staging_->Error());
    return eKroWriteError;
  }
  if (boxOut != nullptr) *boxOut = box;
  lastStatus_ = kEngineOk;
  return eKroOk;
}

// The staged records go into the files, then the set closes as any does;
// the error of a failure on the way is the one reported, unless even the
// rollback failed.
EKroErrCode CGafWriter::FinishOrdered() {
  std::unique_ptr<OrderedExport> staging = std::move(staging_);
  const EngineError written = damaged_ ? EngineError{}
                                       : staging->WriteOut(*dataFile_, deferredIndexes_.spatialIndex,
                                                           deferredIndexes_.keyIndex, finishProgress_);
  staging.reset();  // its run files go before the set is committed
  if (written.Failed()) damaged_ = true;
  const EngineError closed = CloseFiles();
  Decide(written.Failed() && closed.status != eGafJournalError ? written : closed);
  return lastStatus_ == kEngineOk ? eKroOk : eKroWriteError;
}

EKroErrCode CGafWriter::Finish() {
  if (dataFile_ == nullptr) return eKroIllegalFunctionCall;
  if (staging_ != nullptr) return FinishOrdered();
  return Decide(CloseFiles()) == kEngineOk ? eKroOk : eKroWriteError;
}

EKroErrCode CGafWriter::Discard() {
  if (dataFile_ == nullptr) return eKroIllegalFunctionCall;
  staging_.reset();
  damaged_ = true;
  return Decide(CloseFiles()) == eGafJournalError ? eKroWriteError : eKroOk;
}

bool CGafWriter::KeyIndexAccepts(const std::string& key) const {
  if (keyIndex_ != nullptr) return std::strlen(key.c_str()) <= keyIndex_->GetKeyLength();
  // The key index an ordered export writes at close has the default length.
  return !HasKeyIndex() || std::strlen(key.c_str()) <= kif::kDefaultKeyLength;
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
