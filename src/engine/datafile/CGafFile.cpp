// Opening, closing and the state of a data file; its settings and queries.
#include "engine/datafile/CGafFile.h"

#include <cstring>
#include <new>

#include "engine/datafile/GafFormat.h"

namespace kro {

CGafFile::CGafFile(const char* fileName, uint32_t flagWord, EngineStatus& status, Env& env) : files_(env) {
  status = Open(fileName, flagWord);
}

CGafFile::~CGafFile() {
  if (!readOnly_ && !closedByClose_ && file_ != kInvalidFileHandle) Close();
  if (file_ != kInvalidFileHandle) files_.Close(file_);
  file_ = kInvalidFileHandle;
}

EngineStatus CGafFile::Open(const char* fileName, uint32_t flagWord) {
  if (fileName == nullptr) return Fail(eGafCannotOpen, EngineError::kNoOffset, "no file name was given");
  readOnly_ = (flagWord & kOpenReadOnly) != 0;
  // Decided before the open, which may create the file.
  newFile_ = !readOnly_ && (flagWord & kOpenReadWrite) != 0 &&
             (!files_.Exists(fileName) || (flagWord & kOpenCreateTruncate) != 0);
  fileName_ = fileName;
  if (!files_.Open(fileName, flagWord, file_)) {
    return Fail(eGafCannotOpen, EngineError::kNoOffset, "the file cannot be opened");
  }
  if (!AllocateBuffers()) return Fail(eGafOutOfMemory, EngineError::kNoOffset, "no memory for the file's buffers");
  const bool truncated = newFile_ && (flagWord & kOpenCreateTruncate) != 0;
  if (!truncated && !files_.Size(file_, fileSize_)) {
    return Fail(eGafReadError, EngineError::kNoOffset, "the size of the file cannot be read");
  }
  // A file that has content is read, never covered by a fresh header, even
  // when the existence test said otherwise (it failed, or the file appeared
  // in between).
  if (fileSize_ != 0) newFile_ = false;

  if (newFile_) {
    // The info chunk waits in the write buffer; the header body follows with
    // the first record or at close.
    WriteInfoChunk();
    state_ = GafFileState::kHeaderOpen;
    return status_;
  }
  state_ = GafFileState::kHeaderOpen;
  if (ReadHeader() != kEngineOk) return status_;
  if (version_ > gaf::kMaxReadableVersion) {
    return Fail(eGafBadVersion, 0, "the format version is newer than this library reads");
  }
  if (infoLengthWrong_) return Fail(eGafBadFormat, 0, "the info chunk has the wrong length");
  if (!gaf::IsValidPrecision(coordinateBits_)) {
    return Fail(eGafBadFormat, 0, "the header's precision is neither 32 nor 64 bits");
  }
  const bool oldLayout = version_ <= gaf::kLastOldLayoutVersion;
  // Only a current-version file can have been left by a writer of this
  // engine that died before close: its end-of-data chunk is then missing.
  if (readOnly_) return oldLayout ? status_ : CheckEndOfDataTail(firstObjectPosition_);
  if (oldLayout) return Fail(eGafBadVersion, 0, "a file of this old format version can only be read");
  return PrepareForAppend();
}

bool CGafFile::AllocateBuffers() {
  try {
    readBuffer_.reset(new uint8_t[gaf::kIoBufferSize]);
    if (!readOnly_) writeBuffer_.reset(new uint8_t[gaf::kIoBufferSize]);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

// Close rewrites offset 0 .. 45 and new records overwrite the end-of-data
// chunk, so both must be where the format puts them before anything is
// written into an existing file; and no record may lie behind an earlier
// end-of-data chunk, where a sequential reader would never find it.
EngineStatus CGafFile::PrepareForAppend() {
  if (!infoChunkFirst_) return Fail(eGafBadFormat, 0, "the file does not start with its info chunk");
  if (CheckObjectAreaFraming() != kEngineOk) return status_;
  const uint32_t endMarker = fileSize_ - gaf::kEndOfDataSize;
  if (CheckEndOfDataTail(endMarker) != kEngineOk) return status_;
  appendPosition_ = endMarker;
  return status_;
}

// The last two bytes must be the end-of-data chunk, at an even offset behind
// the header. Leaves the file at `home`.
EngineStatus CGafFile::CheckEndOfDataTail(uint32_t home) {
  if ((fileSize_ & 1u) != 0 ||
      fileSize_ < static_cast<uint64_t>(firstObjectPosition_) + gaf::kEndOfDataSize) {
    return Fail(eGafBadFormat, fileSize_, "the file ends without its end-of-data chunk (a writer did not finish it)");
  }
  ChunkTag tag;
  if (!SeekTo(fileSize_ - gaf::kEndOfDataSize) || !ReadTag(tag)) return status_;
  if (tag.code != gaf::kCodeEndOfData || tag.length != 0 || tag.longForm) {
    return Fail(eGafBadFormat, fileSize_ - gaf::kEndOfDataSize,
                "the file ends without its end-of-data chunk (a writer did not finish it)");
  }
  SeekTo(home);
  return status_;
}

void CGafFile::ResetReadCursor() {
  recordStart_ = recordEnd_ = firstObjectPosition_;
  recordLength_ = 0;
  recordType_ = kGafUndefinedObject;
}

EngineStatus CGafFile::Close() {
  if (readOnly_ || closedByClose_ || file_ == kInvalidFileHandle) return status_;
  closedByClose_ = true;
  // A reader that met the end of data has not finished the file.
  if (status_ == kEngineEndOfResults) status_ = kEngineOk;
  if (status_ == kEngineOk && state_ == GafFileState::kHeaderOpen) WriteHeaderBody();
  if (status_ == kEngineOk && PositionForWrite(appendPosition_)) {
    WriteEndOfData();
    Flush();
  }
  if (status_ == kEngineOk && SeekTo(0)) {
    WriteInfoChunk();
    Flush();
  }
  // Whatever could not be written stays unwritten: after a failure the file
  // keeps its last consistent header.
  writeFill_ = 0;
  state_ = GafFileState::kClosed;
  return status_;
}

EngineStatus CGafFile::Rewind() {
  if (firstObjectPosition_ == 0) return eGafNoObjectArea;
  SeekTo(firstObjectPosition_);
  ResetReadCursor();
  state_ = GafFileState::kReading;
  return status_;
}

EngineStatus CGafFile::EndSearch() {
  const uint32_t home = readOnly_ ? firstObjectPosition_ : appendPosition_;
  if (home != 0) SeekTo(home);
  if (firstObjectPosition_ != 0) ResetReadCursor();
  if (status_ == kEngineEndOfResults) status_ = kEngineOk;
  if (state_ == GafFileState::kEndOfData) state_ = GafFileState::kReading;
  return status_;
}

EngineStatus CGafFile::SetPrecision(int16_t bits) {
  if (!gaf::IsValidPrecision(static_cast<uint32_t>(bits))) return eGafInvalidParameter;
  if (state_ != GafFileState::kHeaderOpen) return status_;
  coordinateBits_ = static_cast<uint32_t>(bits);
  return status_;
}

EngineStatus CGafFile::SetDescription(const char* text) {
  if (text == nullptr) return eGafInvalidParameter;
  if (state_ != GafFileState::kHeaderOpen) return status_;
  const size_t length = strnlen(text, gaf::kMaxStringBytes + 1);
  if (length > gaf::kMaxStringBytes) return eGafInvalidParameter;
  try {
    description_.emplace(text, length);
  } catch (const std::bad_alloc&) {
    return eGafOutOfMemory;
  }
  return status_;
}

EngineStatus CGafFile::SetCoordSys(const GafCoordSys* record) {
  if (state_ != GafFileState::kHeaderOpen) return status_;
  if (record != nullptr) coordSys_ = *record;
  hasMetadata_ = record != nullptr;
  return status_;
}

EngineStatus CGafFile::SetRingRolesByOrientation() {
  if (state_ == GafFileState::kHeaderOpen) ringRolesValue_ = gaf::kRingRolesValue;
  return status_;
}

void CGafFile::GetBoundingBox(BoundingBoxNode& box) const { box = {box_.xMin, box_.yMin, box_.xMax, box_.yMax}; }

bool CGafFile::HasKind(int32_t objectType) const {
  const uint32_t bit = gaf::KindBit(objectType);
  return bit != 0 && (KindsWord() & bit) != 0;
}

uint32_t CGafFile::KindsWord() const {
  return (pointKinds_ != 0 ? gaf::kKindPoints : 0) | (lineKinds_ != 0 ? gaf::kKindLines : 0) |
         (areaKinds_ != 0 ? gaf::kKindAreas : 0);
}

}  // namespace kro
