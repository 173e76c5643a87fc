#include "engine/spatialindex/SifBulkLoader.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/fileaccess/CGafRawFile.h"
#include "engine/indexfile/CIndexFile.h"
#include "engine/indexfile/IndexBlockWriter.h"
#include "engine/spatialindex/SifBlock.h"
#include "engine/spatialindex/SifBox.h"
#include "engine/spatialindex/SifFormat.h"
#include "engine/spatialindex/SifHeaderCodec.h"

namespace kro {
namespace {

constexpr uint32_t kMaxEntries = sif::kDefaultMaxEntries;
constexpr uint32_t kMinEntries = sif::kDefaultMinEntries;
constexpr uint32_t kBits = sif::kDefaultCoordinateBits;
constexpr uint32_t kLeafBlock = sif::LeafBlockSize(kMaxEntries, kBits);
constexpr uint32_t kInternalBlock = sif::InternalBlockSize(kMaxEntries, kBits);
constexpr uint32_t kHilbertOrder = 1u << 16;

size_t NodeCount(size_t entries) { return (entries + kMaxEntries - 1) / kMaxEntries; }
// Entries of node `i` when `nodes` nodes share `entries` as evenly as possible.
size_t NodeSize(size_t entries, size_t nodes, size_t i) { return entries / nodes + (i < entries % nodes ? 1 : 0); }

// Sort key of a centre coordinate; NaN sorts last so the order stays strict.
double SortKey(double low, double high) {
  const double centre = (low + high) / 2;
  return std::isnan(centre) ? std::numeric_limits<double>::infinity() : centre;
}
double CentreX(const SifBulkEntry& e) { return SortKey(e.box.xMin, e.box.xMax); }
double CentreY(const SifBulkEntry& e) { return SortKey(e.box.yMin, e.box.yMax); }

// Sort-Tile-Recursive: vertical slices of about sqrt(k) nodes each by x, then
// each slice by y; the slices hold whole nodes of the sizes NodeSize gives.
void OrderSortTileRecursive(std::vector<SifBulkEntry>& entries) {
  const size_t nodes = NodeCount(entries.size());
  const size_t slices = static_cast<size_t>(std::ceil(std::sqrt(static_cast<double>(nodes))));
  const size_t nodesPerSlice = (nodes + slices - 1) / slices;
  std::stable_sort(entries.begin(), entries.end(),
                   [](const SifBulkEntry& a, const SifBulkEntry& b) { return CentreX(a) < CentreX(b); });
  size_t start = 0;
  for (size_t node = 0; node < nodes; node += nodesPerSlice) {
    size_t end = start;
    for (size_t i = node; i < std::min(nodes, node + nodesPerSlice); ++i) end += NodeSize(entries.size(), nodes, i);
    std::stable_sort(entries.begin() + static_cast<std::ptrdiff_t>(start),
                     entries.begin() + static_cast<std::ptrdiff_t>(end),
                     [](const SifBulkEntry& a, const SifBulkEntry& b) { return CentreY(a) < CentreY(b); });
    start = end;
  }
}

// Distance along the Hilbert curve of order 2^16 of the cell (x, y).
uint64_t HilbertDistance(uint32_t x, uint32_t y) {
  uint64_t distance = 0;
  for (uint32_t s = kHilbertOrder / 2; s > 0; s /= 2) {
    const uint32_t rx = (x & s) > 0 ? 1 : 0;
    const uint32_t ry = (y & s) > 0 ? 1 : 0;
    distance += static_cast<uint64_t>(s) * s * ((3 * rx) ^ ry);
    if (ry == 0) {
      if (rx == 1) {
        x = kHilbertOrder - 1 - x;
        y = kHilbertOrder - 1 - y;
      }
      std::swap(x, y);
    }
  }
  return distance;
}

// Cell of a centre coordinate on the grid over [low, high]; NaN and
// infinities land on an edge.
uint32_t GridCell(double value, double low, double high) {
  if (!(value > low) || !(high > low)) return 0;
  if (!(value < high)) return kHilbertOrder - 1;
  return static_cast<uint32_t>((value - low) / (high - low) * (kHilbertOrder - 1));
}

void OrderHilbert(std::vector<SifBulkEntry>& entries) {
  double low[2] = {std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity()};
  double high[2] = {-low[0], -low[1]};
  for (const SifBulkEntry& e : entries) {
    const double c[2] = {CentreX(e), CentreY(e)};
    for (int axis = 0; axis < 2; ++axis) {
      if (!std::isfinite(c[axis])) continue;
      low[axis] = std::min(low[axis], c[axis]);
      high[axis] = std::max(high[axis], c[axis]);
    }
  }
  std::vector<std::pair<uint64_t, SifBulkEntry>> keyed;
  keyed.reserve(entries.size());
  for (const SifBulkEntry& e : entries) {
    keyed.emplace_back(HilbertDistance(GridCell(CentreX(e), low[0], high[0]), GridCell(CentreY(e), low[1], high[1])),
                       e);
  }
  std::stable_sort(keyed.begin(), keyed.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (size_t i = 0; i < keyed.size(); ++i) entries[i] = keyed[i].second;
}

void EncodeNode(const SifBulkEntry* entries, size_t count, bool leaf, unsigned char* block) {
  std::fill(block, block + (leaf ? kLeafBlock : kInternalBlock), 0);
  for (uint32_t slot = 0; slot < count; ++slot) {
    const SifBulkEntry& e = entries[slot];
    sif::EncodeSlot(block, kMaxEntries, kBits, leaf, slot, e.recordPosition, e.box, e.objectType);
  }
}

// Writes one level's nodes and replaces `level` by the entries of the level
// above (child block position and union box).
EngineStatus WriteLevel(IndexBlockWriter& writer, std::vector<SifBulkEntry>& level, bool leaf) {
  const size_t nodes = NodeCount(level.size());
  const uint32_t blockSize = leaf ? kLeafBlock : kInternalBlock;
  std::vector<SifBulkEntry> parents;
  parents.reserve(nodes);
  size_t start = 0;
  for (size_t i = 0; i < nodes; ++i) {
    const size_t size = NodeSize(level.size(), nodes, i);
    SifBulkEntry parent;
    if (!writer.Place(blockSize, parent.recordPosition)) return eSifInvalidParameter;
    EncodeNode(&level[start], size, leaf, writer.Append(blockSize));
    parent.box = level[start].box;
    for (size_t j = start + 1; j < start + size; ++j) parent.box = sif::Union(parent.box, level[j].box);
    parents.push_back(parent);
    if (!writer.FlushIfFull()) return eSifWriteError;
    start += size;
  }
  level.swap(parents);
  return kEngineOk;
}

// A new file's header (default capacity and coordinates, no description,
// no free blocks) over the tree just written.
void EncodeHeader(uint32_t height, uint32_t root, uint32_t count, unsigned char* header) {
  SifHeader tree;
  tree.minEntries = kMinEntries;
  tree.maxEntries = kMaxEntries;
  tree.coordinateBits = kBits;
  tree.height = height;
  tree.rootPosition = root;
  tree.objectCount = count;
  sif::EncodeHeader(tree, header);
}

EngineStatus WriteTree(const CGafRawFile& files, FileHandle file, std::vector<SifBulkEntry>& entries, SifPackOrder order) {
  const uint32_t count = static_cast<uint32_t>(entries.size());
  unsigned char header[kIndexHeaderSize];
  IndexBlockWriter writer(files, file, std::max(kLeafBlock, kInternalBlock));
  uint32_t height = 0;
  std::vector<SifBulkEntry> level;
  level.swap(entries);
  while (!level.empty() && (height == 0 || level.size() > 1)) {
    OrderForPacking(level, order);
    if (height == 0) entries = level;  // hand back the leaf order
    const EngineStatus status = WriteLevel(writer, level, height == 0);
    if (status != kEngineOk) return status;
    ++height;
  }
  EncodeHeader(height, level.empty() ? 0 : level.front().recordPosition, count, header);
  return writer.WriteHeader(header) ? kEngineOk : eSifWriteError;
}

}  // namespace

void OrderForPacking(std::vector<SifBulkEntry>& entries, SifPackOrder order) {
  if (order == SifPackOrder::kHilbert) {
    OrderHilbert(entries);
  } else {
    OrderSortTileRecursive(entries);
  }
}

EngineStatus BulkLoadSpatialIndex(const char* fileName, std::vector<SifBulkEntry>& entries, SifPackOrder order,
                                  Env& env) {
  if (entries.size() > std::numeric_limits<uint32_t>::max()) return eSifInvalidParameter;
  for (const SifBulkEntry& e : entries) {
    if (e.recordPosition == 0) return eSifInvalidParameter;
  }
  const CGafRawFile files(env);
  FileHandle file = kInvalidFileHandle;
  if (!files.Open(fileName, kOpenReadWrite | kOpenCreateTruncate, file)) return eSifCannotOpen;
  EngineStatus status = WriteTree(files, file, entries, order);
  if (!files.Close(file) && status == kEngineOk) status = eSifWriteError;
  return status;
}

}  // namespace kro
