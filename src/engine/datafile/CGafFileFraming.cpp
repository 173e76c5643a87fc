// The chunk framing of the object area, checked before an existing file is
// written into: every chunk from the first object on must lie in the file,
// and the only end-of-data chunk must be the last two bytes.
#include <algorithm>

#include "engine/datafile/CGafFile.h"
#include "engine/datafile/GafChunkTag.h"
#include "engine/datafile/GafFormat.h"

namespace kro {

// Reads the file through the raw read buffer, a whole buffer at a time, so a
// file of small records costs one read per 256 KiB; a record longer than the
// buffer costs one seek. Every step passes at least one tag word, so the walk
// ends within fileSize / 2 steps.
EngineStatus CGafFile::CheckObjectAreaFraming() {
  if (fileSize_ < static_cast<uint64_t>(firstObjectPosition_) + gaf::kEndOfDataSize) {
    return Fail(eGafBadFormat, fileSize_, "the file ends without its end-of-data chunk (a writer did not finish it)");
  }
  const uint64_t endMarker = fileSize_ - gaf::kEndOfDataSize;
  const uint32_t longHeader = gaf::TagHeaderSize(true);
  uint64_t at = firstObjectPosition_;
  uint64_t windowStart = 0;
  uint32_t windowSize = 0;
  while (at < endMarker) {
    const uint64_t headerEnd = std::min<uint64_t>(at + longHeader, fileSize_);
    if (at < windowStart || headerEnd > windowStart + windowSize) {
      windowStart = at;
      windowSize = static_cast<uint32_t>(std::min<uint64_t>(gaf::kIoBufferSize, fileSize_ - at));
      if (!SeekTo(static_cast<uint32_t>(at)) || !ReadBytes(readBuffer_.get(), windowSize)) return status_;
    }
    ChunkTag tag;
    uint32_t needed = 0;
    if (!gaf::DecodeChunkTag(readBuffer_.get() + (at - windowStart), windowStart + windowSize - at, tag, needed) ||
        tag.code == gaf::kCodeEndOfData) {
      return Fail(eGafBadFormat, at,
                  tag.code == gaf::kCodeEndOfData ? "an end-of-data chunk lies before the end of the file"
                                                  : "a chunk's tag runs past the end of the file");
    }
    at += tag.HeaderSize() + gaf::RoundUpEven64(tag.length);
  }
  return at == endMarker ? status_ : Fail(eGafBadFormat, endMarker, "a chunk runs over the end-of-data chunk");
}

}  // namespace kro
