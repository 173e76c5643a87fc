#include "engine/spatialindex/SifBulkLoader.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/fileaccess/CGafRawFile.h"
#include "engine/indexfile/CIndexFile.h"
#include "engine/indexfile/IndexBlockWriter.h"
#include "engine/ordering/HilbertCurve.h"
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
constexpr uint32_t kHilbertBits = 16;
constexpr uint32_t kHilbertOrder = 1u << kHilbertBits;

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
    keyed.emplace_back(HilbertDistance(GridCell(CentreX(e), low[0], high[0]), GridCell(CentreY(e), low[1], high[1]),
                                       kHilbertBits),
                       e);
  }
  std::stable_sort(keyed.begin(), keyed.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (size_t i = 0; i < keyed.size(); ++i) entries[i] = keyed[i].second;
}

// REQUIRES: `block` zero, as IndexBlockWriter::Append hands it out.
void EncodeNode(const SifBulkEntry* entries, size_t count, bool leaf, unsigned char* block) {
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

// One level of a streamed tree: its share of entries, its node count, the
// node being filled and its entries so far.
struct SifStreamLoader::Level {
  uint64_t entries = 0;
  uint64_t nodes = 0;
  uint64_t node = 0;
  std::vector<SifBulkEntry> pending;
};

SifStreamLoader::SifStreamLoader(const CGafRawFile& files, FileHandle file, uint64_t count)
    : writer_(std::make_unique<IndexBlockWriter>(files, file, std::max(kLeafBlock, kInternalBlock))), count_(count) {
  if (count > std::numeric_limits<uint32_t>::max()) status_ = eSifInvalidParameter;
  for (uint64_t entries = count; entries > 0 && status_ == kEngineOk;) {
    Level level;
    level.entries = entries;
    level.nodes = NodeCount(entries);
    level.pending.reserve(kMaxEntries);
    levels_.push_back(std::move(level));
    if (levels_.back().nodes == 1) break;
    entries = levels_.back().nodes;
  }
}

SifStreamLoader::~SifStreamLoader() = default;

EngineStatus SifStreamLoader::Add(const SifBulkEntry& entry) {
  if (status_ != kEngineOk) return status_;
  if (entry.recordPosition == 0 || added_ >= count_) return status_ = eSifInvalidParameter;
  ++added_;
  return status_ = AddAt(0, entry);
}

// A node is written once it holds its share; its box and block position go
// to the level above, or, at the top, become the root.
EngineStatus SifStreamLoader::AddAt(size_t index, const SifBulkEntry& entry) {
  Level& level = levels_[index];
  level.pending.push_back(entry);
  if (level.pending.size() < NodeSize(level.entries, level.nodes, level.node)) return kEngineOk;
  const bool leaf = index == 0;
  const uint32_t blockSize = leaf ? kLeafBlock : kInternalBlock;
  SifBulkEntry parent;
  if (!writer_->Place(blockSize, parent.recordPosition)) return eSifInvalidParameter;
  EncodeNode(level.pending.data(), level.pending.size(), leaf, writer_->Append(blockSize));
  if (!writer_->FlushIfFull()) return eSifWriteError;
  parent.box = level.pending.front().box;
  for (const SifBulkEntry& child : level.pending) parent.box = sif::Union(parent.box, child.box);
  level.pending.clear();
  ++level.node;
  if (index + 1 == levels_.size()) {
    root_ = parent.recordPosition;
    return kEngineOk;
  }
  return AddAt(index + 1, parent);
}

EngineStatus SifStreamLoader::Finish() {
  if (status_ != kEngineOk) return status_;
  if (added_ != count_) return status_ = eSifInvalidParameter;
  unsigned char header[kIndexHeaderSize];
  EncodeHeader(static_cast<uint32_t>(levels_.size()), root_, static_cast<uint32_t>(count_), header);
  if (!writer_->WriteHeader(header)) status_ = eSifWriteError;
  return status_;
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
