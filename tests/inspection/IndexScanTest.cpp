// The walks over index bytes (SifScan, KifScan) and the engine's Verify hold
// both index files to one set of rules. Over every kind of index the library
// writes, and over copies damaged at chosen bytes, the engine's Verify fails
// exactly when the walk finds a rule the engine checks; each damage is found
// under its own kind; the walk never reads outside the bytes it is given.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "ByteFile.h"
#include "Findings.h"
#include "KifScan.h"
#include "SetInspection.h"
#include "SifScan.h"
#include "engine/keyindex/CKeyIndex.h"
#include "engine/keyindex/KifFormat.h"
#include "engine/spatialindex/CSpatialIndex.h"
#include "engine/spatialindex/SifBulkLoader.h"
#include "engine/spatialindex/SifFormat.h"
#include "fileset/CGafWriter.h"
#include "support/TempDir.h"

namespace kro::test {
namespace {

namespace inspection = kro::inspection;

constexpr uint32_t kCreate = kOpenReadWrite | kOpenCreateTruncate;

// What the walks report that the engine's Verify leaves alone, since no read
// of the engine depends on it (the tables in docs/sif-format.md and
// docs/kif-format.md): bytes of unused slots and key tails are never read, a
// spatial index block with gaps is read with its used slots moved up, and
// Insert takes an inverted box, over which every walk stays well-defined.
const std::set<std::string> kSifWalkOnly = {"sif.unused-slot", "sif.slot-gap", "sif.box-inverted",
                                            "sif.header-padding"};
const std::set<std::string> kKifWalkOnly = {"kif.unused-slot", "kif.key-tail", "kif.header-padding"};

enum class IndexKind { kSpatial, kKey };

struct Walked {
  inspection::FindingList findings;
  inspection::SifScan spatial;
  inspection::KifScan key;
};

Walked Walk(const std::string& path, IndexKind kind) {
  inspection::ByteFile bytes;
  std::string error;
  EXPECT_TRUE(bytes.Load(path, error)) << error;
  Walked walked;
  if (kind == IndexKind::kSpatial) {
    walked.spatial = inspection::ScanSpatialIndex(bytes, path, walked.findings, false);
  } else {
    walked.key = inspection::ScanKeyIndex(bytes, path, walked.findings);
  }
  return walked;
}

// The engine's answer for the file: its open's refusal, or its Verify's.
EngineStatus EngineVerify(const std::string& path, IndexKind kind) {
  EngineStatus status = kEngineOk;
  if (kind == IndexKind::kSpatial) {
    CSpatialIndex index(path.c_str(), kOpenReadOnly, status);
    SifStatistics statistics;
    return status != kEngineOk ? status : index.Verify(nullptr, statistics);
  }
  CKeyIndex index(path.c_str(), kOpenReadOnly, status);
  KifStatistics statistics;
  return status != kEngineOk ? status : index.Verify(nullptr, statistics);
}

std::string Kinds(const inspection::FindingList& findings) {
  std::string kinds;
  for (const inspection::Finding& f : findings.Kept()) kinds += " " + f.kind;
  return kinds;
}

bool FindsRuleTheEngineChecks(const inspection::FindingList& findings, IndexKind kind) {
  const std::set<std::string>& walkOnly = kind == IndexKind::kSpatial ? kSifWalkOnly : kKifWalkOnly;
  for (const inspection::Finding& f : findings.Kept()) {
    if (walkOnly.count(f.kind) == 0) return true;
  }
  return false;
}

// Walks `path` and verifies it with the engine; true when the file is clean.
bool ExpectVerifyAgreesWithWalk(const std::string& path, IndexKind kind) {
  const Walked walked = Walk(path, kind);
  const EngineStatus status = EngineVerify(path, kind);
  EXPECT_EQ(status != kEngineOk, FindsRuleTheEngineChecks(walked.findings, kind))
      << path << ": engine " << StatusName(status) << ", walk" << Kinds(walked.findings);
  return status == kEngineOk && walked.findings.Empty();
}

BoundingBoxNode RandomBox(std::mt19937& random) {
  std::uniform_real_distribution<double> place(-170, 170);
  std::uniform_real_distribution<double> size(0, 2);
  const double x = place(random), y = place(random) / 2;
  return BoundingBoxNode{x, y, x + size(random), y + size(random)};
}

// ---- The indexes the library writes ----------------------------------------

struct WrittenIndex {
  std::string path;
  IndexKind kind;
};

// Sets written through the facade, as a host writes them: one per object
// kind and one of all kinds, at both precisions, with and without a key index.
// `sets` gets their data file names.
void WriteFacadeSets(TempDir& dir, std::vector<WrittenIndex>& written, std::vector<std::string>& sets) {
  std::mt19937 random(5);
  for (int kind = -1; kind < 6; ++kind) {
    for (const SHORT precision : {SHORT{32}, SHORT{64}}) {
      const LONG useKif = kind % 2 == 0 ? 0 : -1;
      const std::string stem = dir.File("set" + std::to_string(kind + 1) + "_" + std::to_string(precision));
      CGafWriter writer;
      ASSERT_EQ(writer.Open((stem + ".gaf").c_str(), kGafCreateNew, useKif), eKroOk);
      ASSERT_EQ(writer.SetPrecision(precision), eKroOk);
      for (int i = 0; i < 450; ++i) {
        const int type = kind < 0 ? i % 6 : kind;
        const BoundingBoxNode b = RandomBox(random);
        GafRecord record = SinglePartRecord(
            static_cast<EGafObjectType>(type),
            type < 2 ? std::vector<CKroDoublePointNode>{{b.xMin, b.yMin}}
                     : std::vector<CKroDoublePointNode>{{b.xMin, b.yMin}, {b.xMax, b.yMin}, {b.xMax, b.yMax}, {b.xMin, b.yMin}});
        record.name = "n" + std::to_string(i);
        record.key = "key " + std::to_string(i % 97);
        ASSERT_EQ(writer.Write(record, nullptr), eKroOk);
      }
      ASSERT_EQ(writer.Finish(), eKroOk);
      sets.push_back(stem + ".gaf");
      written.push_back({stem + ".sif", IndexKind::kSpatial});
      if (useKif != 0) written.push_back({stem + ".kif", IndexKind::kKey});
    }
  }
}

// Opens the index at `path` with `flags`, applies `change` and closes it,
// then keeps what it wrote as `copy` (the file at `path` goes on changing).
template <class Index>
void ChangeAndKeep(const std::string& path, uint32_t flags, const std::function<void(Index&)>& change,
                   const std::string& copy, IndexKind kind, std::vector<WrittenIndex>& written) {
  {
    EngineStatus status = kEngineOk;
    Index index(path.c_str(), flags, status);
    ASSERT_EQ(status, kEngineOk);
    change(index);
    ASSERT_EQ(index.Close(), kEngineOk);
  }
  if (copy != path) WriteFileBytes(copy, ReadFileBytes(path));
  written.push_back({copy, kind});
}

// Spatial indexes written by the engine itself: inserted at both coordinate
// widths and a small capacity, thinned by deletions (free lists), compacted,
// packed both ways (what gaftool sort and reindex --packed write) and empty.
void WriteEngineSpatialIndexes(TempDir& dir, std::vector<WrittenIndex>& written) {
  std::mt19937 random(9);
  const IndexKind kind = IndexKind::kSpatial;
  for (const uint32_t bits : {64u, 32u}) {
    for (const uint32_t capacity : {20u, 4u}) {
      const std::string base = dir.File("engine" + std::to_string(bits) + "_" + std::to_string(capacity));
      const std::string path = base + ".sif";
      std::vector<SifBulkEntry> entries;
      for (uint32_t i = 1; i <= 900; ++i) entries.push_back(SifBulkEntry{2 * i, i % 6, RandomBox(random)});
      ChangeAndKeep<CSpatialIndex>(path, kCreate, [&](CSpatialIndex& index) {
        ASSERT_EQ(index.SetCoordinateBits(bits), kEngineOk);
        ASSERT_EQ(index.SetNodeCapacity(capacity, capacity / 2), kEngineOk);
        for (const SifBulkEntry& e : entries) ASSERT_EQ(index.Insert(e.objectType, e.box, e.recordPosition), kEngineOk);
      }, base + "_inserted.sif", kind, written);
      // A 32-bit index holds the boxes rounded; a deletion names what it holds.
      const auto held = [bits](double v) { return bits == 32 ? static_cast<double>(static_cast<float>(v)) : v; };
      ChangeAndKeep<CSpatialIndex>(path, kOpenReadWrite, [&](CSpatialIndex& index) {
        for (size_t i = 0; i < entries.size(); ++i) {
          if (i % 3 == 2) continue;
          const BoundingBoxNode& b = entries[i].box;
          const BoundingBoxNode stored{held(b.xMin), held(b.yMin), held(b.xMax), held(b.yMax)};
          ASSERT_EQ(index.Delete(stored, entries[i].recordPosition), kEngineOk);
        }
      }, base + "_deleted.sif", kind, written);
      ChangeAndKeep<CSpatialIndex>(path, kOpenReadWrite, [](CSpatialIndex& index) {
        ASSERT_EQ(index.Compact(nullptr, nullptr), kEngineOk);
      }, path, kind, written);
      if (bits != 64 || capacity != 20) continue;
      for (const SifPackOrder order : {SifPackOrder::kSortTileRecursive, SifPackOrder::kHilbert}) {
        const std::string packed = base + (order == SifPackOrder::kHilbert ? "_hilbert.sif" : "_str.sif");
        std::vector<SifBulkEntry> copy = entries;
        ASSERT_EQ(BulkLoadSpatialIndex(packed.c_str(), copy, order), kEngineOk);
        written.push_back({packed, kind});
      }
    }
  }
  std::vector<SifBulkEntry> none;
  ASSERT_EQ(BulkLoadSpatialIndex(dir.File("packed_empty.sif").c_str(), none, SifPackOrder::kHilbert), kEngineOk);
  written.push_back({dir.File("packed_empty.sif"), kind});
}

// Key indexes written by the engine: default shape and a small one (deep
// trees, keys that fill their field), thinned by deletions, compacted.
void WriteEngineKeyIndexes(TempDir& dir, std::vector<WrittenIndex>& written) {
  const IndexKind kind = IndexKind::kKey;
  const auto keyOf = [](uint32_t i) { return "k" + std::to_string(i * 7919 % 100000); };
  for (const uint32_t capacity : {20u, 4u}) {
    const std::string base = dir.File("keys" + std::to_string(capacity));
    const std::string path = base + ".kif";
    const uint32_t keyLength = capacity == 20 ? kif::kDefaultKeyLength : 6;
    ChangeAndKeep<CKeyIndex>(path, kCreate, [&](CKeyIndex& index) {
      ASSERT_EQ(index.SetNodeCapacity(capacity), kEngineOk);
      ASSERT_EQ(index.SetKeyLength(keyLength), kEngineOk);
      for (uint32_t i = 1; i <= 900; ++i) ASSERT_EQ(index.Insert(keyOf(i).c_str(), 2 * i), kEngineOk);
    }, base + "_inserted.kif", kind, written);
    ChangeAndKeep<CKeyIndex>(path, kOpenReadWrite, [&](CKeyIndex& index) {
      for (uint32_t i = 1; i <= 900; ++i) {
        if (i % 3 == 0) continue;
        ASSERT_EQ(index.Delete(keyOf(i).c_str(), 2 * i), kEngineOk);
      }
    }, base + "_deleted.kif", kind, written);
    ChangeAndKeep<CKeyIndex>(path, kOpenReadWrite, [](CKeyIndex& index) {
      ASSERT_EQ(index.Compact(nullptr, nullptr), kEngineOk);
    }, path, kind, written);
  }
}

// ---- Damage at chosen bytes ---------------------------------------------------

// The layout numbers of an index file, from its header.
struct Shape {
  uint32_t slots = 0;
  uint32_t height = 0;
  uint32_t root = 0;
  uint32_t coordinateBytes = 0;  // spatial index
  uint32_t keyLength = 0;        // key index
};

Shape ShapeOf(const Bytes& file, IndexKind kind) {
  Shape s;
  if (kind == IndexKind::kSpatial) {
    s.slots = CIndexFile::GetUInt(file.data() + sif::kMaximumOffset, 16);
    s.height = CIndexFile::GetUInt(file.data() + sif::kHeightOffset, 16);
    s.root = CIndexFile::GetUInt(file.data() + sif::kRootOffset, 32);
    s.coordinateBytes = CIndexFile::GetUInt(file.data() + sif::kCoordinateBitsOffset, 16) / 8;
  } else {
    s.slots = CIndexFile::GetUInt(file.data() + kif::kCapacityOffset, 16);
    s.height = CIndexFile::GetUInt(file.data() + kif::kHeightOffset, 16);
    s.root = CIndexFile::GetUInt(file.data() + kif::kRootOffset, 32);
    s.keyLength = CIndexFile::GetUInt(file.data() + kif::kKeyLengthOffset, 16);
  }
  return s;
}

// The used slots of a block: its non-zero child fields (spatial) or values (key).
uint32_t UsedSlots(const Bytes& file, IndexKind kind, const Shape& s, uint32_t block) {
  uint32_t used = 0;
  for (uint32_t slot = 0; slot < s.slots; ++slot) {
    const uint32_t field = kind == IndexKind::kSpatial ? sif::ChildFieldOffset(slot) : kif::ValueOffset(slot, s.slots, s.keyLength);
    used += CIndexFile::GetUInt(file.data() + block + field, 32) != 0 ? 1 : 0;
  }
  return used;
}

uint32_t ChildAt(const Bytes& file, IndexKind kind, const Shape& s, uint32_t block, uint32_t child) {
  const uint32_t field =
      kind == IndexKind::kSpatial ? sif::ChildFieldOffset(child) : kif::ChildOffset(child, s.slots, s.keyLength);
  return CIndexFile::GetUInt(file.data() + block + field, 32);
}

uint32_t FirstLeaf(const Bytes& file, IndexKind kind) {
  const Shape s = ShapeOf(file, kind);
  uint32_t block = s.root;
  for (uint32_t level = s.height; level > 1; --level) block = ChildAt(file, kind, s, block, 0);
  return block;
}

// A node with an unused slot, internal ones only when `internal`, found
// depth first from `block` at `level`; 0 when there is none.
uint32_t NodeWithRoom(const Bytes& file, IndexKind kind, const Shape& s, uint32_t block, uint32_t level, bool internal) {
  const uint32_t used = UsedSlots(file, kind, s, block);
  if (used < s.slots && (level > 0 || !internal)) return block;
  if (level == 0) return 0;
  const uint32_t children = kind == IndexKind::kSpatial ? used : used + 1;
  for (uint32_t child = 0; child < children; ++child) {
    const uint32_t found = NodeWithRoom(file, kind, s, ChildAt(file, kind, s, block, child), level - 1, internal);
    if (found != 0) return found;
  }
  return 0;
}

uint32_t NodeWithRoom(const Bytes& file, IndexKind kind, bool internal = false) {
  const Shape s = ShapeOf(file, kind);
  return NodeWithRoom(file, kind, s, s.root, s.height - 1, internal);
}

void PutU32(Bytes& file, size_t offset, uint32_t value) { CIndexFile::PutUInt(value, 32, file.data() + offset); }

void PutCoordinate(Bytes& file, const Shape& s, uint32_t block, uint32_t slot, uint32_t coordinate, double value) {
  CIndexFile::PutReal(value, static_cast<int>(8 * s.coordinateBytes),
                      file.data() + block + sif::BoxOffset(s.slots, s.coordinateBytes, slot) + coordinate * s.coordinateBytes);
}

struct Damage {
  const char* kind;  // the finding the walk must report
  IndexKind file;
  std::function<void(Bytes&)> apply;
};

std::vector<Damage> Damages() {
  const IndexKind sif = IndexKind::kSpatial;
  const IndexKind kif = IndexKind::kKey;
  return {
      {"sif.unused-slot", sif,
       [=](Bytes& f) {
         const Shape s = ShapeOf(f, sif);
         PutCoordinate(f, s, NodeWithRoom(f, sif), s.slots - 1, 2, 1.0);
       }},
      {"sif.nan-box", sif,
       [=](Bytes& f) { PutCoordinate(f, ShapeOf(f, sif), FirstLeaf(f, sif), 0, 1, std::numeric_limits<double>::quiet_NaN()); }},
      {"sif.box-inverted", sif, [=](Bytes& f) { PutCoordinate(f, ShapeOf(f, sif), FirstLeaf(f, sif), 0, 0, 1e30); }},
      {"sif.root-entries", sif,
       [=](Bytes& f) {
         const Shape s = ShapeOf(f, sif);
         std::fill(f.begin() + s.root, f.begin() + s.root + sif::InternalBlockSize(s.slots, 8 * s.coordinateBytes), 0);
         PutU32(f, sif::kObjectCountOffset, 0);
       }},
      {"sif.entry-count", sif,
       [=](Bytes& f) {
         const Shape s = ShapeOf(f, sif);
         const uint32_t leaf = FirstLeaf(f, sif);
         for (uint32_t slot = 1; slot < s.slots; ++slot) PutU32(f, leaf + sif::ChildFieldOffset(slot), 0);
       }},
      {"sif.slot-gap", sif, [=](Bytes& f) { PutU32(f, FirstLeaf(f, sif) + sif::ChildFieldOffset(0), 0); }},
      {"sif.header-padding", sif, [](Bytes& f) { f[kIndexHeaderSize - 1] = 1; }},
      {"sif.header", sif, [](Bytes& f) { CIndexFile::PutUInt(sif::kMaxSlots + 1, 16, f.data() + sif::kMaximumOffset); }},
      {"sif.position", sif, [](Bytes& f) { PutU32(f, sif::kRootOffset, kIndexHeaderSize + 1); }},
      {"sif.count-mismatch", sif,
       [](Bytes& f) { PutU32(f, sif::kObjectCountOffset, CIndexFile::GetUInt(f.data() + sif::kObjectCountOffset, 32) + 1); }},
      {"sif.box-union", sif,
       [=](Bytes& f) {
         const Shape s = ShapeOf(f, sif);
         PutCoordinate(f, s, s.root, 0, 0, -175.5);
       }},
      {"sif.revisited", sif,
       [=](Bytes& f) {
         const Shape s = ShapeOf(f, sif);
         PutU32(f, s.root + sif::ChildFieldOffset(1), ChildAt(f, sif, s, s.root, 0));
       }},
      {"sif.free-list", sif, [](Bytes& f) { PutU32(f, sif::kFreeLeafOffset, kIndexHeaderSize + 2); }},
      {"sif.free-list", sif, [=](Bytes& f) { PutU32(f, sif::kFreeLeafOffset, FirstLeaf(f, sif)); }},
      {"kif.unused-slot", kif,
       [=](Bytes& f) {
         const Shape s = ShapeOf(f, kif);
         f[NodeWithRoom(f, kif) + kif::KeyOffset(s.slots - 1, s.keyLength)] = 'x';
       }},
      {"kif.unused-slot", kif,
       [=](Bytes& f) {
         const Shape s = ShapeOf(f, kif);
         const uint32_t node = NodeWithRoom(f, kif, true);
         PutU32(f, node + kif::ChildOffset(s.slots, s.slots, s.keyLength), node);
       }},
      {"kif.key-tail", kif,
       [=](Bytes& f) {
         const Shape s = ShapeOf(f, kif);
         f[FirstLeaf(f, kif) + kif::KeyOffset(0, s.keyLength) + s.keyLength - 1] = 'x';
         f[FirstLeaf(f, kif) + kif::KeyOffset(0, s.keyLength) + s.keyLength - 2] = 0;
       }},
      {"kif.root-entries", kif,
       [=](Bytes& f) {
         const Shape s = ShapeOf(f, kif);
         for (uint32_t slot = 0; slot < s.slots; ++slot) PutU32(f, s.root + kif::ValueOffset(slot, s.slots, s.keyLength), 0);
       }},
      {"kif.slot-gap", kif,
       [=](Bytes& f) {
         const Shape s = ShapeOf(f, kif);
         PutU32(f, FirstLeaf(f, kif) + kif::ValueOffset(0, s.slots, s.keyLength), 0);
       }},
      {"kif.header-padding", kif, [](Bytes& f) { f[kIndexHeaderSize - 1] = 1; }},
      {"kif.header", kif, [](Bytes& f) { CIndexFile::PutUInt(kif::kMaxCapacity + 1, 16, f.data() + kif::kCapacityOffset); }},
      {"kif.position", kif, [](Bytes& f) { PutU32(f, kif::kRootOffset, kIndexHeaderSize + 3); }},
      {"kif.key-order", kif,
       [=](Bytes& f) {
         const Shape s = ShapeOf(f, kif);
         f[FirstLeaf(f, kif) + kif::KeyOffset(0, s.keyLength)] = 0x7F;
       }},
      {"kif.revisited", kif,
       [=](Bytes& f) {
         const Shape s = ShapeOf(f, kif);
         PutU32(f, s.root + kif::ChildOffset(1, s.slots, s.keyLength), ChildAt(f, kif, s, s.root, 0));
       }},
      {"kif.count-mismatch", kif, [](Bytes& f) { PutU32(f, kif::kEntryCountOffset, 1); }},
      {"kif.free-list", kif, [](Bytes& f) { PutU32(f, kif::kFreeInternalOffset, kIndexHeaderSize + 5); }},
      {"kif.free-list", kif, [=](Bytes& f) { PutU32(f, kif::kFreeLeafOffset, FirstLeaf(f, kif)); }},
  };
}

class IndexScanTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir();
    written_ = new std::vector<WrittenIndex>();
    sets_ = new std::vector<std::string>();
    WriteFacadeSets(*dir_, *written_, *sets_);
    WriteEngineSpatialIndexes(*dir_, *written_);
    WriteEngineKeyIndexes(*dir_, *written_);
  }
  static void TearDownTestSuite() {
    delete sets_;
    delete written_;
    delete dir_;
  }

