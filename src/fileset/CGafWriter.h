// The writing form of the facade: file-level settings, then one object at a
// time into all files of the set. Each write puts the record into the data
// file, enters (type, box, record
// position) into the spatial index and, when the set has a key index,
// (key, record position) into it.
//
// The files stay in step: a write that can be known to fail before anything
// is written (a key longer than the key index holds, an open polygon ring,
// counts a record cannot hold, an object that does not deliver its own
// vertices) reports eKroWriteError and leaves every file as it was.
#ifndef KRO_FILESET_CGAFWRITER_H
#define KRO_FILESET_CGAFWRITER_H

#include <cstddef>
#include <memory>
#include <string>

#include "fileset/CGafEngine.h"
#include "engine/datafile/GafRecord.h"

namespace kro {

struct GafCoordSys;

class CIndexProgress;
class OrderedExport;

// How a new set's records are laid out in its data file.
enum class GafSpatialOrder {
  kAsWritten,  // in the order they were written, indexed as they come
  kHilbert,    // staged, then written at close in Hilbert order of their boxes (OrderedExport)
};

class CGafWriter final : public CGafEngine {
 public:
  explicit CGafWriter(Env& env = Env::Default());
  // An unfinished writer is finished, unreported; an ordered one writes its
  // staged objects first.
  ~CGafWriter() override;

  // Set before Open, for a set created anew (kGafCreateNew); Open refuses
  // any other mode with eKroInvalidParameter while an order is set. Under
  // kHilbert every object is checked and staged when written, nothing goes
  // into the set's files until Finish, and the set (an existing one it
  // replaces included) stays as it was until Finish commits, whatever
  // happens before. 0, or eKroIllegalFunctionCall while a set is open.
  EKroErrCode SetSpatialOrder(GafSpatialOrder order);
  // Memory the staging and sorting of an ordered export may hold
  // (OrderedExport::kDefaultBudget unless set); takes effect at Open.
  void SetOrderingBudget(size_t bytes) { orderingBudget_ = bytes; }
  // Sees the share of an ordered export's close that is done, in percent,
  // and may abort it (the set then stays as it was). Not owned.
  void SetFinishProgress(CIndexProgress* progress) { finishProgress_ = progress; }

  // Opens as CGafEngine::Open does, refusing an order set for a mode other
  // than kGafCreateNew.
  EKroErrCode Open(const char* fileName, EKroGafOpenFlags openMode, LONG useKif);

  // These take effect only while the data file's header is still open (a
  // file created by this open, before its first object); otherwise the file
  // keeps its own values and the answer is normally 0.
  // 0, or eKroInvalidParameter (a null text is always refused).
  EKroErrCode SetDescription(const char* text);
  // 0, or eKroInvalidPrecision for bits other than 32 and 64.
  EKroErrCode SetPrecision(SHORT bits);
  // 0, or eKroInvalidParameter. The record is copied.
  EKroErrCode SetCoordSys(const GafCoordSys* record);
  // The header says that the caller stores every multi-polygon record's
  // rings by orientation: each polygon's exterior followed by its holes, the
  // exteriors in the first ring's orientation, the holes in the other
  // (docs/gaf-format.md). The writer does not check
  // the rings; the component interfaces never ask. 0, eKroIllegalFunctionCall
  // when no set is open, or eKroWriteError after a failure of the data file.
  EKroErrCode SetRingRolesByOrientation();

  // One object record into every file of the set. 0 or an EKroErrCode:
  // eKroWriteError (no open set, or any file refused the record),
  // eKroInvalidType for a kind the data file does not store. `boxOut`
  // (optional) receives the object's box as the data file computed it.
  EKroErrCode Write(const GafRecord& record, BoundingBoxNode* boxOut);

  // Finishes the set: the data file's end-of-data chunk and info chunk, each
  // index's header and nodes, every file synced, then commits it. eKroOk
  // when the set is committed; eKroWriteError when anything failed
  // (LastStatus() tells what), and then the set is as it was before the open:
  // a set this writer created is removed, an append or update rolled back.
  // Destroying an unfinished writer finishes it the same way, unreported.
  EKroErrCode Finish();
  // Gives the set up: it is left as it was before the open. eKroOk, or
  // eKroWriteError when the rollback failed too (its journal stays, and the
  // next open of the set rolls it back).
  EKroErrCode Discard();
  // A file failed while taking an object, so the set can only be discarded;
  // Finish then reports eKroWriteError.
  bool IsDamaged() const { return damaged_; }

  // Coordinate bits of the data file, 32 or 64; 0 when no set is open.
  uint32_t GetPrecision() const;

  // Record position of the object written last; 0 before the first, and
  // in an ordered export, whose positions are known only at close.
  uint32_t LastRecordPosition() const { return lastRecordPosition_; }

  // A set is open for writing.
  bool CanWrite() const { return state_ >= State::kOpen; }

 private:
  // Whether the set's key index can take `key`; always true without one.
  bool KeyIndexAccepts(const std::string& key) const;
  // After the data file took the record: box out, spatial index, key index.
  EKroErrCode IndexRecord(EGafObjectType type, const std::string& key, const BoundingBoxNode& box,
                          BoundingBoxNode* boxOut);

  // Whether the header settings still take effect: the data file's header
  // is open, and an ordered export has staged nothing yet.
  bool HeaderStillOpen() const;
  EKroErrCode Stage(const GafRecord& record, BoundingBoxNode* boxOut);
  EKroErrCode FinishOrdered();

  uint32_t lastRecordPosition_ = 0;
  GafSpatialOrder order_ = GafSpatialOrder::kAsWritten;
  size_t orderingBudget_;
  CIndexProgress* finishProgress_ = nullptr;
  std::unique_ptr<OrderedExport> staging_;
};

}  // namespace kro

#endif
