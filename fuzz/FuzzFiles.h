// What the fuzz targets share: a private directory per process for the files
// an input becomes, and the split of one input into several files.
#ifndef KRO_FUZZ_FUZZFILES_H
#define KRO_FUZZ_FUZZFILES_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kro::fuzz {

struct Slice {
  const uint8_t* data = nullptr;
  size_t size = 0;
};

// `name` inside a directory made once per process (and pointed to by TMPDIR,
// so the temporary files of a compaction land there too).
std::string FilePath(const char* name);
// Replaces the file's contents; false when it cannot be written.
bool WriteFile(const std::string& path, const uint8_t* data, size_t size);
bool WriteFile(const std::string& path, const Slice& slice);
// Removes the file if it exists.
void RemoveFile(const std::string& path);

// The input as `parts` slices: a header of parts - 1 big-endian u32 lengths
// (each clamped to what is left), then the slices one after another; the
// last takes the rest. A short input gives empty slices.
std::vector<Slice> SplitInput(const uint8_t* data, size_t size, size_t parts);
// The inverse, for the seed generator.
std::vector<uint8_t> JoinParts(const std::vector<std::vector<uint8_t>>& parts);

// Reads values from a slice byte by byte; zeros once it is used up.
class ByteReader {
 public:
  explicit ByteReader(Slice slice) : slice_(slice) {}
  bool Empty() const { return at_ >= slice_.size; }
  uint8_t U8() { return Empty() ? 0 : slice_.data[at_++]; }
  uint32_t U32() {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = value << 8 | U8();
    return value;
  }
  // A coordinate from a small set that includes the awkward ones.
  double Coordinate();

 private:
  Slice slice_;
  size_t at_ = 0;
};

}  // namespace kro::fuzz

#endif
