// Reuse of free records: a best-fit walk of the free list that a writer runs
// before it appends a record.
#include "engine/datafile/CGafFile.h"
#include "engine/datafile/GafRecordDecoder.h"
#include "engine/datafile/GafFormat.h"

namespace kro {

// Takes the free record whose length equals `wanted` (the walk stops there)
// or else the one with the smallest slack below `wanted`, the earlier one on a
// tie; nothing when none qualifies. The file is not trusted: every element
// must be a free record inside the object area, and the walk is bounded by the
// number of free records the object area can hold, so a looping list ends in
// eGafBadFormat.
EngineStatus CGafFile::FindFreeRecord(uint32_t wanted, FreeRecord& found, bool& reuse) {
  reuse = false;
  FlushPending();
  if (status_ != kEngineOk) return status_;
  const uint32_t area = appendPosition_ > firstObjectPosition_ ? appendPosition_ - firstObjectPosition_ : 0;
  const uint64_t maxSteps = area / (gaf::kTagWordSize + gaf::kFreeLinkSize) + 1;
  std::optional<FreeRecord> previous;
  std::optional<FreeRecord> best;
  std::optional<FreeRecord> beforeBest;
  uint32_t bestSlack = wanted;
  uint32_t position = freeListHead_;
  for (uint64_t steps = 0; position != 0; ++steps) {
    if (steps >= maxSteps) return Fail(eGafBadFormat, freeListHead_, "the list of free records runs in a loop");
    FreeRecord current;
    if (!ReadFreeRecord(position, current)) return status_;
    if (current.length == wanted) {
      best = current;
      beforeBest = previous;
      break;
    }
    if (current.length > wanted && current.length - wanted < bestSlack) {
      bestSlack = current.length - wanted;
      best = current;
      beforeBest = previous;
    }
    previous = current;
    position = current.link;
  }
  if (!best) return status_;
  UnlinkFreeRecord(*best, beforeBest);
  if (status_ != kEngineOk) return status_;
  found = *best;
  reuse = true;
  return status_;
}

bool CGafFile::ReadFreeRecord(uint32_t position, FreeRecord& record) {
  if ((position & 1u) != 0 || position < firstObjectPosition_ || position >= appendPosition_) {
    Fail(eGafBadFormat, position, "a link of the free-record list points outside the object area");
    return false;
  }
  ChunkTag tag;
  uint8_t link[gaf::kFreeLinkSize];
  if (!SeekTo(position) || !ReadTag(tag)) return false;
  // A reused record must end before the end-of-data chunk that close rewrites.
  const uint64_t end = static_cast<uint64_t>(filePosition_) + gaf::RoundUpEven64(tag.length);
  if (tag.code != gaf::kCodeFree || tag.length < gaf::kFreeLinkSize || end > appendPosition_) {
    Fail(eGafBadFormat, position, "a link of the free-record list leads to no free record");
    return false;
  }
  uint32_t next = 0;
  if (!ReadBytes(link, sizeof link) || !gaf::DecodeFreeLink(link, tag.length, next)) return false;
  record = {position, tag.length, tag.longForm, next};
  return true;
}

// The head moves in memory (the info chunk is rewritten at close); a link
// inside the list is rewritten at once, the tag in its own form.
void CGafFile::UnlinkFreeRecord(const FreeRecord& taken, const std::optional<FreeRecord>& previous) {
  if (!previous) {
    freeListHead_ = taken.link;
    return;
  }
  if (!SeekTo(previous->position)) return;
  PutTag(gaf::kCodeFree, previous->longForm, previous->length);
  PutU32(taken.link);
  Flush();
}

}  // namespace kro
