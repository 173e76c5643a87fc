// The object that owns one open ".gaf" data file: it opens or creates the
// file, reads or writes its header, writes object records and reads them
// back, keeps the running object count, kinds and box, and rewrites the info
// chunk when it is closed.
//
// Invariants:
//  1. Bytes waiting in the write buffer belong at filePos_, the tracked file
//     offset; every seek and every read writes them out first, so that reads
//     see all writes and nothing is ever flushed at a wrong place.
//  2. The status is sticky: the first failure of a read, a write, a seek or a
//     format check stays in status_, with its error (where and why) in
//     error_, and nothing is written while it is not 0. Parameter refusals
//     are returned without being stored; the last one's reason stays in
//     refusal_ until the next. Only EndSearch
//     (and a writable file's close) clears kEngineEndOfResults.
//  3. New records go to appendPos_ (or into a reused free record); the reading
//     cursor is recordStart_ / recordEnd_. Each operation moves the file to
//     the place it works at, so reads and writes can be interleaved.
//  4. Every length and count read from the file is checked against the chunk
//     that holds it and against the file size before it is followed or used
//     to size a buffer.
//
// States: Opening -> HeaderOpen (new file: description, precision and
// coordinate system may still be set) -> Reading (header complete) ->
// EndOfData (a reader met the end-of-data chunk) / Closed (by Close).
// Rewind returns to Reading. Reaching the end of data never stands in for a
// close: a writable file is finished by Close or by destruction.
#ifndef KRO_ENGINE_DATAFILE_CGAFFILE_H
#define KRO_ENGINE_DATAFILE_CGAFFILE_H

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "KroGafExportImport/KroGafExportImport.h"
#include "engine/EngineError.h"
#include "engine/datafile/GafChunkTag.h"
#include "engine/datafile/GafCoordSys.h"
#include "engine/datafile/GafFormat.h"
#include "engine/datafile/GafGeometry.h"
#include "engine/datafile/GafRecord.h"
#include "engine/datafile/GafRecordCodec.h"
#include "engine/datafile/GafRecordDecoder.h"
#include "platform/FileSystem.h"
#include "engine/fileaccess/CGafRawFile.h"

namespace kro {

class GafPayloadReader;

enum class GafFileState { kOpening, kHeaderOpen, kReading, kEndOfData, kClosed };

class CGafFile {
 public:
  // Flag words: 1 read only; 2 update an existing file; 10 create (truncate);
  // 18 open or create. The object exists even when `status` is not 0 and
  // must then be destroyed. The file is opened in `env`.
  CGafFile(const char* fileName, uint32_t flagWord, EngineStatus& status, Env& env = Env::Default());
  // Closes a writable file that Close has not finished, then the handle.
  ~CGafFile();
  CGafFile(const CGafFile&) = delete;
  CGafFile& operator=(const CGafFile&) = delete;

  // Coordinate bits of the file, 32 or 64.
  uint32_t GetPrecision() const { return coordinateBits_; }
  // 32 or 64 (else eGafInvalidParameter, not stored); only while the header
  // is open, otherwise returns the status and changes nothing.
  EngineStatus SetPrecision(int16_t bits);
  // Null or longer than 65535 bytes: eGafInvalidParameter, not stored. Only
  // while the header is open.
  EngineStatus SetDescription(const char* text);
  // Reads the tag word at the current offset. Type 0..5 for object records,
  // 10 for a free record, -1 for anything else; the end-of-data chunk gives
  // kEngineEndOfResults.
  EngineStatus ReadRecordHeader(EGafObjectType& type);
  // Moves past the current record without decoding it.
  EngineStatus SkipRecord();
  // Decodes the current record, whose header was read last, into `record`,
  // reusing its storage; leaves the file at the next record. A free or
  // unknown record answers eGafWrongType. On a failure the record is empty.
  EngineStatus ReadRecord(GafRecord& record);

  // Writes one record, each text up to its first zero byte; `position`
  // receives its record position (0 when nothing was written), `box`
  // (optional) the object's box. Refused without being stored, as
  // gaf::PlanRecord says (eGafInvalidParameter, eGafPolygonUnclosed). A
  // read-only or closed file answers eGafWriteError.
  EngineStatus WriteRecord(const GafRecord& record, uint32_t& position, BoundingBoxNode* box = nullptr);