  static TempDir* dir_;
  static std::vector<WrittenIndex>* written_;
  static std::vector<std::string>* sets_;
};

TempDir* IndexScanTest::dir_ = nullptr;
std::vector<WrittenIndex>* IndexScanTest::written_ = nullptr;
std::vector<std::string>* IndexScanTest::sets_ = nullptr;

TEST_F(IndexScanTest, EveryIndexTheLibraryWritesIsCleanForTheEngineAndTheWalk) {
  ASSERT_FALSE(HasFatalFailure());
  ASSERT_GE(written_->size(), 30u);
  for (const WrittenIndex& index : *written_) {
    SCOPED_TRACE(index.path);
    EXPECT_TRUE(ExpectVerifyAgreesWithWalk(index.path, index.kind));
  }
  // The whole sets too: the cross-checks (the extent against the info box
  // among them) hold at both precisions.
  for (const std::string& set : *sets_) {
    inspection::SetPaths paths;
    std::string error;
    ASSERT_TRUE(inspection::DeriveSetPaths(set, paths, error)) << error;
    inspection::SetInspection inspected;
    inspection::InspectSet(paths, false, inspected);
    EXPECT_TRUE(inspected.findings.Empty()) << set << Kinds(inspected.findings);
  }
}

// Every damage on every index of its kind deep enough to hold it: the walk
// names it, and the engine fails exactly when the walk also finds a rule the
// engine checks.
TEST_F(IndexScanTest, VerifyAndWalkAgreeOnEveryDamagedIndex) {
  ASSERT_FALSE(HasFatalFailure());
  std::set<std::string> kindsSeen;
  int copy = 0;
  for (const Damage& damage : Damages()) {
    for (const WrittenIndex& index : *written_) {
      const Bytes healthy = ReadFileBytes(index.path);
      if (index.kind != damage.file || ShapeOf(healthy, index.kind).height < 2) continue;
      SCOPED_TRACE(std::string(damage.kind) + " in " + index.path);
      Bytes bytes = healthy;
      damage.apply(bytes);
      const std::string path = dir_->File("damaged" + std::to_string(copy++) + (index.kind == IndexKind::kSpatial ? ".sif" : ".kif"));
      WriteFileBytes(path, bytes);
      ExpectVerifyAgreesWithWalk(path, index.kind);
      const Walked walked = Walk(path, index.kind);
      EXPECT_TRUE(walked.findings.HasKind(damage.kind)) << Kinds(walked.findings);
      kindsSeen.insert(damage.kind);
    }
  }
  std::set<std::string> kinds;
  for (const Damage& damage : Damages()) kinds.insert(damage.kind);
  EXPECT_EQ(kindsSeen, kinds);
}

