#include "component/CGafEnumerator.h"

#include <new>

#include "component/CGafEnumeratorObjects.h"
#include "component/ComCreate.h"
#include "facade/CGafReader.h"
#include "platform/FileSystem.h"
#include "platform/MultiByte.h"

namespace kro {

CGafEnumerator::CGafEnumerator() = default;

CGafEnumerator::~CGafEnumerator() = default;

EKroErrCode CGafEnumerator::Configure(const char* fileName, EKroGafOpenFlags openMode, const BoundingBoxNode* box) {
  if (fileName == nullptr || BoundedLength(fileName, kMaxPathBytes) >= kMaxPathBytes) {
    return eKroInitializationFailed;
  }
  try {
    fileName_ = fileName;
  } catch (const std::bad_alloc&) {
    Empty();
    return eKroOutOfMemory;
  }
  openMode_ = openMode;
  if (box != nullptr) box_ = *box;
  state_ = State::kConfigured;
  return eKroOk;
}

EKroErrCode CGafEnumerator::OpenFile() {
  if (state_ == State::kEmpty) return eKroUnableToOpen;
  reader_.reset(new (std::nothrow) CGafReader());
  if (reader_ == nullptr) return eKroOutOfMemory;
  if (reader_->OpenForRead(fileName_.c_str(), openMode_) != eKroOk) {
    reader_.reset();
    return eKroUnableToOpen;
  }
  const EKroErrCode result = StartPass();
  if (result != eKroOk) {
    reader_.reset();
    return result;
  }
  state_ = State::kOpen;
  return eKroOk;
}

EKroErrCode CGafEnumerator::StartPass() {
  if (openMode_ != kGafReadPartial) return reader_->BeginSequential();
  if (!box_) return eKroSearchFailed;
  return reader_->BeginSpatialSearch(&*box_);
}

void CGafEnumerator::Empty() {
  reader_.reset();
  fileName_.clear();
  box_.reset();
  state_ = State::kEmpty;
}

HRESULT CGafEnumerator::Reset() {
  if (state_ != State::kOpen) return S_FALSE;
  reader_->EndSearch();
  return StartPass() == eKroOk ? S_OK : S_FALSE;
}

HRESULT CGafEnumerator::Skip(ULONG ulSkipCount) {
  if (state_ != State::kOpen) return S_FALSE;
  EGafObjectType kind = kGafUndefinedObject;
  for (ULONG skipped = 0; skipped < ulSkipCount; ++skipped) {
    if (reader_->NextResult(&kind) != eKroOk) break;
  }
  return S_OK;
}

HRESULT CGafEnumerator::Clone(IKroEnumGeometry** ppEnumGeo) {
  if (state_ == State::kEmpty) return S_FALSE;
  if (ppEnumGeo == nullptr) return E_POINTER;
  *ppEnumGeo = nullptr;
  ComPtr<CGafEnumerator> clone = MakeObject<CGafEnumerator>();
  if (!clone) return S_FALSE;
  const BoundingBoxNode* box = box_ ? &*box_ : nullptr;
  if (clone->Configure(fileName_.c_str(), openMode_, box) != eKroOk || clone->OpenFile() != eKroOk) return S_FALSE;
  *ppEnumGeo = clone.Detach();
  return S_OK;
}

HRESULT CGafEnumerator::Next(ULONG ulCount, IKroGeometry** pGeoObj, ULONG* pulFetched) {
  if (state_ != State::kOpen) return S_FALSE;
  if (pGeoObj == nullptr || pulFetched == nullptr) return E_POINTER;
  *pulFetched = 0;
  ULONG fetched = 0;
  for (ULONG attempt = 0; attempt < ulCount; ++attempt) {
    EGafObjectType kind = kGafUndefinedObject;
    // Only the end stops early in principle; a failed step of the reader is
    // lasting (the file's status is sticky and a broken search ends), so
    // nothing more can come after one either.
    if (reader_->NextResult(&kind) != eKroOk) break;
    ComPtr<IKroGeometry> object = MakeStoredObject(*reader_, kind);
    if (object) pGeoObj[fetched++] = object.Detach();
  }
  *pulFetched = fetched;
  return S_OK;
}

HRESULT CGafEnumerator::MaxVertexCount(LONG* /*lNum*/) { return S_OK; }

HRESULT CGafEnumerator::GetNumPlinesFailed(LONG* /*lNum*/) { return S_OK; }

}  // namespace kro