  uint32_t GetObjectCount() const { return objectCount_; }
  // The header box: xMin, yMin, xMax, yMax.
  void GetBoundingBox(BoundingBoxNode& box) const;
  // The description, or null when none was stored.
  const char* GetDescription() const { return description_ ? description_->c_str() : nullptr; }
  bool HasKind(int32_t objectType) const;
  // The record, or null when the file carries no coordinate-system metadata.
  const GafCoordSys* GetCoordSys() const { return hasMetadata_ ? &coordSys_ : nullptr; }
  // Only while the header is open: copies the record in, or (null) drops the
  // metadata. Returns the status.
  EngineStatus SetCoordSys(const GafCoordSys* record);
  // Only while the header is open: the header gets the ring-roles chunk,
  // which says that every multi-polygon record of the writer keeps each
  // polygon's exterior followed by its holes, the exteriors in the first
  // ring's orientation and the holes in the other.
  // Returns the status.
  EngineStatus SetRingRolesByOrientation();
  // Whether the header has the ring-roles chunk with the value writers write.
  bool RingRolesByOrientation() const { return ringRolesValue_ == gaf::kRingRolesValue; }

  // The sequential scan step: moves past the current record, then reads the
  // next record's header; `position` is its record position.
  EngineStatus NextRecord(EGafObjectType& type, uint32_t& position);
  // Reads the record header at a record position taken from an index.
  // `readThrough`, a later record position of the same pass, lets the read
  // that fetches this record go on over that one as well (within the
  // read-ahead buffer), so records close together come in with one read.
  EngineStatus ReadRecordAt(uint32_t position, EGafObjectType& type, uint32_t readThrough = 0);
  // Whether the record header at `position` is in the read-ahead buffer.
  bool HoldsRecordAt(uint32_t position) const { return HeldAhead(position, gaf::kTagWordSize) != nullptr; }
  // Back to the first object.
  EngineStatus Rewind();
  // Ends a read pass: clears kEngineEndOfResults and returns a writable file
  // to its append position.
  EngineStatus EndSearch();
  // Finishes a writable file: header body if still open, end-of-data chunk,
  // info chunk rewritten in place. Does nothing for a read-only file.
  EngineStatus Close();

  EngineStatus Status() const { return status_; }
  // The first failure, with where it lies and why; empty while Status() is
  // 0 or kEngineEndOfResults.
  const EngineError& Error() const { return error_; }
  // The error behind `answered`, a status word this file just gave: the
  // recorded failure, the refusal of the last write, or the word's phrase.
  EngineError ErrorFor(EngineStatus answered) const;
  GafFileState State() const { return state_; }
  uint32_t Version() const { return version_; }
  uint32_t FreeListHead() const { return freeListHead_; }
  uint32_t FirstObjectPosition() const { return firstObjectPosition_; }
  uint32_t AppendPosition() const { return appendPosition_; }
  // After a successful read of the current record: the bytes of its stored
  // length that its contents took, and those they left over. A record may be
  // longer than its contents (a reused free record keeps its length), so the
  // rest is no error here; whoever judges damage weighs it. Version 0 and 1
  // records leave nothing over: their single-set counts come from the length
  // and their multi-set records have no length to go by.
  uint32_t LastReadContentBytes() const { return lastReadContent_; }
  uint32_t LastReadUnusedBytes() const { return lastReadUnused_; }
  Env& Environment() const { return files_.Environment(); }

  bool IsReadOnly() const { return readOnly_; }
  // The file was created or truncated by this open, so its header is new.
  bool IsNewFile() const { return newFile_; }
  const std::string& FileName() const { return fileName_; }
  // The open file's handle, or kInvalidFileHandle; the object keeps owning it.
  FileHandle Handle() const { return file_; }

 private:
  using ChunkTag = gaf::ChunkTag;
  struct FreeRecord {
    uint32_t position = 0;  // of its tag word
    uint32_t length = 0;
    bool longForm = false;
    uint32_t link = 0;
  };
  // The buffered writer as the record encoder's output (CGafFileWrite.cpp).
  struct RecordOut;

  // Open, close and state (CGafFile.cpp).
  EngineStatus Open(const char* fileName, uint32_t flagWord);
  bool AllocateBuffers();
  EngineStatus PrepareForAppend();
  EngineStatus CheckEndOfDataTail(uint32_t home);
  // Object area (CGafFileFraming.cpp).
  EngineStatus CheckObjectAreaFraming();
  // Keeps the first failure, with where (an offset of the file, or
  // EngineError::kNoOffset) and why; a failure replaces kEngineEndOfResults.
  EngineStatus Fail(EngineStatus status, uint64_t offset, const char* reason);
  // A write refused before anything was written: answered, not stored.
  EngineStatus Refuse(EngineStatus status, const char* reason) const;
  // Where the file stands, for a failure of a read or a write there.
  uint64_t Here() const { return filePosition_ == kUnknownPosition ? EngineError::kNoOffset : filePosition_; }
  // A payload that did not decode: why, by what the decoder or the reader met.
  EngineStatus FailPayload(const GafPayloadReader& reader, uint32_t at, const char* pastEnd);
  void ResetReadCursor();

