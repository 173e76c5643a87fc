// libspatialindex: a disk R*-tree (4 KiB pages, 100 entries a node) whose
// entries carry each object's vertices and texts as their data, behind a
// buffer of 4096 pages (16 MB, as SQLite's page cache).
#include <spatialindex/SpatialIndex.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "Row.h"

namespace peers {
namespace {

using SpatialIndex::id_type;

// Entry data: 16 doubles, then the name and the key, each zero-terminated.
constexpr size_t kCoordinateBytes = 2 * kVertices * sizeof(double);
constexpr uint32_t kBufferPages = 4096;

void ReadEntry(const SpatialIndex::IData& entry, Tally& tally) {
  uint32_t length = 0;
  uint8_t* data = nullptr;
  entry.getData(length, &data);
  if (data != nullptr && length > kCoordinateBytes) {
    double coordinates[2 * kVertices];
    std::memcpy(coordinates, data, kCoordinateBytes);
    const char* name = reinterpret_cast<const char*>(data + kCoordinateBytes);
    const size_t nameLength = strnlen(name, length - kCoordinateBytes);
    const size_t keyLength = nameLength + 1 < length - kCoordinateBytes
                                 ? strnlen(name + nameLength + 1, length - kCoordinateBytes - nameLength - 1)
                                 : 0;
    tally.Add(coordinates, coordinates + kVertices, kVertices, nameLength, keyLength);
  }
  delete[] data;
}

template <class Visit>
class Visitor final : public SpatialIndex::IVisitor {
 public:
  explicit Visitor(Visit visit) : visit_(visit) {}
  void visitNode(const SpatialIndex::INode&) override {}
  void visitData(const SpatialIndex::IData& entry) override { visit_(entry); }
  void visitData(std::vector<const SpatialIndex::IData*>& entries) override {
    for (const SpatialIndex::IData* entry : entries) visit_(*entry);
  }

 private:
  Visit visit_;
};

class SpatialIndexRow final : public Row {
 public:
  const char* Name() const override { return "libspatialindex"; }
  bool HasKeyIndex() const override { return false; }
  bool HasScan() const override { return false; }
  bool Write(const std::string& stem, uint64_t count, bool) override {
    try {
      std::string base = stem + "-rtree";
      std::unique_ptr<SpatialIndex::IStorageManager> storage(
          SpatialIndex::StorageManager::createNewDiskStorageManager(base, 4096));
      std::unique_ptr<SpatialIndex::StorageManager::IBuffer> buffer(
          SpatialIndex::StorageManager::createNewRandomEvictionsBuffer(*storage, kBufferPages, false));
      id_type identifier = 0;
      std::unique_ptr<SpatialIndex::ISpatialIndex> tree(SpatialIndex::RTree::createNewRTree(
          *buffer, 0.7, 100, 100, 2, SpatialIndex::RTree::RV_RSTAR, identifier));
      Object object;
      uint8_t data[kCoordinateBytes + 17 + 11];
      for (uint64_t i = 0; i < count; ++i) {
        MakeObject(i, object);
        std::memcpy(data, object.x, sizeof object.x);
        std::memcpy(data + sizeof object.x, object.y, sizeof object.y);
        const size_t nameBytes = std::strlen(object.name) + 1;
        std::memcpy(data + kCoordinateBytes, object.name, nameBytes);
        std::memcpy(data + kCoordinateBytes + nameBytes, object.key, std::strlen(object.key) + 1);
        const Box b = object.Bounds();
        const double low[2] = {b.xMin, b.yMin}, high[2] = {b.xMax, b.yMax};
        const uint32_t length = static_cast<uint32_t>(kCoordinateBytes + nameBytes + std::strlen(object.key) + 1);
        tree->insertData(length, data, SpatialIndex::Region(low, high, 2), static_cast<id_type>(i));
      }
      tree.reset();
      buffer.reset();
      storage.reset();
      std::ofstream(stem + "-rtree.id") << identifier;
      return true;
    } catch (...) {
      return false;
    }
  }
  bool QueryIndex(const std::string& stem, uint64_t& hits) override {
    return Each(stem, [&](const SpatialIndex::IData& entry) { hits += entry.getIdentifier() >= 0; });
  }
  bool Query(const std::string& stem, Tally& tally) override {
    return Each(stem, [&](const SpatialIndex::IData& entry) { ReadEntry(entry, tally); });
  }
  bool Scan(const std::string&, Tally&) override { return false; }

 private:
  template <class Visit>
  static bool Each(const std::string& stem, Visit visit) {
    try {
      id_type identifier = 0;
      std::ifstream(stem + "-rtree.id") >> identifier;
      std::string base = stem + "-rtree";
      std::unique_ptr<SpatialIndex::IStorageManager> storage(SpatialIndex::StorageManager::loadDiskStorageManager(base));
      std::unique_ptr<SpatialIndex::StorageManager::IBuffer> buffer(
          SpatialIndex::StorageManager::createNewRandomEvictionsBuffer(*storage, kBufferPages, false));
      std::unique_ptr<SpatialIndex::ISpatialIndex> tree(SpatialIndex::RTree::loadRTree(*buffer, identifier));
      Visitor<Visit> visitor(visit);
      for (int q = 0; q < kQueries; ++q) {
        const Box box = MakeQuery(q);
        const double low[2] = {box.xMin, box.yMin}, high[2] = {box.xMax, box.yMax};
        tree->intersectsWithQuery(SpatialIndex::Region(low, high, 2), visitor);
      }
      return true;
    } catch (...) {
      return false;
    }
  }
};

}  // namespace

std::unique_ptr<Row> MakeSpatialIndexRow() { return std::make_unique<SpatialIndexRow>(); }

}  // namespace peers
