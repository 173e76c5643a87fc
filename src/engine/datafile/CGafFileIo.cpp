// Buffered big-endian I/O of a data file. Writes collect in the 256 KiB write
// buffer and reach the file at a flush; the file offset is tracked here, so
// that positions cost no system call.
//
// The handle's own offset follows the position lazily: a seek, or a read
// served from the read-ahead buffer, only moves filePosition_, and the
// handle is put there (SyncHandle) right before the next read or write that
// goes to the file. Invariant: handleInStep_ means the handle's offset is
// filePosition_.
#include <algorithm>
#include <cstring>
#include <new>

#include "engine/datafile/CGafFile.h"
#include "engine/datafile/GafByteOrder.h"
#include "engine/datafile/GafFormat.h"
#include "engine/datafile/GafPayloadReader.h"

namespace kro {

// REQUIRES: count <= kIoBufferSize. When the buffer cannot be emptied (the
// status holds a failure) its contents are dropped: nothing is written any
// more, so the bytes only need room.
uint8_t* CGafFile::Reserve(uint32_t count) {
  if (writeFill_ + count > gaf::kIoBufferSize) {
    Flush();
    if (writeFill_ + count > gaf::kIoBufferSize) writeFill_ = 0;
  }
  uint8_t* at = writeBuffer_.get() + writeFill_;
  writeFill_ += count;
  return at;
}

void CGafFile::PutU16(uint32_t value) { gaf::StoreU16(Reserve(2), value); }
void CGafFile::PutU32(uint32_t value) { gaf::StoreU32(Reserve(4), value); }
void CGafFile::PutF64(double value) { gaf::StoreF64(Reserve(8), value); }

// REQUIRES: length <= kMaxStringBytes.
void CGafFile::PutString(const char* text, uint32_t length) {
  if (length <= gaf::kMaxShortString) {
    *Reserve(1) = static_cast<uint8_t>(length);
  } else {
    uint8_t* prefix = Reserve(3);
    prefix[0] = gaf::kLongStringMarker;
    gaf::StoreU16(prefix + 1, length);
  }
  if (length > 0) std::memcpy(Reserve(length), text, length);
}

void CGafFile::PutTag(uint32_t code, bool longForm, uint32_t length) {
  PutU16(gaf::TagWord(code, longForm, length));
  if (longForm) PutU32(length);
}

void CGafFile::PutPad(uint32_t length) {
  if ((length & 1u) != 0) *Reserve(1) = 0;
}

void CGafFile::PutVertices(const CKroDoublePointNode* vertices, uint64_t count) {
  const uint32_t vertexBytes = 2 * CoordinateBytes();
  while (count > 0) {
    uint32_t room = (gaf::kIoBufferSize - writeFill_) / vertexBytes;
    if (room == 0) {
      Flush();
      if (writeFill_ + vertexBytes > gaf::kIoBufferSize) writeFill_ = 0;
      room = (gaf::kIoBufferSize - writeFill_) / vertexBytes;
    }
    const uint32_t batch = static_cast<uint32_t>(std::min<uint64_t>(count, room));
    uint8_t* out = Reserve(batch * vertexBytes);
    if (vertexBytes == 16) {
      for (uint32_t i = 0; i < batch; ++i, out += 16) {
        gaf::StoreF64(out, vertices[i].x);
        gaf::StoreF64(out + 8, vertices[i].y);
      }
    } else {
      for (uint32_t i = 0; i < batch; ++i, out += 8) {
        gaf::StoreF32(out, vertices[i].x);
        gaf::StoreF32(out + 4, vertices[i].y);
      }
    }
    vertices += batch;
    count -= batch;
  }
}

void CGafFile::Flush() {
  if (status_ != kEngineOk || writeFill_ == 0) return;
  aheadFill_ = 0;
  if (!SyncHandle()) return;
  if (!files_.Write(file_, writeBuffer_.get(), writeFill_)) {
    Fail(eGafWriteError, Here(), "the file cannot be written");
    filePosition_ = kUnknownPosition;
    return;
  }
  filePosition_ += writeFill_;
  fileSize_ = std::max(fileSize_, filePosition_);
  writeFill_ = 0;
}

void CGafFile::FlushPending() {
  if (writeFill_ == 0) return;
  Flush();
  writeFill_ = 0;
}

bool CGafFile::SeekElsewhere(uint32_t position, EngineStatus failure) {
  FlushPending();
  if (position == filePosition_) return true;
  if (position > kMaxFileOffset) {
    filePosition_ = kUnknownPosition;
    Fail(failure, position, "the position lies beyond the largest offset a data file has");
    return false;
  }
  MoveTo(position);
  return true;
}

bool CGafFile::SyncHandle() {
  if (handleInStep_ && filePosition_ != kUnknownPosition) return true;
  if (filePosition_ == kUnknownPosition ||
      !files_.Seek(file_, static_cast<int32_t>(filePosition_), SeekOrigin::kBegin)) {
    Fail(eGafSeekError, Here(), "the file cannot be positioned");
    filePosition_ = kUnknownPosition;
    return false;
  }
  handleInStep_ = true;
  return true;
}

bool CGafFile::PositionForWrite(uint32_t position) {
  return LogicalOffset() == position || SeekTo(position);
}

uint32_t CGafFile::RandomLoadSize(uint32_t position) const {
  if (readThrough_ <= position) return gaf::kRandomReadSize;
  return std::min(readThrough_ - position, gaf::kReadAheadSize - gaf::kRandomReadSize) + gaf::kRandomReadSize;
}

CGafFile::AheadLoad CGafFile::LoadAheadFromFile(uint32_t position, uint32_t count) {
  const uint32_t offset = position - aheadStart_;
  if (count > gaf::kReadAheadSize || position >= fileSize_ || count > fileSize_ - position) return AheadLoad::kUnsuitable;
  if (aheadBuffer_ == nullptr) {
    aheadBuffer_.reset(new (std::nothrow) uint8_t[gaf::kReadAheadSize]);
    if (aheadBuffer_ == nullptr) return AheadLoad::kUnsuitable;
  }
  const bool goesOn = aheadFill_ > 0 && position >= aheadStart_ && offset <= aheadFill_;
  const uint32_t wanted = std::min(std::max(count, goesOn ? gaf::kReadAheadSize : RandomLoadSize(position)),
                                   fileSize_ - position);
  aheadFill_ = 0;
  handleInStep_ = false;
  if (!files_.Seek(file_, static_cast<int32_t>(position), SeekOrigin::kBegin)) return AheadLoad::kSeekFailed;
  if (!files_.Read(file_, aheadBuffer_.get(), wanted)) return AheadLoad::kReadFailed;
  aheadStart_ = position;
  aheadFill_ = wanted;
  return AheadLoad::kLoaded;
}

GafPayloadReader CGafFile::PayloadReader(uint32_t start, uint32_t length, uint32_t load, bool inMemory) {
  if (inMemory) return GafPayloadReader(aheadBuffer_.get() + (start - aheadStart_), length, load);
  // Without a handle in step (the failure is already recorded) the reader
  // fails at its first read instead of reading elsewhere.
  const FileHandle handle = SyncHandle() ? file_ : kInvalidFileHandle;
  return GafPayloadReader(files_, handle, readBuffer_.get(), gaf::kIoBufferSize, length, load);
}

bool CGafFile::FailAhead(AheadLoad failure) {
  const bool seek = failure == AheadLoad::kSeekFailed;
  Fail(seek ? eGafSeekError : eGafReadError, Here(),
       seek ? "the file cannot be positioned" : "the file cannot be read");
  filePosition_ = kUnknownPosition;
  return false;
}

bool CGafFile::ReadBytes(void* into, uint32_t count) {
  FlushPending();
  const AheadLoad ahead = filePosition_ == kUnknownPosition ? AheadLoad::kUnsuitable : LoadAhead(filePosition_, count);
  if (ahead == AheadLoad::kLoaded) {
    std::memcpy(into, aheadBuffer_.get() + (filePosition_ - aheadStart_), count);
    MoveTo(filePosition_ + count);
    return true;
  }
  if (ahead != AheadLoad::kUnsuitable) return FailAhead(ahead);
  if (filePosition_ == kUnknownPosition || !SyncHandle() || !files_.Read(file_, into, count)) {
    const bool pastEnd = filePosition_ != kUnknownPosition && static_cast<uint64_t>(filePosition_) + count > fileSize_;
    Fail(eGafReadError, Here(), pastEnd ? "the file ends in the middle of a chunk" : "the file cannot be read");
    filePosition_ = kUnknownPosition;
    return false;
  }
  filePosition_ += count;
  return true;
}

bool CGafFile::ReadTag(ChunkTag& tag) {
  uint8_t scratch[gaf::kLongLengthSize];
  const uint8_t* word = TakeBytes(gaf::kTagWordSize, scratch);
  if (word == nullptr) return false;
  tag = gaf::DecodeTagWord(word);
  if (tag.longForm) {
    const uint8_t* length = TakeBytes(gaf::kLongLengthSize, scratch);
    if (length == nullptr) return false;
    gaf::DecodeLongLength(length, tag);
  }
  return true;
}

bool CGafFile::FitsInFile(uint32_t start, uint64_t length) const {
  return start != kUnknownPosition && start + gaf::RoundUpEven64(length) <= fileSize_;
}

}  // namespace kro
