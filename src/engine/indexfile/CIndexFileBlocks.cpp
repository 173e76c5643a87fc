// Block places, free lists and the block cache of an index file.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "engine/indexfile/BlockClaims.h"
#include "engine/indexfile/BlockRun.h"
#include "engine/indexfile/CIndexFile.h"
#include "engine/indexfile/IndexBytes.h"

namespace kro {
namespace {

// Largest write the flush of adjacent dirty blocks gathers into one call.
constexpr size_t kFlushRunBytes = 1u << 20;

}  // namespace

bool CIndexFile::SeekTo(FileHandle file, uint32_t position) const {
  return position <= kMaxFileOffset && files_.Seek(file, static_cast<int32_t>(position), SeekOrigin::kBegin);
}

bool CIndexFile::WriteRun(uint32_t position, const unsigned char* bytes, size_t count) {
  return SeekTo(handle_, position) && files_.Write(handle_, bytes, static_cast<uint32_t>(count));
}

BlockIo CIndexFile::SetCacheBudget(size_t bytes) {
  blocks_.SetBudget(bytes);
  return EvictOverBudget();
}

BlockIo CIndexFile::EvictOverBudget() {
  while (BlockCache::Block* victim = blocks_.Victim()) {
    if (victim->dirty && !WriteRun(victim->position, victim->bytes.get(), victim->size)) {
      return BlockIo::kWriteFailed;
    }
    blocks_.Drop(victim->position);
  }
  return BlockIo::kOk;
}

BlockIo CIndexFile::ReadBlock(uint32_t position, unsigned char* out, uint32_t size) {
  const unsigned char* bytes = nullptr;
  const BlockIo io = ViewBlock(position, size, out, bytes);
  if (io == BlockIo::kOk && bytes != out) std::memcpy(out, bytes, size);
  return io;
}

BlockIo CIndexFile::ViewBlock(uint32_t position, uint32_t size, unsigned char* scratch, const unsigned char*& bytes) {
  bytes = scratch;
  BlockCache::Block* cached = blocks_.Find(position);
  if (cached != nullptr && cached->size != size) {
    // Only a damaged file reads one place as two kinds of block; the file
    // must then see what was written there before it is read again.
    if (cached->dirty && !WriteRun(position, cached->bytes.get(), cached->size)) return BlockIo::kWriteFailed;
    blocks_.Drop(position);
    cached = nullptr;
  }
  if (cached != nullptr) {
    bytes = cached->bytes.get();
    return BlockIo::kOk;
  }
  BlockIo io = BlockIo::kOk;
  if (const unsigned char* held = ViewHeld(position, size, io)) {
    bytes = held;
    return BlockIo::kOk;
  }
  if (io != BlockIo::kOk) return io;
  if (!SeekTo(handle_, position) || !files_.Read(handle_, scratch, size)) return BlockIo::kReadFailed;
  BlockCache::Block* kept = blocks_.Insert(position, size);
  if (kept != nullptr) std::memcpy(kept->bytes.get(), scratch, size);
  return EvictOverBudget();
}

BlockIo CIndexFile::PrefetchBlocks(const uint32_t* positions, uint32_t count, uint32_t size) {
  if (size > kPrefetchBytes / 2) return BlockIo::kOk;  // no two such blocks fit one run
  for (uint32_t first = 0; first < count;) {
    if (blocks_.Find(positions[first]) != nullptr) {
      ++first;
      continue;
    }
    const auto last = static_cast<uint32_t>(BlockRunLast(positions, first, count, size, kPrefetchBytes, blocks_));
    if (last > first) {
      const BlockIo io = ReadRun(positions + first, last - first + 1, size);
      if (io != BlockIo::kOk) return io;
    }
    first = last + 1;
  }
  return BlockIo::kOk;
}

const unsigned char* CIndexFile::ViewHeld(uint32_t position, uint32_t size, BlockIo& io) {
  if (const unsigned char* held = held_.Find(position, size)) return held;
  uint32_t start = 0, length = 0;
  if (!held_.PlanRun(position, size, blocks_, start, length)) return nullptr;
  // Every held block is a block place inside the file, so the run does not
  // reach past its end: a failed read is a failure of the file.
  if (SeekTo(handle_, start) && files_.Read(handle_, held_.Buffer(), length)) {
    held_.RunRead(start, length);
    return held_.Buffer();
  }
  held_.RunLost();
  io = BlockIo::kReadFailed;
  return nullptr;
}

// One read from the first block of the run through the last; every block
// of the run goes into the cache.
BlockIo CIndexFile::ReadRun(const uint32_t* positions, uint32_t count, uint32_t size) {
  if (prefetchBuffer_ == nullptr) {
    prefetchBuffer_.reset(new (std::nothrow) unsigned char[kPrefetchBytes]);
    if (prefetchBuffer_ == nullptr) return BlockIo::kOk;  // each block is read when viewed
  }
  const uint32_t start = positions[0];
  if (!SeekTo(handle_, start) || !files_.Read(handle_, prefetchBuffer_.get(), positions[count - 1] + size - start)) {
    return BlockIo::kReadFailed;
  }
  for (uint32_t i = 0; i < count; ++i) {
    BlockCache::Block* kept = blocks_.Insert(positions[i], size);
    if (kept != nullptr) std::memcpy(kept->bytes.get(), prefetchBuffer_.get() + (positions[i] - start), size);
    const BlockIo io = EvictOverBudget();
    if (io != BlockIo::kOk) return io;
  }
  return BlockIo::kOk;
}

BlockIo CIndexFile::WriteBlock(uint32_t position, const unsigned char* in, uint32_t size) {
  BlockCache::Block* cached = blocks_.Find(position);
  if (cached != nullptr && cached->size != size) {
    blocks_.Drop(position);
    cached = nullptr;
  }
  if (cached == nullptr) cached = blocks_.Insert(position, size);
  if (cached == nullptr) return WriteRun(position, in, size) ? BlockIo::kOk : BlockIo::kWriteFailed;
  std::memcpy(cached->bytes.get(), in, size);
  cached->dirty = true;
  return EvictOverBudget();
}

bool CIndexFile::FlushBlocks() {
  if (handle_ == kInvalidFileHandle || readOnly_ || blocks_.Count() == 0) return true;
  std::vector<BlockCache::Block*> dirty;
  std::unique_ptr<unsigned char[]> run;
  try {
    dirty = blocks_.DirtyBlocks();
    run.reset(new unsigned char[kFlushRunBytes]);
  } catch (const std::bad_alloc&) {
    run.reset();
  }
  size_t i = 0;
  while (i < dirty.size()) {
    // Blocks that follow one another in the file go out in one write.
    size_t end = i + 1;
    size_t bytes = dirty[i]->size;
    while (run != nullptr && end < dirty.size() && dirty[end]->position == dirty[end - 1]->position + dirty[end - 1]->size &&
           bytes + dirty[end]->size <= kFlushRunBytes) {
      bytes += dirty[end++]->size;
    }
    bool written;
    if (end == i + 1) {
      written = WriteRun(dirty[i]->position, dirty[i]->bytes.get(), bytes);
    } else {
      size_t offset = 0;
      for (size_t k = i; k < end; offset += dirty[k++]->size) {
        std::memcpy(run.get() + offset, dirty[k]->bytes.get(), dirty[k]->size);
      }
      written = WriteRun(dirty[i]->position, run.get(), bytes);
    }
    if (!written) return false;
    for (size_t k = i; k < end; ++k) dirty[k]->dirty = false;
    i = end;
  }
  return true;
}

bool CIndexFile::IsBlockPlace(uint32_t position, uint32_t blockSize) const {
  return position >= kIndexHeaderSize && position <= kMaxFileOffset && blockSize <= fileSize_ &&
         position <= fileSize_ - blockSize && (position - kIndexHeaderSize) % BlockGrain() == 0;
}

BlockIo CIndexFile::ReadLink(uint32_t position, uint32_t& link) {
  unsigned char bytes[kFreeLinkSize];
  if (BlockCache::Block* cached = blocks_.Find(position)) {
    if (!DecodeFreeLink(cached->bytes.get(), cached->size, link)) return BlockIo::kReadFailed;
    return BlockIo::kOk;
  }
  if (!SeekTo(handle_, position) || !files_.Read(handle_, bytes, sizeof bytes)) return BlockIo::kReadFailed;
  return DecodeFreeLink(bytes, sizeof bytes, link) ? BlockIo::kOk : BlockIo::kReadFailed;
}

bool CIndexFile::CountFreeList(uint32_t head, uint32_t blockSize, uint32_t& count, BlockClaims* claims) {
  count = 0;
  // No list of distinct blocks is longer than the blocks the file can hold.
  const uint32_t places = fileSize_ > kIndexHeaderSize ? (fileSize_ - kIndexHeaderSize) / blockSize : 0;
  for (uint32_t position = head; position != 0; ++count) {
    if (count >= places || !IsBlockPlace(position, blockSize) || (claims != nullptr && !claims->Claim(position)) ||
        ReadLink(position, position) != BlockIo::kOk) {
      return false;
    }
  }
  return true;
}

BlockIo CIndexFile::TakeBlock(uint32_t& head, FreeListState& list, uint32_t size, bool alignTornTail,
                              uint32_t& position) {
  if (head == 0) return AppendBlock(size, alignTornTail, position);
  if (!list.walked) {
    if (!CountFreeList(head, size, list.length)) return BlockIo::kReadFailed;
    list.walked = true;
  }
  // Each link is checked as it is taken: a block that is both free and in
  // the tree (a damaged file) must not hand out a place off the grain.
  uint32_t next = 0;
  if (list.length == 0 || !IsBlockPlace(head, size) || ReadLink(head, next) != BlockIo::kOk) {
    return BlockIo::kReadFailed;
  }
  position = head;
  head = next;
  --list.length;
  return BlockIo::kOk;
}

BlockIo CIndexFile::AppendBlock(uint32_t size, bool alignTornTail, uint32_t& position) {
  uint32_t end = 0;
  if (!files_.Seek(handle_, 0, SeekOrigin::kEnd) || !files_.Tell(handle_, end) || end > kMaxFileOffset) {
    return BlockIo::kWriteFailed;
  }
  uint32_t place = end < kIndexHeaderSize ? kIndexHeaderSize : end;
  const uint32_t misalignment = (place - kIndexHeaderSize) % BlockGrain();
  if (misalignment != 0) {
    if (!alignTornTail) return BlockIo::kWriteFailed;
    place += BlockGrain() - misalignment;
  }
  if (place > kMaxFileOffset - size) return BlockIo::kWriteFailed;
  if (place != end && !SeekTo(handle_, place)) return BlockIo::kWriteFailed;
  std::vector<unsigned char> zeros;
  try {
    zeros.assign(size, 0);
  } catch (const std::bad_alloc&) {
    return BlockIo::kWriteFailed;
  }
  if (!files_.Write(handle_, zeros.data(), size)) return BlockIo::kWriteFailed;
  position = place;
  fileSize_ = place + size;
  return BlockIo::kOk;
}

bool CIndexFile::ReleaseBlock(uint32_t& head, FreeListState& list, uint32_t position) {
  unsigned char link[kFreeLinkSize];
  PutUInt(head, 32, link);
  if (BlockCache::Block* cached = blocks_.Find(position)) {
    // The rest of the block keeps what was last written there, as on disk.
    std::memcpy(cached->bytes.get(), link, sizeof link);
    cached->dirty = true;
  } else if (!SeekTo(handle_, position) || !files_.Write(handle_, link, sizeof link)) {
    return false;
  }
  head = position;
  if (list.walked) ++list.length;
  return true;
}

}  // namespace kro
