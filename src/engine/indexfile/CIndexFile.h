// The base of both index files (key index and spatial index): a 512-byte
// big-endian header at offset 0 followed by fixed-size node blocks that are
// read and written whole. It owns the file handle, remembers whether the file
// is read-only and whether this open created it, and supplies the byte-order
// codecs with which headers and blocks are encoded before one write and
// decoded after one read.
#ifndef KRO_ENGINE_INDEXFILE_CINDEXFILE_H
#define KRO_ENGINE_INDEXFILE_CINDEXFILE_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "engine/fileaccess/CGafRawFile.h"
#include "engine/EngineError.h"
#include "engine/indexfile/BlockCache.h"
#include "engine/indexfile/HeldBlockRuns.h"
#include "platform/FileSystem.h"

namespace kro {

// Size of the header of both index files; no node block starts before it.
constexpr uint32_t kIndexHeaderSize = 512;
// Longest description either index header stores.
constexpr uint32_t kMaxIndexDescription = 255;
// Stored size of the longest description string: FF, u16 length, 255 bytes.
constexpr uint32_t kMaxIndexStringForm = 258;

// Outcome of a block operation; each engine turns it into its own status.
enum class BlockIo { kOk, kReadFailed, kWriteFailed };

// What is known about one free list: whether it was walked whole (bounded by
// the block places of the file, so a looping list is refused before a block
// is taken from it), and from then on its length.
struct FreeListState {
  bool walked = false;
  uint32_t length = 0;
};

class BlockClaims;
class IndexTempFile;

// Outcome of putting a rebuilt file in place of the index file.
enum class ReplaceResult { kReplaced, kReplaceFailed, kReopenFailed, kSizeFailed };

class CIndexFile {
 public:
  // Every file of the index, its temporary files included, lives in `env`.
  explicit CIndexFile(Env& env) : files_(env) {}
  virtual ~CIndexFile();
  CIndexFile(const CIndexFile&) = delete;
  CIndexFile& operator=(const CIndexFile&) = delete;

  // Sets the read-only flag (word contains 1) and the created flag (word
  // contains 2 and the file did not exist before, or the word contains 8),
  // then opens. On failure the handle stays invalid and no name is kept.
  bool OpenIndexFile(const char* fileName, uint32_t flagWord);
  // Writes the cached blocks of a writable file back, closes the handle
  // (nothing for an invalid one) and drops the name.
  void CloseIndexFile();
  // Reopens the kept name after a rebuild replaced the file: read-only when
  // it was opened read-only, otherwise read-write on the existing file. The
  // cached blocks belonged to the old file and are forgotten.
  bool ReopenIndexFile();

  // The last step of a rebuild: the closed temporary file `temp` replaces
  // the index file, which is then reopened and measured. When the move
  // fails the index file stays open and unchanged, and the temporary file is
  // kept under `keepName` (kMaxPathBytes bytes) when the caller gives one,
  // else deleted.
  ReplaceResult ReplaceWithRebuilt(IndexTempFile& temp, char* keepName);

