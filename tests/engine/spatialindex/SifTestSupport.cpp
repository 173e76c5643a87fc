#include "SifTestSupport.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <stdlib.h>

#include <cstring>
#include <sstream>

#include "engine/spatialindex/SifBox.h"
#include "engine/spatialindex/SifFormat.h"

void PrintTo(const BoundingBoxNode& b, std::ostream* out) {
  std::ostringstream text;
  text.precision(17);
  text << "(" << b.xMin << ", " << b.yMin << ", " << b.xMax << ", " << b.yMax << ")";
  *out << text.str();
}

namespace kro::test {

std::unique_ptr<CSpatialIndex> OpenIndex(const std::string& path, uint32_t flags, Env& env) {
  EngineStatus status = kEngineOk;
  auto index = std::make_unique<CSpatialIndex>(path.c_str(), flags, status, env);
  EXPECT_EQ(status, kEngineOk) << StatusName(status);
  return index;
}

std::vector<SifHit> SearchAll(CSpatialIndex& index, const BoundingBoxNode& box, uint32_t filter, bool sort) {
  std::vector<SifHit> hits;
  EngineStatus status = index.BeginSearch(box, filter, sort);
  EXPECT_EQ(status, kEngineOk) << StatusName(status);
  SifHit hit;
  while ((status = index.GetNextHit(hit.recordPosition, hit.objectType, hit.box)) == kEngineOk) hits.push_back(hit);
  EXPECT_EQ(status, kEngineEndOfResults) << StatusName(status);
  return hits;
}

std::vector<uint32_t> Positions(const std::vector<SifHit>& hits) {
  std::vector<uint32_t> positions;
  for (const SifHit& hit : hits) positions.push_back(hit.recordPosition);
  return positions;
}

std::vector<uint32_t> BruteForce(const Model& model, const BoundingBoxNode& box, uint32_t filter) {
  std::vector<uint32_t> positions;
  for (const auto& [position, entry] : model) {
    if (sif::Meets(entry.box, box) && sif::PassesFilter(entry.type, filter)) positions.push_back(position);
  }
  return positions;
}

uint32_t U16At(const Bytes& bytes, size_t offset) { return CIndexFile::GetUInt(bytes.data() + offset, 16); }
uint32_t U32At(const Bytes& bytes, size_t offset) { return CIndexFile::GetUInt(bytes.data() + offset, 32); }
double F64At(const Bytes& bytes, size_t offset) { return CIndexFile::GetReal(bytes.data() + offset, 64); }
void PutU16At(Bytes& bytes, size_t offset, uint32_t value) { CIndexFile::PutUInt(value, 16, bytes.data() + offset); }
void PutU32At(Bytes& bytes, size_t offset, uint32_t value) { CIndexFile::PutUInt(value, 32, bytes.data() + offset); }

std::vector<BlockEntry> DecodeBlock(const Bytes& file, uint32_t position, bool leaf, uint32_t maxEntries,
                                    uint32_t coordinateBits) {
  const uint32_t coordinateBytes = coordinateBits / 8;
  const int bits = static_cast<int>(coordinateBits);
  std::vector<BlockEntry> entries;
  for (uint32_t slot = 0; slot < maxEntries; ++slot) {
    const uint32_t child = U32At(file, position + sif::ChildFieldOffset(slot));
    if (child == 0) continue;
    const unsigned char* box = file.data() + position + sif::BoxOffset(maxEntries, coordinateBytes, slot);
    BlockEntry entry;
    entry.child = child;
    entry.box = BoundingBoxNode{CIndexFile::GetReal(box, bits), CIndexFile::GetReal(box + coordinateBytes, bits),
                                CIndexFile::GetReal(box + 2 * coordinateBytes, bits),
                                CIndexFile::GetReal(box + 3 * coordinateBytes, bits)};
    if (leaf) entry.type = U16At(file, position + sif::TypeOffset(maxEntries, coordinateBytes, slot));
    entries.push_back(entry);
  }
  return entries;
}

BoundingBoxNode UnionOf(const std::vector<BlockEntry>& entries) {
  BoundingBoxNode result = entries.at(0).box;
  for (const BlockEntry& entry : entries) result = sif::Union(result, entry.box);
  return result;
}

PrivateTemporaryDirectory::PrivateTemporaryDirectory() {
  const char* previous = std::getenv("TMPDIR");
  hadPrevious_ = previous != nullptr;
  previous_ = hadPrevious_ ? previous : "";
  ::setenv("TMPDIR", dir_.path().c_str(), 1);
}

PrivateTemporaryDirectory::~PrivateTemporaryDirectory() {
  if (hadPrevious_) {
    ::setenv("TMPDIR", previous_.c_str(), 1);
  } else {
    ::unsetenv("TMPDIR");
  }
}

int OpenFileCount() {
  int count = 0;
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (::readdir(dir) != nullptr) ++count;
    ::closedir(dir);
  }
  return count;
}

uint32_t RootOf(const Bytes& file) { return U32At(file, sif::kRootOffset); }
uint32_t HeightOf(const Bytes& file) { return U16At(file, sif::kHeightOffset); }

}  // namespace kro::test
