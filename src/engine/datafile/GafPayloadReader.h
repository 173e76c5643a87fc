// Decodes the payload of one chunk straight from the file through a fixed
// window buffer. The payload is loaded in as few reads as the window allows
// (one read for any payload that fits), and every decode is checked against
// the payload's length: a field that would run past it is a format error,
// never a read beyond the bytes the chunk owns.
#ifndef KRO_ENGINE_DATAFILE_GAFPAYLOADREADER_H
#define KRO_ENGINE_DATAFILE_GAFPAYLOADREADER_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "KroGafExportImport/KroGafExportImport.h"
#include "engine/EngineStatus.h"
#include "engine/datafile/GafByteOrder.h"
#include "engine/datafile/GafChunkTag.h"
#include "engine/datafile/GafFormat.h"
#include "platform/FileSystem.h"

namespace kro {
class CGafRawFile;
}

namespace kro {

// Copies the whole characters of the `n` bytes at `bytes` that fit in
// `limit` bytes, then a terminator; `out` holds limit + 1 bytes. Returns the
// number of bytes copied.
size_t CopyTextCut(char* out, const uint8_t* bytes, size_t n, size_t limit);
// How many of the `n` bytes at `bytes` CopyTextCut keeps.
size_t TextCutLength(const uint8_t* bytes, size_t n, size_t limit);

class GafPayloadReader {
 public:
  // The payload of `length` bytes starts at the current offset of `handle`
  // in `files`, which must outlive the reader.
  // At most `loadLimit` (>= length) bytes are read from the file, so that the
  // pad byte after an odd payload can come in the same read.
  // REQUIRES: `window` holds `capacity` bytes, capacity >= kMaxStringForm.
  GafPayloadReader(const CGafRawFile& files, FileHandle handle, uint8_t* window, uint32_t capacity, uint32_t length,
                   uint32_t loadLimit)
      : files_(&files),
        handle_(handle),
        window_(window),
        capacity_(capacity),
        length_(length),
        loadLimit_(std::max(length, loadLimit)) {}
  // The payload and its `loadLimit` bytes are already in memory at `loaded`:
  // nothing is read from the file.
  GafPayloadReader(uint8_t* loaded, uint32_t length, uint32_t loadLimit)
      : files_(nullptr),
        handle_(kInvalidFileHandle),
        window_(loaded),
        capacity_(std::max(length, loadLimit)),
        length_(length),
        loadLimit_(std::max(length, loadLimit)) {
    end_ = loaded_ = loadLimit_;
  }
  // Bytes held by a caller that only reads them: an in-memory reader never
  // loads, so it never writes into its window.
  GafPayloadReader(const uint8_t* loaded, uint32_t length)
      : GafPayloadReader(const_cast<uint8_t*>(loaded), length, length) {}
  GafPayloadReader(const GafPayloadReader&) = delete;
  GafPayloadReader& operator=(const GafPayloadReader&) = delete;