  // Block cache (see BlockCache.h). Budget 0, the default, keeps no block:
  // every block read and write goes to the file as it is asked for. A
  // smaller budget writes back what no longer fits.
  BlockIo SetCacheBudget(size_t bytes);
  size_t CacheBudget() const { return blocks_.Budget(); }
  size_t CachedBytes() const { return blocks_.ChargedBytes(); }
  // The `size` bytes of the block at `position`, from the cache or the file.
  BlockIo ReadBlock(uint32_t position, unsigned char* out, uint32_t size);
  // The same without copying a cached block: `bytes` points into the cache
  // (valid until the next block operation), or into `scratch` (`size`
  // bytes) for a block read from the file.
  BlockIo ViewBlock(uint32_t position, uint32_t size, unsigned char* scratch, const unsigned char*& bytes);
  // Brings blocks of `size` bytes at `positions` (ascending) into the cache
  // ahead of their use: those not cached yet that lie close together (a run
  // within kPrefetchBytes, as the children of a packed node lie) come in with
  // one read per run; the others are left to be read when viewed. kOk, or
  // kReadFailed when a read failed. Positions must be block places.
  BlockIo PrefetchBlocks(const uint32_t* positions, uint32_t count, uint32_t size);
  static constexpr uint32_t kPrefetchBytes = 16384;
  // The leaves a search is about to view, read in runs as they are viewed
  // and kept out of the cache (HeldBlockRuns.h); only for a read-only file,
  // and nothing else otherwise. Positions must be block places.
  void HoldBlocks(const uint32_t* positions, uint32_t count, uint32_t size) {
    if (readOnly_) held_.Hold(positions, count, size);
  }
  // Puts a whole block; it reaches the file when evicted or flushed.
  BlockIo WriteBlock(uint32_t position, const unsigned char* in, uint32_t size);
  // Writes every dirty cached block, adjacent ones together; they stay
  // cached. False at the first failed write.
  bool FlushBlocks();
  // Forgets every cached block, written or not (the file was replaced or cut
  // back).
  void DropBlocks() { blocks_.Clear(); }

  // Block places. Node blocks follow the header back to back, so every block
  // starts on the grain (the greatest common divisor of the index's two
  // block sizes) counted from offset 512, and lies inside the file.
  virtual uint32_t BlockGrain() const = 0;
  bool IsBlockPlace(uint32_t position, uint32_t blockSize) const;
  // Length of the free list of `blockSize` blocks from `head`; false for a
  // failed read, a link that is no block place, or a list longer than the
  // file can hold (a loop). With `claims` (the blocks a verification has
  // reached), false too for a link to a block claimed before (a free block
  // still in the tree, or on the other list), and every link is claimed.
  bool CountFreeList(uint32_t head, uint32_t blockSize, uint32_t& count, BlockClaims* claims = nullptr);
  // A place for a new block of `size` bytes: the head of the free list (the
  // list walked once first, each link checked as it is taken) or the end of
  // the file, extended by a zeroed block. A file whose end is off the grain
  // (a torn tail) gets its block on the grain with `alignTornTail`, and is
  // refused (kWriteFailed) without it.
  BlockIo TakeBlock(uint32_t& head, FreeListState& list, uint32_t size, bool alignTornTail, uint32_t& position);
  // Puts the block at `position` in front of the free list at `head`: its
  // first four bytes become the link.
  bool ReleaseBlock(uint32_t& head, FreeListState& list, uint32_t position);

  // Records a failure of this index, where it lies (an offset, or
  // EngineError::kNoOffset) and why; the first one is kept. Returns `status`.
  EngineStatus Fail(EngineStatus status, uint64_t offset, const char* reason) const;
  const EngineError& Error() const { return error_; }
  // The error behind `answered`, a status word this index just gave.
  EngineError ErrorFor(EngineStatus answered) const { return ErrorForAnswer(error_, answered, errorName_); }

  FileHandle Handle() const { return handle_; }
  uint32_t FileSize() const { return fileSize_; }
  void SetFileSize(uint32_t size) { fileSize_ = size; }
  const std::string& FileName() const { return fileName_; }
  bool IsReadOnly() const { return readOnly_; }
  bool WasCreated() const { return created_; }
  const CGafRawFile& RawFile() const { return files_; }
  Env& Environment() const { return files_.Environment(); }

  // Moves `file` to `position`; false past the largest offset or on failure.
  bool SeekTo(FileHandle file, uint32_t position) const;