// An inverted box goes in through Insert like any other: the engine keeps
// and verifies the tree, the walk reports the box that no object has.
TEST_F(IndexScanTest, InvertedBoxInsertedIsLeftToTheWalk) {
  const std::string path = dir_->File("inverted.sif");
  {
    EngineStatus status = kEngineOk;
    CSpatialIndex index(path.c_str(), kCreate, status);
    ASSERT_EQ(status, kEngineOk);
    ASSERT_EQ(index.Insert(2, BoundingBoxNode{5, 0, 1, 1}, 40), kEngineOk);
    ASSERT_EQ(index.Insert(2, BoundingBoxNode{0, 0, 1, 1}, 42), kEngineOk);
  }
  EXPECT_EQ(EngineVerify(path, IndexKind::kSpatial), kEngineOk);
  const Walked walked = Walk(path, IndexKind::kSpatial);
  EXPECT_TRUE(walked.findings.HasKind("sif.box-inverted")) << Kinds(walked.findings);
  EXPECT_EQ(walked.findings.Count(), 1u);
}

// The root's extent is what the cross-check holds against the info box.
TEST_F(IndexScanTest, ExtentIsTheUnionOfTheRootsEntries) {
  const std::string path = dir_->File("extent.sif");
  {
    EngineStatus status = kEngineOk;
    CSpatialIndex index(path.c_str(), kCreate, status);
    ASSERT_EQ(status, kEngineOk);
    for (uint32_t i = 1; i <= 300; ++i) ASSERT_EQ(index.Insert(0, BoundingBoxNode{1.0 * i, -2.0 * i, i + 0.5, 0}, 2 * i), kEngineOk);
  }
  const Walked walked = Walk(path, IndexKind::kSpatial);
  EXPECT_TRUE(walked.findings.Empty()) << Kinds(walked.findings);
  ASSERT_TRUE(walked.spatial.hasExtent);
  EXPECT_EQ(walked.spatial.extent.xMin, 1.0);
  EXPECT_EQ(walked.spatial.extent.yMin, -600.0);
  EXPECT_EQ(walked.spatial.extent.xMax, 300.5);
  EXPECT_EQ(walked.spatial.extent.yMax, 0.0);
}

