#include "drivers/CGafEnumerator.h"

#include <new>

#include "drivers/CGafEnumeratorObjects.h"
#include "com/ComCreate.h"
#include "fileset/CGafReader.h"
#include "platform/FileSystem.h"
#include "platform/MultiByte.h"

namespace kro {

CGafEnumerator::CGafEnumerator() = default;

CGafEnumerator::~CGafEnumerator() { ReleaseReader(); }

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
  state_ = State::kConfigured;
  ReleaseReader();
  const EKroErrCode acquired = AcquireReader();
  if (acquired != eKroOk) return acquired;
  const EKroErrCode result = StartPass();
  if (result != eKroOk) {
    ReleaseReader();
    return result;
  }
  state_ = State::kOpen;
  return eKroOk;
}

EKroErrCode CGafEnumerator::AcquireReader() {
  if (pool_) reader_ = pool_->Take(fileName_.c_str(), openMode_);
  if (reader_ != nullptr) return eKroOk;
  reader_.reset(new (std::nothrow) CGafReader(pool_ ? pool_->Environment() : Env::Default()));
  if (reader_ == nullptr) return eKroOutOfMemory;
  if (reader_->OpenForRead(fileName_.c_str(), openMode_) != eKroOk) {
    reader_.reset();
    return eKroUnableToOpen;
  }
  return eKroOk;
}

void CGafEnumerator::ReleaseReader() {
  if (pool_ && reader_ != nullptr) pool_->Give(std::move(reader_), openMode_);
  reader_.reset();
}

EKroErrCode CGafEnumerator::StartPass() {
  pass_ = Pass::kRunning;
  if (openMode_ != kGafReadPartial) return reader_->BeginSequential();
  if (!box_) return eKroSearchFailed;
  return reader_->BeginSpatialSearch(&*box_);
}

void CGafEnumerator::Empty() {
  ReleaseReader();
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
  for (ULONG skipped = 0; skipped < ulSkipCount && pass_ == Pass::kRunning; ++skipped) {
    NoteStep(reader_->NextResult(&kind));
  }
  return S_OK;
}

HRESULT CGafEnumerator::Clone(IKroEnumGeometry** ppEnumGeo) {
  if (state_ == State::kEmpty) return S_FALSE;
  if (ppEnumGeo == nullptr) return E_POINTER;
  *ppEnumGeo = nullptr;
  ComPtr<CGafEnumerator> clone = MakeObject<CGafEnumerator>();
  if (!clone) return S_FALSE;
  clone->ShareReaders(pool_.Get());
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
  // A pass that has ended or failed is not read on from where it stopped.
  for (ULONG attempt = 0; attempt < ulCount && pass_ == Pass::kRunning; ++attempt) {
    // A record that cannot be read fails the pass: a box search may have no
    // result left to tell it. One that cannot be made into an object (a free
    // record, a kind of no class) yields nothing and counts against ulCount.
    if (!NoteStep(reader_->Next(record_))) break;
    ComPtr<IKroGeometry> object = MakeStoredObject(record_);
    if (object) pGeoObj[fetched++] = object.Detach();
  }
  *pulFetched = fetched;
  // The objects read before a failure are handed out first; the failure is
  // answered by itself, here when nothing came, else by the next call.
  return pass_ == Pass::kFailed && fetched == 0 ? E_FAIL : S_OK;
}

// A failed read is lasting (the file's status is sticky, a broken search
// ends), so the pass is over either way; true while it goes on.
bool CGafEnumerator::NoteStep(EKroErrCode step) {
  if (step == eKroEndOfGaf) pass_ = Pass::kEnded;
  else if (step != eKroOk) pass_ = Pass::kFailed;
  return step == eKroOk;
}

HRESULT CGafEnumerator::MaxVertexCount(LONG* /*lNum*/) { return S_OK; }

HRESULT CGafEnumerator::GetNumPlinesFailed(LONG* /*lNum*/) { return S_OK; }

}  // namespace kro