  // Header (CGafFileHeader.cpp, CGafFileMetadata.cpp).
  EngineStatus ReadHeader();
  void ReadHeaderChunk(const ChunkTag& tag);
  bool DecodeHeaderChunk(uint32_t code, GafPayloadReader& reader);
  bool DecodeInfo(GafPayloadReader& reader);
  void WriteInfoChunk();
  void WriteHeaderBody();
  void WriteMetadataChunks();
  void WriteEndOfData();
  uint32_t KindsWord() const;

  // Records (CGafFileWrite.cpp, CGafFileRead.cpp).
  void TakeIntoBoxes(const GafRecord& record, uint64_t vertexCount, BoundingBoxNode* box);
  void PutRecord(const GafRecord& record, const gaf::RecordPlan& plan, bool longForm, uint32_t length);
  bool IsOldMultiSet(EGafObjectType type) const;
  // ReadRecord's work; the record is left partly filled on a failure.
  EngineStatus DecodeCurrent(GafRecord& record);

  // Free records (CGafFileFreeList.cpp).
  EngineStatus FindFreeRecord(uint32_t wanted, FreeRecord& found, bool& reuse);
  bool ReadFreeRecord(uint32_t position, FreeRecord& record);
  void UnlinkFreeRecord(const FreeRecord& taken, const std::optional<FreeRecord>& previous);

  // Buffered I/O (CGafFileIo.cpp).
  uint32_t LogicalOffset() const { return filePosition_ + writeFill_; }
  uint8_t* Reserve(uint32_t count);
  void PutU16(uint32_t value);
  void PutU32(uint32_t value);
  void PutF64(double value);
  void PutString(const char* text, uint32_t length);
  void PutTag(uint32_t code, bool longForm, uint32_t length);
  void PutChunkTag(uint32_t code, uint32_t length) { PutTag(code, length > 126, length); }
  void PutPad(uint32_t length);
  void PutVertices(const CKroDoublePointNode* vertices, uint64_t count);
  void Flush();
  // Writes out what the buffer holds and drops it if that failed.
  void FlushPending();
  // Nothing to flush and already there is the common case of a pass.
  bool SeekTo(uint32_t position, EngineStatus failure = eGafSeekError) {
    return (writeFill_ == 0 && position == filePosition_) || SeekElsewhere(position, failure);
  }
  bool SeekElsewhere(uint32_t position, EngineStatus failure);
  // Moves to `position` for writing, keeping buffered bytes when already there.
  bool PositionForWrite(uint32_t position);
  bool ReadBytes(void* into, uint32_t count);
  // The next `count` bytes (at most kLongLengthSize), and the position moves
  // past them: where the read-ahead buffer holds them, as a pass almost
  // always finds a record's tag, else read into `scratch`. Null when the
  // read failed. The pointer is good until the next read.
  const uint8_t* TakeBytes(uint32_t count, uint8_t* scratch) {
    const uint8_t* held =
        writeFill_ != 0 || filePosition_ == kUnknownPosition ? nullptr : HeldAhead(filePosition_, count);
    if (held == nullptr) return ReadBytes(scratch, count) ? scratch : nullptr;
    MoveTo(filePosition_ + count);
    return held;
  }
  bool ReadTag(ChunkTag& tag);
  // The file bytes [position, position + count) where the read-ahead buffer
  // holds them, else null.
  const uint8_t* HeldAhead(uint32_t position, uint32_t count) const {
    if (aheadFill_ == 0 || position < aheadStart_) return nullptr;
    const uint32_t offset = position - aheadStart_;
    return offset <= aheadFill_ && count <= aheadFill_ - offset ? aheadBuffer_.get() + offset : nullptr;
  }
  // Read-ahead: makes the file bytes [position, position + count) available
  // in the read-ahead buffer with one read at most. A pass that goes on where
  // the buffer ends reads kReadAheadSize bytes at once, a jump elsewhere only
  // kRandomReadSize (about one record). kUnsuitable when the bytes do not fit
  // the buffer or lie past the end of the file; the caller then reads them
  // directly. After kLoaded and a failure the handle's offset is undefined.
  enum class AheadLoad { kLoaded, kUnsuitable, kSeekFailed, kReadFailed };
  AheadLoad LoadAhead(uint32_t position, uint32_t count) {
    return HeldAhead(position, count) != nullptr ? AheadLoad::kLoaded : LoadAheadFromFile(position, count);
  }
  AheadLoad LoadAheadFromFile(uint32_t position, uint32_t count);
  // Bytes a load at `position` away from the buffer reads: about one record,
  // or on through readThrough_ and a record beyond.
  uint32_t RandomLoadSize(uint32_t position) const;
  // After a failed LoadAhead: the reading position is unknown and the
  // failure sticks. Returns false.
  bool FailAhead(AheadLoad failure);
  // The payload of `length` bytes at `start` (loading at most `load` bytes,
  // REQUIRES: the file stands at `start`): decoded in the read-ahead buffer
  // when LoadAhead(start, load) put it there (`inMemory`), else read from the
  // file through the read buffer.
  GafPayloadReader PayloadReader(uint32_t start, uint32_t length, uint32_t load, bool inMemory);
  // Sets the position; the handle follows at the next file read or write.
  void MoveTo(uint32_t position) {
    filePosition_ = position;
    handleInStep_ = false;
  }
  // Puts the handle at the position; false, with eGafSeekError recorded,
  // when that fails or the position is unknown.
  bool SyncHandle();
  // Whether `length` bytes from `start` (rounded up to even) lie in the file.
  bool FitsInFile(uint32_t start, uint64_t length) const;
  uint32_t CoordinateBytes() const { return coordinateBits_ == 64 ? 8 : 4; }