  // Each returns false, with Failure() set, when the payload is too short
  // (eGafBadFormat) or the file read fails (eGafReadError).
  bool GetU8(uint32_t& value) { return GetFixed(1, value, [](const uint8_t* in) { return uint32_t{in[0]}; }); }
  bool GetU16(uint32_t& value) { return GetFixed(2, value, gaf::LoadU16); }
  bool GetU32(uint32_t& value) { return GetFixed(4, value, gaf::LoadU32); }
  bool GetF64(double& value) { return GetFixed(8, value, gaf::LoadF64); }
  // A string in the data file's form, into a buffer of `size` (>= 1) bytes:
  // at most size - 1 bytes without splitting a multi-byte character, then a
  // terminator. `stored` is the whole stored size (n + 1 or n + 3).
  bool GetString(char* out, size_t size, uint32_t& stored) {
    out[0] = '\0';
    const uint8_t* bytes = nullptr;
    uint32_t n = 0;
    if (!GetStringBytes(bytes, n, stored)) return false;
    if (n >= size) {
      CopyTextCut(out, bytes, n, size - 1);
    } else {  // the common case: the whole text fits, and no character can straddle the limit
      std::memcpy(out, bytes, n);
      out[n] = '\0';
    }
    return true;
  }
  bool GetString(std::string& out, uint32_t& stored);
  // The length of `text` up to its first zero byte. Names and keys are
  // short and of every length, so the bytes are looked at a word at a time,
  // the last word overlapping the one before, and bytes one by one only in
  // the word that holds a zero or in a text shorter than a word.
  static size_t LengthBeforeZero(const char* text, size_t length) {
    constexpr uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;
    const auto holdsZero = [](const char* at) {
      uint64_t word;
      std::memcpy(&word, at, sizeof word);
      return ((word - kOnes) & ~word & kHighs) != 0;
    };
    size_t from = 0;
    if (length >= 8) {
      while (from + 8 < length && !holdsZero(text + from)) from += 8;
      if (from + 8 >= length) {
        from = length - 8;
        if (!holdsZero(text + from)) return length;
      }
    }
    for (size_t i = from; i < length; ++i) {
      if (text[i] == '\0') return i;
    }
    return length;
  }
  // The same into `out`, reusing its storage: at most `limit` bytes of
  // whole characters, ending at a stored zero byte (which would end the text
  // for every caller that takes it as a C string). Inline, like the fixed
  // buffer form, since a pass decodes three per record.
  bool GetString(std::string& out, size_t limit, uint32_t& stored) {
    const uint8_t* bytes = nullptr;
    uint32_t n = 0;
    if (!GetStringBytes(bytes, n, stored)) {
      out.clear();
      return false;
    }
    const char* text = reinterpret_cast<const char*>(bytes);
    size_t length = n <= limit ? n : TextCutLength(bytes, n, limit);
    length = LengthBeforeZero(text, length);
    // A text of the length the last one had (a pass's names and keys mostly
    // do) is copied over in place, with no call into the library.
    if (out.size() != length) out.assign(text, length);
    else if (length > 0) std::memcpy(&out[0], text, length);
    return true;
  }
  bool Skip(uint32_t count);
  // Fails with eGafBadFormat unless `count` more bytes lie in the payload;
  // lets a caller check a count before it sizes a buffer from it.
  bool Require(uint64_t count);
  // `count` vertices of 4-byte singles or 8-byte doubles, decoded to doubles.
  bool GetVertices(CKroDoublePointNode* out, uint64_t count, uint32_t coordinateBytes);

  uint32_t Consumed() const { return consumed_; }
  uint32_t Unconsumed() const { return consumed_ <= length_ ? length_ - consumed_ : 0; }
  // Bytes read from the file so far: the file offset is payload start + this.
  uint32_t Loaded() const { return loaded_; }
  EngineStatus Failure() const { return failure_; }

 private:
  // Makes `count` (<= capacity) bytes of the payload available at window_ +
  // begin_, reading more when needed. The common case, bytes already loaded
  // within the payload, is decided here; Load does the rest.
  bool Need(uint32_t count) {
    if (failure_ == kEngineOk && count <= length_ - consumed_ && count <= end_ - begin_) return true;
    return Load(count);
  }
  bool Load(uint32_t count);
  bool Fail(EngineStatus status);
  void Take(uint32_t count) {
    begin_ += count;
    consumed_ += count;
  }
  template <typename T, typename Decode>
  bool GetFixed(uint32_t size, T& value, Decode decode) {
    value = 0;
    if (!Need(size)) return false;
    value = decode(window_ + begin_);
    Take(size);
    return true;
  }
  // The bytes of a string in the data file's form: a length byte, or the
  // marker and a 2-byte length, then the bytes.
  bool GetStringBytes(const uint8_t*& bytes, uint32_t& n, uint32_t& stored) {
    stored = 0;
    if (!Need(1)) return false;
    const uint32_t prefix = gaf::StringPrefixSize(window_[begin_]);
    if (!Need(prefix)) return false;
    n = gaf::StringTextLength(window_ + begin_);
    if (!Need(prefix + n)) return false;
    bytes = window_ + begin_ + prefix;
    stored = prefix + n;
    Take(stored);
    return true;
  }

  const CGafRawFile* files_;  // null for a payload already in memory
  FileHandle handle_;
  uint8_t* window_;
  uint32_t capacity_;
  uint32_t length_;
  uint32_t loadLimit_;
  uint32_t begin_ = 0;  // window_[begin_, end_) is loaded and not yet consumed
  uint32_t end_ = 0;
  uint32_t consumed_ = 0;
  uint32_t loaded_ = 0;
  EngineStatus failure_ = kEngineOk;
};

}  // namespace kro

#endif
