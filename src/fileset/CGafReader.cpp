#include "fileset/CGafReader.h"

#include <new>

#include "engine/datafile/CGafFile.h"
#include "engine/datafile/GafCoordSys.h"
#include "engine/datafile/GafRecordCodec.h"
#include "engine/keyindex/CKeyIndex.h"
#include "engine/spatialindex/CSpatialIndex.h"
#include "fileset/CompanionNames.h"
#include "platform/FileSystem.h"

namespace kro {
namespace {

bool Contains(const BoundingBoxNode& outer, const BoundingBoxNode& inner) {
  return outer.xMin <= inner.xMin && outer.xMax >= inner.xMax && outer.yMin <= inner.yMin &&
         outer.yMax >= inner.yMax;
}

}  // namespace

CGafReader::CGafReader(Env& env) : CGafEngine(env), parkedStamps_(files_) {}

CGafReader::~CGafReader() {
  if (IsReading()) EndSearch();
}

EKroErrCode CGafReader::OpenForRead(const char* fileName, EKroGafOpenFlags openMode) {
  if (openMode != kGafReadOnly && openMode != kGafReadPartial) return eKroUnableToOpen;
  return Open(fileName, openMode, 0) == eKroOk ? eKroOk : eKroUnableToOpen;
}

EKroErrCode CGafReader::OpenDataFileOnly(const char* fileName) {
  if (IsOpen()) return eKroIllegalFunctionCall;
  if (fileName == nullptr) return eKroInvalidParameter;
  // The data file alone is read only once a journal beside it is rolled
  // back, like any other open of the set.
  CompanionNames names;
  setName_ = fileName;
  lastError_ = EngineError{};
  lastStatus_ = DeriveCompanionNames(fileName, names);
  if (lastStatus_ == kEngineOk) lastStatus_ = Decide(BeginSession(fileName, names, kOpenReadOnly));
  if (lastStatus_ != kEngineOk) return eKroUnableToOpen;
  lastStatus_ = eGafOutOfMemory;
  dataFile_.reset(new (std::nothrow) CGafFile(fileName, kOpenReadOnly, lastStatus_, Environment()));
  if (dataFile_ == nullptr || lastStatus_ != kEngineOk) {
    if (dataFile_ == nullptr) lastStatus_ = eGafOutOfMemory;
    lastError_ = ErrorOfFiles(lastStatus_);
    Close();
    return eKroUnableToOpen;
  }
  mode_ = Mode::kIdle;
  state_ = State::kOpen;
  return eKroOk;
}

EKroErrCode CGafReader::GetBoundingBox(BoundingBoxNode* out) const {
  if (dataFile_ == nullptr) return eKroFailObtainBoundingBox;
  if (out == nullptr) return eKroInvalidParameter;
  dataFile_->GetBoundingBox(*out);
  return eKroOk;
}

EKroErrCode CGafReader::GetCoordSysName(const char** out) const {
  if (out == nullptr) return eKroInvalidParameter;
  *out = "";
  if (dataFile_ == nullptr) return eKroFailObtainBoundingBox;
  const GafCoordSys* record = dataFile_->GetCoordSys();
  if (record != nullptr) *out = record->code;
  return eKroOk;
}

EKroErrCode CGafReader::CopyCoordSys(GafCoordSys* out) const {
  if (dataFile_ == nullptr || out == nullptr) return eKroOk;
  const GafCoordSys* record = dataFile_->GetCoordSys();
  if (record != nullptr) *out = *record;
  return eKroOk;
}

LONG CGafReader::HasMetaData() const {
  return dataFile_ != nullptr && dataFile_->GetCoordSys() != nullptr ? 1 : 0;
}

LONG CGafReader::GetNumberOfObjects() const {
  return dataFile_ != nullptr ? static_cast<LONG>(dataFile_->GetObjectCount()) : 0;
}

const char* CGafReader::GetDescription() const {
  return dataFile_ != nullptr ? dataFile_->GetDescription() : nullptr;
}

bool CGafReader::HasKind(int32_t objectType) const { return dataFile_ != nullptr && dataFile_->HasKind(objectType); }

uint32_t CGafReader::GetPrecision() const { return dataFile_ != nullptr ? dataFile_->GetPrecision() : 0; }

bool CGafReader::RingRolesByOrientation() const {
  return dataFile_ != nullptr && dataFile_->RingRolesByOrientation();
}

EKroErrCode CGafReader::BeginSequential() {
  if (state_ < State::kOpen) return eKroReadError;
  lastStatus_ = dataFile_->Rewind();
  if (lastStatus_ != kEngineOk) return eKroReadError;
  StartPass(Mode::kSequential);
  return eKroOk;
}

void CGafReader::StartPass(Mode mode) {
  mode_ = mode;
  state_ = State::kReading;
  currentKind_ = kGafUndefinedObject;
  currentPosition_ = 0;
  currentUnread_ = false;
}

EKroErrCode CGafReader::BeginSpatialSearch(const BoundingBoxNode* box) {
  if (state_ < State::kOpen) return eKroReadError;
  if (box == nullptr || spatialIndex_ == nullptr) return eKroInvalidParameter;
  lastStatus_ = spatialIndex_->BeginSearch(*box, 0, true);
  if (lastStatus_ != kEngineOk) return eKroReadError;
  BoundingBoxNode extent{};
  lastStatus_ = spatialIndex_->GetBoundingBox(extent);
  if (lastStatus_ != kEngineOk) return eKroReadError;
  // Every object qualifies: data-file order is cheaper and the same set.
  if (Contains(*box, extent)) return BeginSequential();
  StartPass(Mode::kSpatial);
  return eKroOk;
}

EKroErrCode CGafReader::BeginKeySearch(const char* key) {
  if (state_ < State::kOpen) return eKroReadError;
  if (key == nullptr || keyIndex_ == nullptr) return eKroInvalidParameter;
  lastStatus_ = keyIndex_->BeginSearch(key);
  // A key longer than the index holds cannot match anything stored.
  if (lastStatus_ == eKifKeyTooLong) return BeginAt(0);
  if (lastStatus_ != kEngineOk) return eKroReadError;
  StartPass(Mode::kKey);
  return eKroOk;
}

EKroErrCode CGafReader::BeginAt(uint32_t position) {
  if (state_ < State::kOpen) return eKroReadError;
  StartPass(Mode::kPosition);
  pendingPosition_ = position;
  return eKroOk;
}

EngineStatus CGafReader::NextIndexedPosition() {
  if (mode_ == Mode::kSpatial) {
    uint32_t indexedType = 0;
    return spatialIndex_->GetNextHit(currentPosition_, indexedType, currentBox_);
  }
  if (mode_ == Mode::kKey) return keyIndex_->GetNextMatch(currentPosition_);
  if (pendingPosition_ == 0) return kEngineEndOfResults;
  currentPosition_ = pendingPosition_;
  pendingPosition_ = 0;
  return kEngineOk;
}

// Hits of a spatial pass come by ascending position; when the next ones lie
// close behind the current record, the read that fetches it takes them too.
// Asked only when the record is not buffered yet, so each hit is looked at
// about once.
uint32_t CGafReader::ReadThrough() const {
  if (mode_ != Mode::kSpatial || dataFile_->HoldsRecordAt(currentPosition_)) return 0;
  return spatialIndex_->NearbyHitsEnd(currentPosition_, kCoalescingGap, gaf::kReadAheadSize);
}

EKroErrCode CGafReader::NextResult(EGafObjectType* kind) {
  if (!IsReading()) return eKroReadError;
  if (kind == nullptr) return eKroInvalidParameter;
  if (mode_ == Mode::kSequential) {
    if (currentUnread_) {
      currentUnread_ = false;
      lastStatus_ = dataFile_->SkipRecord();
      if (lastStatus_ != kEngineOk) return eKroReadError;
    }
    lastStatus_ = dataFile_->NextRecord(currentKind_, currentPosition_);
    if (lastStatus_ == kEngineEndOfResults) return eKroEndOfGaf;
  } else {
    lastStatus_ = NextIndexedPosition();
    if (lastStatus_ == kEngineEndOfResults) return eKroEndOfGaf;
    // Only the index decides the end: a position that leads to the data
    // file's end marker is a damaged index, not the end of the results.
    if (lastStatus_ == kEngineOk) lastStatus_ = dataFile_->ReadRecordAt(currentPosition_, currentKind_, ReadThrough());
  }
  if (lastStatus_ != kEngineOk) return eKroReadError;
  currentUnread_ = mode_ == Mode::kSequential;
  *kind = currentKind_;
  return eKroOk;
}

EKroErrCode CGafReader::Read(GafRecord& record) {
  if (!IsReading()) return eKroIllegalFunctionCall;
  lastStatus_ = dataFile_->ReadRecord(record);
  if (lastStatus_ != kEngineOk) return eKroReadError;
  currentUnread_ = false;
  if (mode_ == Mode::kSpatial) record.box = currentBox_;
  return eKroOk;
}

EKroErrCode CGafReader::Next(GafRecord& record) {
  EGafObjectType kind = kGafUndefinedObject;
  const EKroErrCode stepped = NextResult(&kind);
  if (stepped != eKroOk) return stepped;
  if (gaf::IsRecordKind(kind)) return Read(record);
  record.Clear(kind);
  return eKroOk;
}

uint32_t CGafReader::CurrentContentBytes() const {
  return dataFile_ != nullptr ? dataFile_->LastReadContentBytes() : 0;
}

uint32_t CGafReader::CurrentUnusedBytes() const { return dataFile_ != nullptr ? dataFile_->LastReadUnusedBytes() : 0; }

EKroErrCode CGafReader::EndSearch() {
  if (!IsReading()) return eKroIllegalFunctionCall;
  pendingPosition_ = 0;
  mode_ = Mode::kIdle;
  state_ = State::kOpen;
  currentUnread_ = false;
  lastStatus_ = dataFile_->EndSearch();
  return lastStatus_ == kEngineOk ? eKroOk : eKroUnknownErr;
}

}  // namespace kro