  static constexpr uint32_t kUnknownPosition = 0xFFFFFFFFu;

  CGafRawFile files_;
  GafCoordSys coordSys_;
  bool hasMetadata_ = false;
  uint32_t markerValue_ = 0;
  uint32_t ringRolesValue_ = 0;  // of the ring-roles chunk; 0 without one
  std::optional<std::string> description_;
  uint32_t version_ = 2;
  uint32_t coordinateBits_ = 32;
  uint32_t freeListHead_ = 0;
  uint32_t objectCount_ = 0;
  uint32_t pointKinds_ = 0;
  uint32_t lineKinds_ = 0;
  uint32_t areaKinds_ = 0;
  GafFileBox box_;

  // Reading cursor: the current record's payload starts at recordStart_;
  // recordEnd_ is where the next chunk starts (kUnknownPosition for an old
  // multi-set record, whose extent only its content tells).
  uint32_t recordStart_ = 0;
  uint32_t recordLength_ = 0;
  uint32_t recordEnd_ = 0;
  EGafObjectType recordType_ = kGafUndefinedObject;
  // What the last successful ReadRecord found of its record's length.
  uint32_t lastReadContent_ = 0;
  uint32_t lastReadUnused_ = 0;
  // Where an old multi-set record is decoded to be passed over.
  GafRecord skipped_;

  uint32_t firstObjectPosition_ = 0;
  uint32_t appendPosition_ = 0;
  bool infoChunkFirst_ = false;
  uint32_t infoChunks_ = 0;
  bool infoLengthWrong_ = false;
  bool closedByClose_ = false;

  FileHandle file_ = kInvalidFileHandle;
  std::string fileName_;
  bool readOnly_ = false;
  bool newFile_ = false;

  // Raw bytes, not initialised: only what a read or a put stored is used. A
  // read-only file has no write buffer.
  std::unique_ptr<uint8_t[]> readBuffer_;
  std::unique_ptr<uint8_t[]> writeBuffer_;
  uint32_t writeFill_ = 0;
  // Read-ahead buffer, allocated at the first read: the file bytes
  // [aheadStart_, aheadStart_ + aheadFill_). Emptied by every write.
  std::unique_ptr<uint8_t[]> aheadBuffer_;
  uint32_t aheadStart_ = 0;
  uint32_t aheadFill_ = 0;
  // A random load reads at least through this position (0: no wish).
  uint32_t readThrough_ = 0;
  uint32_t filePosition_ = 0;
  bool handleInStep_ = true;  // the handle's offset is filePosition_
  uint32_t fileSize_ = 0;

  GafFileState state_ = GafFileState::kOpening;
  EngineStatus status_ = kEngineOk;
  EngineError error_;
  mutable EngineError refusal_;
  // The tag word of the current record, and why its payload last failed to
  // decode (kNone after a success).
  uint32_t recordAt_ = 0;
  gaf::PayloadFault payloadFault_ = gaf::PayloadFault::kNone;
};

}  // namespace kro

#endif
