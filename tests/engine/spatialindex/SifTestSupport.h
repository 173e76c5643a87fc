// Helpers shared by the spatial index suites: boxes, whole searches, reading
// header fields and blocks straight from the file bytes, and a brute-force
// model of what a search must return.
#ifndef KRO_TESTS_ENGINE_SPATIALINDEX_SIFTESTSUPPORT_H
#define KRO_TESTS_ENGINE_SPATIALINDEX_SIFTESTSUPPORT_H

#include <cstdint>
#include <ostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/indexfile/CIndexProgress.h"
#include "engine/spatialindex/CSpatialIndex.h"
#include "support/TempDir.h"

// Exact comparison and readable printing of boxes in test assertions.
inline bool operator==(const BoundingBoxNode& a, const BoundingBoxNode& b) {
  return a.xMin == b.xMin && a.yMin == b.yMin && a.xMax == b.xMax && a.yMax == b.yMax;
}
void PrintTo(const BoundingBoxNode& box, std::ostream* out);

namespace kro::test {

constexpr uint32_t kCreate = kOpenReadWrite | kOpenCreateTruncate;
constexpr uint32_t kUpdate = kOpenReadWrite;

inline BoundingBoxNode Box(double xMin, double yMin, double xMax, double yMax) {
  return BoundingBoxNode{xMin, yMin, xMax, yMax};
}


// Opens and expects success.
std::unique_ptr<CSpatialIndex> OpenIndex(const std::string& path, uint32_t flags, Env& env = Env::Default());

// Every hit of one search, in delivery order; the search must end with
// kEngineEndOfResults (checked).
std::vector<SifHit> SearchAll(CSpatialIndex& index, const BoundingBoxNode& box, uint32_t filter = 0,
                              bool sort = true);
std::vector<uint32_t> Positions(const std::vector<SifHit>& hits);

struct ModelEntry {
  uint32_t type = 0;
  BoundingBoxNode box{};
};
using Model = std::map<uint32_t, ModelEntry>;

// Record positions of the model entries a search must return, ascending.
std::vector<uint32_t> BruteForce(const Model& model, const BoundingBoxNode& box, uint32_t filter);

// Big-endian fields of a file image.
uint32_t U16At(const Bytes& bytes, size_t offset);
uint32_t U32At(const Bytes& bytes, size_t offset);
double F64At(const Bytes& bytes, size_t offset);
void PutU16At(Bytes& bytes, size_t offset, uint32_t value);
void PutU32At(Bytes& bytes, size_t offset, uint32_t value);

// The used slots of the block at `position` of a file image.
struct BlockEntry {
  uint32_t child = 0;
  BoundingBoxNode box{};
  uint32_t type = 0;
};
std::vector<BlockEntry> DecodeBlock(const Bytes& file, uint32_t position, bool leaf, uint32_t maxEntries = 20,
                                    uint32_t coordinateBits = 64);
BoundingBoxNode UnionOf(const std::vector<BlockEntry>& entries);

// Points the temporary directory (TMPDIR) at a fresh directory of its own for
// its lifetime, so a test sees only the temporary files it made.
class PrivateTemporaryDirectory {
 public:
  PrivateTemporaryDirectory();
  ~PrivateTemporaryDirectory();
  PrivateTemporaryDirectory(const PrivateTemporaryDirectory&) = delete;
  PrivateTemporaryDirectory& operator=(const PrivateTemporaryDirectory&) = delete;

 private:
  TempDir dir_;
  std::string previous_;
  bool hadPrevious_ = false;
};

// A progress sink that counts its calls and aborts at the n-th one (never
// when n is 0).
class CountingProgress : public CIndexProgress {
 public:
  explicit CountingProgress(int abortAt = 0) : abortAt_(abortAt) {}
  void SetPosition(double value) override {
    CIndexProgress::SetPosition(value);
    if (++calls_ == abortAt_) Abort();
  }
  int Calls() const { return calls_; }

 private:
  int abortAt_;
  int calls_ = 0;
};

// Number of file descriptors the process holds.
int OpenFileCount();

// The header fields of a file image.
uint32_t RootOf(const Bytes& file);
uint32_t HeightOf(const Bytes& file);

}  // namespace kro::test

#endif
