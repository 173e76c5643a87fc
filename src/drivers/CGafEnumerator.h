// KroEnumGeometry: the file enumerator. It walks one file set, sequentially
// or by a bounding box, and hands every stored object back as a new geometry
// object of the library.
//
// state: 0 empty (as a host creates it: every request is refused), 1
// configured (name, mode and optional box known, no file open), 2 open (its
// own reader holds the set open and a pass is running). An open enumerator
// stays open until it is destroyed.
//
// An enumerator given a reader pool (those of an import object's sources,
// and their clones) takes its reader from the pool when one of the same set
// is parked there, and parks its reader there when it goes, instead of
// closing the set (ReaderPool.h).
#ifndef KRO_DRIVERS_CGAFENUMERATOR_H
#define KRO_DRIVERS_CGAFENUMERATOR_H

#include <memory>
#include <optional>
#include <string>

#include "com/ComObject.h"
#include "com/ComPtr.h"
#include "drivers/ReaderPool.h"
#include "engine/datafile/GafRecord.h"

namespace kro {

class CGafReader;

class CGafEnumerator final : public ComObject<IKroEnumGeometry> {
 public:
  CGafEnumerator();
  ~CGafEnumerator() override;

  // Takes the name and mode and, when `box` is given, a copy of it (without
  // one, a box of an earlier configuration stays). 0;
  // eKroInitializationFailed for an absent name or one of 260 bytes or more;
  // eKroOutOfMemory (the enumerator is then emptied).
  EKroErrCode Configure(const char* fileName, EKroGafOpenFlags openMode, const BoundingBoxNode* box);
  // Opens the set and starts the pass the mode asks for. 0;
  // eKroUnableToOpen (not configured, or the set cannot be opened);
  // eKroOutOfMemory; eKroSearchFailed (kGafReadPartial without a box); or the
  // code of the failed start.
  EKroErrCode OpenFile();
  // The pool later opens take their reader from and the reader goes back to.
  void ShareReaders(ReaderPool* pool) { pool_ = ComPtr<ReaderPool>::Share(pool); }

  // Starts the pass again from its first result (S_OK), or S_FALSE when the
  // enumerator is not open or the pass cannot be started again.
  HRESULT Reset() override;
  HRESULT Skip(ULONG ulSkipCount) override;
  HRESULT Clone(IKroEnumGeometry** ppEnumGeo) override;
  // S_OK whenever it ran, with *pulFetched telling how many objects came:
  // fewer than asked near the end, 0 once the pass has ended. A read that
  // failed (an I/O error, a damaged record) ends the pass as a failure: the
  // objects before it are handed out with S_OK, and this call (when it
  // fetched nothing) or every later one answers E_FAIL, so a host can tell a
  // damaged set from its end.
  HRESULT Next(ULONG ulCount, IKroGeometry** pGeoObj, ULONG* pulFetched) override;
  // The file enumerator computes neither count: S_OK, nothing written.
  HRESULT MaxVertexCount(LONG* lNum) override;
  HRESULT GetNumPlinesFailed(LONG* lNum) override;

 private:
  enum class State { kEmpty = 0, kConfigured = 1, kOpen = 2 };

  EKroErrCode StartPass();
  // Takes the outcome of one step of the pass; true while the pass goes on.
  bool NoteStep(EKroErrCode step);
  // A parked reader of the pool, else a fresh reader of the set. 0,
  // eKroOutOfMemory or eKroUnableToOpen (no reader then).
  EKroErrCode AcquireReader();
  // Parks the reader in the pool, or closes it when there is none.
  void ReleaseReader();
  void Empty();

  ComPtr<ReaderPool> pool_;
  std::unique_ptr<CGafReader> reader_;
  // The record of the current result, kept so that a pass reads into warm
  // storage.
  GafRecord record_;
  std::string fileName_;
  EKroGafOpenFlags openMode_ = kGafUnknownStatus;
  std::optional<BoundingBoxNode> box_;
  State state_ = State::kEmpty;
  // How the running pass stands; Reset starts it again.
  enum class Pass { kRunning, kEnded, kFailed };
  Pass pass_ = Pass::kRunning;
};

}  // namespace kro

#endif
