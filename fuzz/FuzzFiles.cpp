#include "FuzzFiles.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>

namespace kro::fuzz {
namespace {

std::string& DirectoryName() {
  static std::string name;
  return name;
}

void RemoveDirectory() {
  std::error_code ignored;
  std::filesystem::remove_all(DirectoryName(), ignored);
}

// Made at the first use and removed at exit (libFuzzer ends a run with exit).
const std::string& Directory() {
  std::string& name = DirectoryName();
  if (name.empty()) {
    char pattern[] = "/tmp/kro-fuzz-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (made == nullptr) std::abort();
    setenv("TMPDIR", made, 1);
    name = made;
    std::atexit(RemoveDirectory);
  }
  return name;
}

}  // namespace

std::string FilePath(const char* name) { return Directory() + "/" + name; }

bool WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
  return std::fclose(file) == 0 && written;
}

bool WriteFile(const std::string& path, const Slice& slice) { return WriteFile(path, slice.data, slice.size); }

void RemoveFile(const std::string& path) { std::remove(path.c_str()); }

std::vector<Slice> SplitInput(const uint8_t* data, size_t size, size_t parts) {
  std::vector<Slice> slices(parts);
  ByteReader header(Slice{data, size});
  std::vector<uint32_t> lengths(parts - 1);
  for (uint32_t& length : lengths) length = header.U32();
  size_t at = 4 * (parts - 1) < size ? 4 * (parts - 1) : size;
  for (size_t i = 0; i < parts; ++i) {
    const size_t left = size - at;
    const size_t length = i + 1 < parts && lengths[i] < left ? lengths[i] : left;
    slices[i] = Slice{data + at, length};
    at += length;
  }
  return slices;
}

std::vector<uint8_t> JoinParts(const std::vector<std::vector<uint8_t>>& parts) {
  std::vector<uint8_t> joined;
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    const uint32_t length = static_cast<uint32_t>(parts[i].size());
    for (int shift = 24; shift >= 0; shift -= 8) joined.push_back(static_cast<uint8_t>(length >> shift));
  }
  for (const auto& part : parts) joined.insert(joined.end(), part.begin(), part.end());
  return joined;
}

double ByteReader::Coordinate() {
  static const double kValues[] = {0, 1, -1, 0.5, 1e9, -1e9, 1e300, -1e300, std::numeric_limits<double>::denorm_min(),
                                   std::numeric_limits<double>::infinity(), std::nan("")};
  const uint8_t pick = U8();
  if (pick < sizeof kValues / sizeof kValues[0]) return kValues[pick];
  return static_cast<double>(static_cast<int32_t>(U32())) / 64.0;
}

}  // namespace kro::fuzz