  // Big-endian codecs, inline because node encoding and decoding call them
  // for every field of every slot. `bits` 16 gives 2 bytes, any other value
  // 4 bytes.
  static void PutUInt(uint32_t value, int bits, unsigned char* out) {
    if (bits == 16) {
      out[0] = static_cast<unsigned char>(value >> 8);
      out[1] = static_cast<unsigned char>(value);
      return;
    }
    out[0] = static_cast<unsigned char>(value >> 24);
    out[1] = static_cast<unsigned char>(value >> 16);
    out[2] = static_cast<unsigned char>(value >> 8);
    out[3] = static_cast<unsigned char>(value);
  }
  static uint32_t GetUInt(const unsigned char* in, int bits) {
    if (bits == 16) return static_cast<uint32_t>(in[0]) << 8 | in[1];
    return static_cast<uint32_t>(in[0]) << 24 | static_cast<uint32_t>(in[1]) << 16 |
           static_cast<uint32_t>(in[2]) << 8 | in[3];
  }
  // `bits` 32 rounds to the nearest single; any other value stores a double.
  static void PutReal(double value, int bits, unsigned char* out) {
    if (bits == 32) {
      const float single = static_cast<float>(value);
      uint32_t word;
      std::memcpy(&word, &single, sizeof word);
      PutUInt(word, 32, out);
      return;
    }
    uint64_t word;
    std::memcpy(&word, &value, sizeof word);
    PutUInt(static_cast<uint32_t>(word >> 32), 32, out);
    PutUInt(static_cast<uint32_t>(word), 32, out + 4);
  }
  static double GetReal(const unsigned char* in, int bits) {
    if (bits == 32) {
      const uint32_t word = GetUInt(in, 32);
      float single;
      std::memcpy(&single, &word, sizeof single);
      return single;
    }
    const uint64_t word = static_cast<uint64_t>(GetUInt(in, 32)) << 32 | GetUInt(in + 4, 32);
    double value;
    std::memcpy(&value, &word, sizeof value);
    return value;
  }

  // Index description string: n <= 254 as one byte n and the bytes; n = 255
  // as FF, the u16 length and the bytes. No terminator. REQUIRES: `text`
  // holds at most 255 bytes. Returns n.
  static uint32_t PutString(const char* text, unsigned char* out);
  // Reads the string form from the `available` bytes at `in` into `out`
  // (room for kMaxIndexDescription + 1 bytes) and terminates it. False, with
  // `out` empty, when the form claims more than 255 bytes or overruns
  // `available`: such a header is refused, never read past its buffer.
  static bool GetString(const unsigned char* in, size_t available, char* out);

  // Copies the whole multi-byte characters of `src` that fit in `limit`
  // bytes; terminates only when fewer than `limit` bytes were copied.
  static size_t CopyBounded(char* dst, const char* src, size_t limit);
  // Euclid's algorithm. REQUIRES: b != 0.
  static uint32_t GreatestCommonDivisor(uint32_t a, uint32_t b);

 private:
  BlockIo ReadLink(uint32_t position, uint32_t& link);
  BlockIo AppendBlock(uint32_t size, bool alignTornTail, uint32_t& position);
  // Writes back and drops the least recent blocks until the budget holds.
  BlockIo EvictOverBudget();
  BlockIo ReadRun(const uint32_t* positions, uint32_t count, uint32_t size);
  // The block at `position` from the held runs, reading its run when it is
  // held but not read yet; null when it is not held.
  const unsigned char* ViewHeld(uint32_t position, uint32_t size, BlockIo& io);
  bool WriteRun(uint32_t position, const unsigned char* bytes, size_t count);

  CGafRawFile files_;
  FileHandle handle_ = kInvalidFileHandle;
  std::string fileName_;
  // The name asked for at open, kept for errors after a failed open or a close.
  std::string errorName_;
  mutable EngineError error_;
  bool readOnly_ = false;
  bool created_ = false;
  uint32_t fileSize_ = 0;
  BlockCache blocks_;
  std::unique_ptr<unsigned char[]> prefetchBuffer_;  // kPrefetchBytes, made at the first run
  HeldBlockRuns held_;
};

}  // namespace kro

#endif