// Every prefix of a healthy file: the walk stays inside the bytes it has and
// the engine and the walk still agree.
TEST_F(IndexScanTest, CutFilesAreWalkedWithinTheirBytes) {
  ASSERT_FALSE(HasFatalFailure());
  std::set<IndexKind> cut;
  for (const WrittenIndex& index : *written_) {
    const Bytes healthy = ReadFileBytes(index.path);
    if (ShapeOf(healthy, index.kind).height < 2 || !cut.insert(index.kind).second) continue;
    for (const size_t size : {size_t{0}, size_t{kIndexHeaderSize - 1}, size_t{kIndexHeaderSize}, healthy.size() / 2,
                              healthy.size() - 1}) {
      SCOPED_TRACE(index.path + " cut to " + std::to_string(size));
      const std::string path = dir_->File(index.kind == IndexKind::kSpatial ? "cut.sif" : "cut.kif");
      WriteFileBytes(path, Bytes(healthy.begin(), healthy.begin() + static_cast<std::ptrdiff_t>(size)));
      ExpectVerifyAgreesWithWalk(path, index.kind);
      EXPECT_FALSE(Walk(path, index.kind).findings.Empty());
    }
  }
  EXPECT_EQ(cut.size(), 2u);
}

}  // namespace
}  // namespace kro::test
