// The reading form of the facade: the file set opened read-only, its header
// values, and one running pass over its objects, either a sequential scan in
// data-file order or a search through the spatial index for the objects
// whose boxes meet a query box (a box that covers the whole index extent
// turns into a sequential scan).
//
// A pass: Begin..., then Next for the record of each result; or, for a pass
// that only needs positions and kinds, NextResult, which steps without
// decoding (Read then decodes the result it stands on).
#ifndef KRO_FILESET_CGAFREADER_H
#define KRO_FILESET_CGAFREADER_H

#include <string>

#include "engine/datafile/GafRecord.h"
#include "engine/writesession/SetFileStamps.h"
#include "fileset/CGafEngine.h"

namespace kro {

struct GafCoordSys;

class CGafReader final : public CGafEngine {
 public:
  explicit CGafReader(Env& env = Env::Default());
  // Ends a running pass, then closes the set.
  ~CGafReader() override;

  // 0, or eKroUnableToOpen for a mode other than kGafReadOnly and
  // kGafReadPartial or any failure to open the set (LastStatus() tells
  // which). A key index is opened only when its file exists.
  EKroErrCode OpenForRead(const char* fileName, EKroGafOpenFlags openMode);
  // Opens the data file alone, read-only, for a set whose spatial index is
  // missing: sequential and positioned passes work, BeginSpatialSearch and
  // BeginKeySearch are refused. 0 or eKroUnableToOpen (LastStatus() tells
  // which failure).
  EKroErrCode OpenDataFileOnly(const char* fileName);
  bool HasSpatialIndex() const { return spatialIndex_ != nullptr; }

  // The data file header's box; eKroFailObtainBoundingBox when not open.
  EKroErrCode GetBoundingBox(BoundingBoxNode* out) const;
  // `*out` becomes the coordinate-system code when the file has metadata,
  // else the empty text; valid while the set is open.
  // eKroFailObtainBoundingBox when not open.
  EKroErrCode GetCoordSysName(const char** out) const;
  // Copies the file's metadata record when it has one; `*out` is left alone
  // otherwise.
  EKroErrCode CopyCoordSys(GafCoordSys* out) const;
  // 1 when the file carries metadata, else 0.
  LONG HasMetaData() const;
  // The data file header's object count; 0 when not open.
  LONG GetNumberOfObjects() const;
  // The header's description, or null when it has none or the set is not open.
  const char* GetDescription() const;
  // Whether the header's kinds word has the kind of `objectType` (points,
  // lines or areas); false when not open.
  bool HasKind(int32_t objectType) const;
  // Coordinate bits of the data file, 32 or 64; 0 when not open.
  uint32_t GetPrecision() const;
  // Whether the header says that its writer stored the rings of multi-polygon
  // records by orientation (CGafWriter::SetRingRolesByOrientation); false
  // when not open.
  bool RingRolesByOrientation() const;

  // 0 or eKroReadError.
  EKroErrCode BeginSequential();
  // 0, eKroReadError, or eKroInvalidParameter for a null box or a set opened
  // without its spatial index.
  EKroErrCode BeginSpatialSearch(const BoundingBoxNode* box);
  // 0, eKroReadError, or eKroInvalidParameter for a null key or a set
  // without a key index: a pass over the objects whose key equals `key`,
  // found through the key index.
  EKroErrCode BeginKeySearch(const char* key);
  // 0 or eKroReadError: a pass of exactly one result, the record at
  // `position` (a record position as the indexes store it).
  EKroErrCode BeginAt(uint32_t position);
  // The next result in one step: 0 with `record` holding it (an object
  // record decoded into the record's storage, its box known in a spatial
  // pass; a free record (kind 10) or an unknown one (-1) with no contents),
  // eKroEndOfGaf at the end, or eKroReadError when the step or the read
  // failed.
  EKroErrCode Next(GafRecord& record);
  // The step without decoding: 0 with the kind of the next result (0 to 5
  // for objects, 10 for a free record, -1 for an unknown record),
  // eKroEndOfGaf at the end, or eKroReadError.
  EKroErrCode NextResult(EGafObjectType* kind);
  // Decodes the result NextResult stepped onto; eKroIllegalFunctionCall
  // outside a pass, eKroReadError when the data file cannot read it (a free
  // or unknown record included).
  EKroErrCode Read(GafRecord& record);
  // Record position of the current result; 0 before the first. After a
  // failed NextResult, the position of the record whose header could not be
  // read, or 0 when the step failed before it reached one.
  uint32_t CurrentPosition() const { return currentPosition_; }
  // After a successful read of the current result: the bytes of its
  // stored length its contents took and those they left over (see
  // CGafFile::LastReadUnusedBytes).
  uint32_t CurrentContentBytes() const;
  uint32_t CurrentUnusedBytes() const;
  // 0; eKroIllegalFunctionCall outside a pass; eKroUnknownErr when the data
  // file fails to return to its resting position.
  EKroErrCode EndSearch();

  // Keeping an idle reader for the next pass over the same set
  // (CGafReaderPark.cpp). Park ends a running pass and lets go of the set's
  // locks, so that writers may open it, while the reader keeps its files,
  // caches and buffers. Only a reader opened by OpenForRead whose last step
  // did not fail can be parked; false otherwise, or when the files cannot be
  // let go of such that a change would be noticed: the reader must then be
  // destroyed. A parked reader refuses every pass.
  bool Park();
  // Takes the shared locks back and makes sure the set is as it was at Park
  // and has no writer's journal beside it; true: open and idle, as after
  // OpenForRead. False: the set was taken by a writer or changed, and the
  // reader must be destroyed (the set is then opened afresh).
  bool Resume();
  bool IsParked() const { return parked_; }
  // The data file's name as opened, or the empty text.
  const std::string& FileName() const;

 private:
  bool IsReading() const { return state_ == State::kReading; }
  // Enters the reading state in `mode` with no current result.
  void StartPass(Mode mode);
  // The next record position of an index-driven pass (spatial, key or a
  // single position); kEngineEndOfResults when there is none.
  EngineStatus NextIndexedPosition();
  // The last record position one read should cover along with the current
  // record, or 0.
  uint32_t ReadThrough() const;
  // Largest stretch between two hits that one read still spans: reading it
  // costs less than another system call.
  static constexpr uint32_t kCoalescingGap = 4096;

  uint32_t currentPosition_ = 0;
  BoundingBoxNode currentBox_{};
  EGafObjectType currentKind_ = kGafUndefinedObject;
  // Sequential scan: the current record's body was not read, so the data
  // file still stands inside it.
  bool currentUnread_ = false;
  // A single-position pass: the position not yet handed out, else 0.
  uint32_t pendingPosition_ = 0;

  // Parking (CGafReaderPark.cpp).
  std::array<FileHandle, 3> SetHandles() const;
  bool LastStepFailed() const;
  SetFileStamps parkedStamps_;
  bool parked_ = false;
};

}  // namespace kro

#endif
