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
#include <string>

#include "platform/FileSystem.h"

namespace kro {

// Size of the header of both index files; no node block starts before it.
constexpr uint32_t kIndexHeaderSize = 512;
// Longest description either index header stores.
constexpr uint32_t kMaxIndexDescription = 255;
// Stored size of the longest description string: FF, u16 length, 255 bytes.
constexpr uint32_t kMaxIndexStringForm = 258;

class CIndexFile {
 public:
  CIndexFile() = default;
  virtual ~CIndexFile();
  CIndexFile(const CIndexFile&) = delete;
  CIndexFile& operator=(const CIndexFile&) = delete;

  // Sets the read-only flag (word contains 1) and the created flag (word
  // contains 2 and the file did not exist before, or the word contains 8),
  // then opens. On failure the handle stays invalid and no name is kept.
  bool OpenIndexFile(const char* fileName, uint32_t flagWord);
  // Closes the handle (nothing for an invalid one) and drops the name.
  void CloseIndexFile();
  // Reopens the kept name after a rebuild replaced the file: read-only when
  // it was opened read-only, otherwise read-write on the existing file.
  bool ReopenIndexFile();

  FileHandle Handle() const { return handle_; }
  const std::string& FileName() const { return fileName_; }
  bool IsReadOnly() const { return readOnly_; }
  bool WasCreated() const { return created_; }

  // Big-endian codecs. `bits` 16 gives 2 bytes, any other value 4 bytes.
  static void PutUInt(uint32_t value, int bits, unsigned char* out);
  static uint32_t GetUInt(const unsigned char* in, int bits);
  // `bits` 32 rounds to the nearest single; any other value stores a double.
  static void PutReal(double value, int bits, unsigned char* out);
  static double GetReal(const unsigned char* in, int bits);

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
  FileHandle handle_ = kInvalidFileHandle;
  std::string fileName_;
  bool readOnly_ = false;
  bool created_ = false;
};

}  // namespace kro

#endif
