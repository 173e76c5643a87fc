// gaftool verify and info through the real binary: sets the library writes
// pass; a corpus of damaged sets, each made here by patching one rule's
// bytes, is caught with the damage's own kind, file and offset; random damage
// never makes the tool crash or hang, and whatever random damage the engine's
// strict read refuses, verify reports.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>

#include <functional>
#include <nlohmann/json.hpp>
#include <random>
#include <set>

#include "engine/datafile/GafFormat.h"
#include "engine/indexfile/CIndexFile.h"
#include "engine/keyindex/CKeyIndex.h"
#include "engine/keyindex/KifFormat.h"
#include "engine/keyindex/KifStatistics.h"
#include "engine/spatialindex/CSpatialIndex.h"
#include "engine/spatialindex/SifFormat.h"
#include "fileset/CGafReader.h"
#include "fileset/CGafWriter.h"
#include "platform/FileSystem.h"
#include "gaftool/GaftoolTestSupport.h"

namespace kro::test {
namespace {

using nlohmann::json;

constexpr int kSetObjects = 400;

class GaftoolVerifyTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    directory_ = new TempDir();
    objects_ = new std::vector<SampleObject>(SampleObjects(kSetObjects, 7));
    ASSERT_TRUE(WriteSampleSet(directory_->File("healthy.gaf"), *objects_));
  }
  static void TearDownTestSuite() {
    delete objects_;
    delete directory_;
  }
  // A fresh copy of the healthy set; returns its stem.
  std::string Copy(const std::string& name) {
    const std::string stem = directory_->File(name);
    CopySet(directory_->File("healthy"), stem);
    return stem;
  }

  static TempDir* directory_;
  static std::vector<SampleObject>* objects_;
};

TempDir* GaftoolVerifyTest::directory_ = nullptr;
std::vector<SampleObject>* GaftoolVerifyTest::objects_ = nullptr;

uint32_t ReadU32(const std::string& file, uint64_t offset) {
  const Bytes bytes = ReadFileBytes(file);
  return CIndexFile::GetUInt(bytes.data() + offset, 32);
}
uint32_t ReadU16(const std::string& file, uint64_t offset) {
  const Bytes bytes = ReadFileBytes(file);
  return CIndexFile::GetUInt(bytes.data() + offset, 16);
}

// Offset of the first header chunk with tag word `word` after the info chunk.
uint64_t HeaderChunk(const std::string& file, uint32_t word) {
  const Bytes bytes = ReadFileBytes(file);
  for (uint64_t at = gaf::kInfoChunkSize; at + 2 <= bytes.size(); at += 2) {
    if (CIndexFile::GetUInt(bytes.data() + at, 16) == word) return at;
  }
  return 0;
}

// Payload offset and length of the record at `position`.
void RecordPayload(const std::string& file, uint32_t position, uint64_t& payload, uint32_t& length) {
  const uint32_t word = ReadU16(file, position);
  length = word & 127u;
  payload = position + 2;
  if (length == 127) {
    length = ReadU32(file, position + 2);
    payload += 4;
  }
}

uint32_t StoredStrings(const GafRecord& t) {
  return gaf::StoredStringSize(static_cast<uint32_t>(t.name.size())) +
         gaf::StoredStringSize(static_cast<uint32_t>(t.key.size())) +
         gaf::StoredStringSize(static_cast<uint32_t>(t.url.size()));
}
uint32_t StringBlock(const GafRecord& t) { return gaf::RoundUpEven(StoredStrings(t)); }

// The last record grows by its own length in zero bytes before the
// end-of-data chunk: more slack than any reuse of a free record leaves.
void DoubleLastRecord(const std::string& file, const std::vector<SampleObject>& objects) {
  const uint32_t position = objects.back().position;
  uint64_t payload;
  uint32_t length;
  RecordPayload(file, position, payload, length);
  ASSERT_EQ(payload, position + 6u) << "the last sample record is long";
  Bytes bytes = ReadFileBytes(file);
  bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(payload + length), length, 0);
  CIndexFile::PutUInt(2 * length, 32, bytes.data() + position + 2);
  WriteFileBytes(file, bytes);
}

// The first record whose stored strings add up to an odd number, which puts
// a pad byte after them.
const SampleObject& PaddedRecord(const std::vector<SampleObject>& objects) {
  for (const SampleObject& o : objects) {
    if ((StoredStrings(o.record) & 1u) != 0) return o;
  }
  return objects.front();
}

// The first leaf of an index: child 0 all the way down. `childAt` gives the
// offset of child 0 inside an internal block.
uint32_t FirstLeaf(const std::string& file, uint64_t rootOffset, uint64_t heightOffset, uint32_t childAt) {
  uint32_t block = ReadU32(file, rootOffset);
  for (uint32_t level = ReadU16(file, heightOffset); level > 1; --level) block = ReadU32(file, block + childAt);
  return block;
}
uint32_t SifFirstLeaf(const std::string& sif) { return FirstLeaf(sif, sif::kRootOffset, sif::kHeightOffset, 0); }
uint32_t KifFirstLeaf(const std::string& kif) {
  return FirstLeaf(kif, kif::kRootOffset, kif::kHeightOffset, kif::ChildOffset(0, 20, 32));
}

// The first slot of `block` whose field at `fieldAt(slot)` is 0 (unused);
// the default capacity when every slot is used.
uint32_t FirstUnusedSlot(const std::string& file, uint32_t block, const std::function<uint32_t(uint32_t)>& fieldAt) {
  uint32_t slot = 0;
  while (slot < sif::kDefaultMaxEntries && ReadU32(file, block + fieldAt(slot)) != 0) ++slot;
  return slot;
}
uint32_t SifRootUnusedSlot(const std::string& sif) {
  return FirstUnusedSlot(sif, ReadU32(sif, sif::kRootOffset), [](uint32_t slot) { return sif::ChildFieldOffset(slot); });
}
uint32_t KifRootUnusedSlot(const std::string& kif) {
  return FirstUnusedSlot(kif, ReadU32(kif, kif::kRootOffset), [](uint32_t slot) { return kif::ValueOffset(slot, 20, 32); });
}

json VerifyJson(const std::string& gaf, int& exitCode) {
  const ToolRun run = RunTool({"verify", gaf, "--json"});
  exitCode = run.exitCode;
  return json::parse(run.out, nullptr, false);
}

TEST_F(GaftoolVerifyTest, SetsTheLibraryWritesPass) {
  struct Case {
    const char* name;
    int count;
    LONG useKif;
    SHORT precision;
  };
  const Case cases[] = {{"empty", 0, -1, 64}, {"one", 1, -1, 64}, {"single32", 50, 0, 32}, {"many", 3000 / kScale, -1, 64}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<SampleObject> objects = SampleObjects(c.count, 11);
    const std::string gaf = directory_->File(std::string(c.name) + ".gaf");
    ASSERT_TRUE(WriteSampleSet(gaf, objects, c.useKif, c.precision));
    int exitCode = -1;
    const json report = VerifyJson(gaf, exitCode);
    EXPECT_EQ(0, exitCode) << report.dump(1);
    EXPECT_TRUE(report.value("ok", false));
    EXPECT_EQ(c.count, report.value("objects", -1));
    EXPECT_EQ(0, RunTool({"verify", gaf}).exitCode);
  }
}

// A set whose header has the ring-roles chunk verifies clean, info shows the
// chunk, and a repaired copy keeps it with the records' rings as they were.
TEST_F(GaftoolVerifyTest, RingRolesChunkIsAcceptedShownAndKeptByRepair) {
  const std::string gaf = directory_->File("roles.gaf");
  {
    CGafWriter writer;
    ASSERT_EQ(writer.Open(gaf.c_str(), kGafCreateNew, -1), eKroOk);
    ASSERT_EQ(writer.SetRingRolesByOrientation(), eKroOk);
    GafRecord record;
    record.kind = kGafPolyPolygonObject;
    record.name = "a";
    record.key = "k";
    record.parts = {4, 4};
    record.vertices = {{0, 0}, {4, 0}, {0, 4}, {0, 0}, {1, 1}, {1, 2}, {2, 1}, {1, 1}};
    ASSERT_EQ(writer.Write(record, nullptr), eKroOk);
    ASSERT_EQ(writer.Finish(), eKroOk);
  }
  const ToolRun verify = RunTool({"verify", gaf});
  EXPECT_EQ(0, verify.exitCode) << verify.out << verify.err;
  const ToolRun info = RunTool({"info", gaf, "--json"});
  ASSERT_EQ(0, info.exitCode) << info.err;
  EXPECT_EQ(true, json::parse(info.out)["data_file"]["ring_roles_by_orientation"]);
  ASSERT_EQ(0, RunTool({"repair", gaf, "--quiet"}).exitCode);
  CGafReader repaired;
  ASSERT_EQ(repaired.OpenForRead(directory_->File("roles-repaired.gaf").c_str(), kGafReadOnly), eKroOk);
  EXPECT_TRUE(repaired.RingRolesByOrientation());
}

TEST_F(GaftoolVerifyTest, InfoReportsHeaderCountsAndIndexShapes) {
  const ToolRun run = RunTool({"info", directory_->File("healthy.gaf"), "--json"});
  ASSERT_EQ(0, run.exitCode) << run.err;
  const json info = json::parse(run.out);
  const json& data = info["data_file"];
  EXPECT_EQ(kSetObjects, data["object_count"]);
  EXPECT_EQ(64, data["precision"]);
  EXPECT_EQ(false, data["ring_roles_by_orientation"]) << "the facade writes the chunk only when asked";
  EXPECT_EQ("gaftool test set", data["description"]);
  for (uint32_t kind = 0; kind < 6; ++kind) {
    EXPECT_EQ(kSetObjects / 6 + (kind < kSetObjects % 6 ? 1 : 0), data["objects_by_kind"].at(kind == 0 ? "point" : kind == 1 ? "multi-point" : kind == 2 ? "polyline" : kind == 3 ? "multi-polyline" : kind == 4 ? "polygon" : "multi-polygon"));
  }
  BoundingBoxNode box = objects_->front().box;
  for (const SampleObject& o : *objects_) {
    box = {std::min(box.xMin, o.box.xMin), std::min(box.yMin, o.box.yMin), std::max(box.xMax, o.box.xMax),
           std::max(box.yMax, o.box.yMax)};
  }
  EXPECT_EQ(json::array({box.xMin, box.yMin, box.xMax, box.yMax}), data["bounding_box"]);
  const json& sif = info["spatial_index"];
  EXPECT_EQ(kSetObjects, sif["object_count"]);
  EXPECT_GE(sif["height"].get<int>(), 2);
  EXPECT_EQ(sif["height"].get<size_t>(), sif["nodes_per_level"].size());
  EXPECT_EQ(1, sif["nodes_per_level"].back());
  EXPECT_EQ(kSetObjects, info["key_index"]["entry_count"]);
  EXPECT_EQ(0, info["problems"]);
  const ToolRun text = RunTool({"info", directory_->File("healthy.gaf")});
  EXPECT_EQ(0, text.exitCode);
  EXPECT_NE(std::string::npos, text.out.find("object_count: 400"));
}

struct Damage {
  const char* kind;  // the finding verify must report
  const char* file;  // extension of the file it lies in
  std::function<void(const std::string& stem, const std::vector<SampleObject>& objects)> apply;
};

std::vector<Damage> DamageCorpus() {
  const auto gafOf = [](const std::string& stem) { return stem + ".gaf"; };
  return {
      {"gaf.too-short", ".gaf", [&](const std::string& s, auto&) { Truncate(gafOf(s), 30); }},
      {"gaf.info-chunk", ".gaf", [&](const std::string& s, auto&) { PatchU16(gafOf(s), 0, 0x002A); }},
      {"gaf.bad-version", ".gaf", [&](const std::string& s, auto&) { PatchU16(gafOf(s), HeaderChunk(gafOf(s), 0x4002) + 2, 3); }},
      {"gaf.bad-precision", ".gaf", [&](const std::string& s, auto&) { PatchU16(gafOf(s), HeaderChunk(gafOf(s), 0x4802) + 2, 48); }},
      {"gaf.header-unterminated", ".gaf", [&](const std::string& s, auto&) { PatchU16(gafOf(s), HeaderChunk(gafOf(s), 0x0800), 0x0C00); }},
      {"gaf.chunk-past-end", ".gaf",
       [&](const std::string& s, auto&) { Truncate(gafOf(s), ReadFileBytes(gafOf(s)).size() - 5); }},
      {"gaf.no-end-of-data", ".gaf", [&](const std::string& s, auto&) { Truncate(gafOf(s), ReadFileBytes(gafOf(s)).size() - 2); }},
      {"gaf.data-after-end", ".gaf",
       [&](const std::string& s, auto&) {
         Bytes bytes = ReadFileBytes(gafOf(s));
         bytes.insert(bytes.end(), 4, 0);
         WriteFileBytes(gafOf(s), bytes);
       }},
      {"gaf.unknown-chunk", ".gaf",
       [&](const std::string& s, auto& objects) {
         const uint32_t at = objects[0].position;
         PatchU16(gafOf(s), at, (40u << 10) | (ReadU16(gafOf(s), at) & 127u));
       }},
      {"gaf.tag-bits", ".gaf",
       [&](const std::string& s, auto& objects) {
         PatchU16(gafOf(s), objects[0].position, ReadU16(gafOf(s), objects[0].position) | 0x0080u);
       }},
      {"gaf.record-layout", ".gaf",
       [&](const std::string& s, auto& objects) {
         uint64_t payload;
         uint32_t length;
         RecordPayload(gafOf(s), objects[2].position, payload, length);
         PatchU16(gafOf(s), payload + StringBlock(objects[2].record), 60000);
       }},
      {"gaf.ring-open", ".gaf",
       [&](const std::string& s, auto& objects) {
         uint64_t payload;
         uint32_t length;
         RecordPayload(gafOf(s), objects[4].position, payload, length);
         const uint64_t last = payload + StringBlock(objects[4].record) + 2 + (objects[4].record.vertices.size() - 1) * 16;
         PatchU32(gafOf(s), last, ReadU32(gafOf(s), last) ^ 0x00100000u);
       }},
      {"gaf.record-length", ".gaf", [&](const std::string& s, auto& objects) { DoubleLastRecord(gafOf(s), objects); }},
      {"gaf.pad-byte", ".gaf",
       [&](const std::string& s, auto& objects) {
         const SampleObject& o = PaddedRecord(objects);
         uint64_t payload;
         uint32_t length;
         RecordPayload(gafOf(s), o.position, payload, length);
         ASSERT_EQ(StoredStrings(o.record) & 1u, 1u);
         Bytes bytes = ReadFileBytes(gafOf(s));
         bytes[payload + StoredStrings(o.record)] = 0x7F;
         WriteFileBytes(gafOf(s), bytes);
       }},
      {"gaf.nan-vertex", ".gaf",
       [&](const std::string& s, auto& objects) {
         uint64_t payload;
         uint32_t length;
         RecordPayload(gafOf(s), objects[2].position, payload, length);
         PatchU32(gafOf(s), payload + StringBlock(objects[2].record) + 2 + 16, 0x7FF80000u);
       }},
      {"gaf.box-nan", ".gaf", [&](const std::string& s, auto&) { PatchU32(gafOf(s), 2 + gaf::kInfoYMax, 0x7FF80000u); }},
      {"gaf.box-inverted", ".gaf", [&](const std::string& s, auto&) { PatchU32(gafOf(s), 2 + gaf::kInfoXMin, 0x7FE00000u); }},
      {"gaf.info-empty", ".gaf", [&](const std::string& s, auto&) { PatchU32(gafOf(s), 2 + gaf::kInfoObjectCount, 0); }},
      {"gaf.info-repeated", ".gaf", [&](const std::string& s, auto&) { PatchU16(gafOf(s), HeaderChunk(gafOf(s), 0x4002), 0x0002); }},
      {"gaf.header-length", ".gaf",
       [&](const std::string& s, auto&) {
         const uint32_t word = gaf::TagWord(gaf::kCodeDescription, false, gaf::StoredStringSize(16));
         PatchU16(gafOf(s), HeaderChunk(gafOf(s), word), word + 1);
       }},
      {"gaf.end-of-data-length", ".gaf",
       [&](const std::string& s, auto&) {
         Bytes bytes = ReadFileBytes(gafOf(s));
         bytes.back() = 2;
         bytes.insert(bytes.end(), 2, 0);
         WriteFileBytes(gafOf(s), bytes);
       }},
      {"gaf.count-mismatch", ".gaf", [&](const std::string& s, auto&) { PatchU32(gafOf(s), 2, kSetObjects + 1); }},
      {"gaf.kinds-mismatch", ".gaf", [&](const std::string& s, auto&) { PatchU32(gafOf(s), 10, 1); }},
      {"gaf.box-mismatch", ".gaf", [&](const std::string& s, auto&) { PatchU32(gafOf(s), 14, 0x40000000u); }},
      {"gaf.free-list", ".gaf", [&](const std::string& s, auto& objects) { PatchU32(gafOf(s), 6, objects[1].position); }},
      {"set.journal-pending", ".gaf-journal", [&](const std::string& s, auto&) { WriteFileBytes(s + ".gaf-journal", Bytes(8, 0)); }},
      {"sif.missing", ".sif", [&](const std::string& s, auto&) { std::remove((s + ".sif").c_str()); }},
      {"sif.header", ".sif", [&](const std::string& s, auto&) { PatchU32(s + ".sif", 0, 0x41534947u); }},
      {"sif.position", ".sif", [&](const std::string& s, auto&) { PatchU32(s + ".sif", sif::kRootOffset, 513); }},
      {"sif.count-mismatch", ".sif", [&](const std::string& s, auto&) { PatchU32(s + ".sif", sif::kObjectCountOffset, 7); }},
      {"sif.box-union", ".sif",
       [&](const std::string& s, auto&) {
         const uint32_t root = ReadU32(s + ".sif", sif::kRootOffset);
         PatchU32(s + ".sif", root + sif::BoxOffset(20, 8, 0), 0xC0800000u);
       }},
      {"sif.revisited", ".sif",
       [&](const std::string& s, auto&) {
         const uint32_t root = ReadU32(s + ".sif", sif::kRootOffset);
         PatchU32(s + ".sif", root + 4, ReadU32(s + ".sif", root));
       }},
      {"sif.entry-count", ".sif",
       [&](const std::string& s, auto&) {
         const uint32_t leaf = SifFirstLeaf(s + ".sif");
         for (uint32_t slot = 2; slot < 20; ++slot) PatchU32(s + ".sif", leaf + 4 * slot, 0);
       }},
      {"sif.slot-gap", ".sif", [&](const std::string& s, auto&) { PatchU32(s + ".sif", SifFirstLeaf(s + ".sif"), 0); }},
      {"sif.free-list", ".sif", [&](const std::string& s, auto&) { PatchU32(s + ".sif", sif::kFreeLeafOffset, 514); }},
      {"sif.entry-type", ".sif",
       [&](const std::string& s, auto&) {
         const uint32_t leaf = SifFirstLeaf(s + ".sif");
         const uint64_t at = leaf + sif::TypeOffset(20, 8, 0);
         PatchU16(s + ".sif", at, (ReadU16(s + ".sif", at) + 1) % 6);
       }},
      {"sif.entry-box", ".sif",
       [&](const std::string& s, auto&) {
         const uint32_t leaf = SifFirstLeaf(s + ".sif");
         PatchU32(s + ".sif", leaf + sif::BoxOffset(20, 8, 0) + 4, ReadU32(s + ".sif", leaf + sif::BoxOffset(20, 8, 0) + 4) ^ 1u);
       }},
      {"sif.stray-entry", ".sif", [&](const std::string& s, auto&) { PatchU32(s + ".sif", SifFirstLeaf(s + ".sif"), 0x01000000u); }},
      {"sif.unindexed", ".sif", [&](const std::string& s, auto&) { PatchU32(s + ".sif", SifFirstLeaf(s + ".sif"), 0x01000000u); }},
      {"sif.count-vs-data", ".sif", [&](const std::string& s, auto&) { PatchU32(s + ".sif", sif::kObjectCountOffset, 7); }},
      {"sif.unused-slot", ".sif",
       [&](const std::string& s, auto&) {
         const uint32_t root = ReadU32(s + ".sif", sif::kRootOffset);
         PatchU32(s + ".sif", root + sif::BoxOffset(20, 8, SifRootUnusedSlot(s + ".sif")), 0x3FF00000u);
       }},
      {"sif.nan-box", ".sif",
       [&](const std::string& s, auto&) { PatchU32(s + ".sif", SifFirstLeaf(s + ".sif") + sif::BoxOffset(20, 8, 0), 0x7FF80000u); }},
      {"sif.box-inverted", ".sif",
       [&](const std::string& s, auto&) { PatchU32(s + ".sif", SifFirstLeaf(s + ".sif") + sif::BoxOffset(20, 8, 0), 0x7FE00000u); }},
      {"sif.root-entries", ".sif",
       [&](const std::string& s, auto&) {
         const uint32_t root = ReadU32(s + ".sif", sif::kRootOffset);
         for (uint32_t slot = 0; slot < 20; ++slot) PatchU32(s + ".sif", root + sif::ChildFieldOffset(slot), 0);
       }},
      {"sif.header-padding", ".sif", [&](const std::string& s, auto&) { PatchU16(s + ".sif", kIndexHeaderSize - 2, 1); }},
      {"sif.extent-vs-info", ".sif", [&](const std::string& s, auto&) { PatchU32(gafOf(s), 14, 0x40000000u); }},
      {"kif.header", ".kif", [&](const std::string& s, auto&) { PatchU16(s + ".kif", kif::kCapacityOffset, 21); }},
      {"kif.position", ".kif", [&](const std::string& s, auto&) { PatchU32(s + ".kif", kif::kRootOffset, 515); }},
      {"kif.count-mismatch", ".kif", [&](const std::string& s, auto&) { PatchU32(s + ".kif", kif::kEntryCountOffset, 3); }},
      {"kif.key-order", ".kif", [&](const std::string& s, auto&) { PatchU16(s + ".kif", KifFirstLeaf(s + ".kif"), 0x7A7A); }},
      {"kif.entry-key", ".kif", [&](const std::string& s, auto&) { PatchU16(s + ".kif", KifFirstLeaf(s + ".kif"), 0x7A7A); }},
      {"kif.free-list", ".kif", [&](const std::string& s, auto&) { PatchU32(s + ".kif", kif::kFreeInternalOffset, 512 + 7); }},
      {"kif.key-tail", ".kif",
       [&](const std::string& s, auto&) { PatchU16(s + ".kif", KifFirstLeaf(s + ".kif") + kif::KeyOffset(0, 32) + 30, 0x0078); }},
      {"kif.unused-slot", ".kif",
       [&](const std::string& s, auto&) {
         const uint32_t root = ReadU32(s + ".kif", kif::kRootOffset);
         PatchU16(s + ".kif", root + kif::KeyOffset(KifRootUnusedSlot(s + ".kif"), 32), 0x7800);
       }},
      {"kif.root-entries", ".kif",
       [&](const std::string& s, auto&) {
         const uint32_t root = ReadU32(s + ".kif", kif::kRootOffset);
         for (uint32_t slot = 0; slot < 20; ++slot) PatchU32(s + ".kif", root + kif::ValueOffset(slot, 20, 32), 0);
       }},
      {"kif.header-padding", ".kif", [&](const std::string& s, auto&) { PatchU16(s + ".kif", kIndexHeaderSize - 2, 1); }},
      {"kif.unindexed", ".kif",
       [&](const std::string& s, auto&) {
         const uint32_t leaf = KifFirstLeaf(s + ".kif");
         PatchU32(s + ".kif", leaf + kif::ValueOffset(0, 20, 32), 0x01000000u);
       }},
  };
}

TEST_F(GaftoolVerifyTest, FindsEveryKindOfDamageWithItsOwnMessage) {
  std::set<std::string> kinds;
  std::set<std::string> messages;
  int index = 0;
  for (const Damage& damage : DamageCorpus()) {
    SCOPED_TRACE(damage.kind);
    const std::string stem = Copy("damaged" + std::to_string(index++));
    damage.apply(stem, *objects_);
    int exitCode = -1;
    const json report = VerifyJson(stem + ".gaf", exitCode);
    EXPECT_EQ(1, exitCode);
    ASSERT_TRUE(report.is_object());
    EXPECT_FALSE(report["ok"].get<bool>());
    bool found = false;
    for (const json& finding : report["findings"]) {
      if (finding["kind"] != damage.kind) continue;
      found = true;
      EXPECT_EQ(stem + damage.file, finding["file"]);
      EXPECT_FALSE(finding["message"].get<std::string>().empty());
      messages.insert(finding["message"].get<std::string>().substr(0, 12));
    }
    EXPECT_TRUE(found) << report.dump(1);
    kinds.insert(damage.kind);
    // The text form names the file and the offset too, and info agrees.
    const ToolRun text = RunTool({"verify", stem + ".gaf"});
    EXPECT_EQ(1, text.exitCode);
    EXPECT_NE(std::string::npos, text.out.find(stem + damage.file + ": offset 0x"));
    EXPECT_EQ(1, RunTool({"info", stem + ".gaf"}).exitCode);
  }
  EXPECT_GE(kinds.size(), 15u);
}

TEST_F(GaftoolVerifyTest, RandomDamageNeverCrashesTheTool) {
  std::mt19937 random(2024);
  const int rounds = 60 / kScale;
  for (int round = 0; round < rounds; ++round) {
    const std::string stem = Copy("random");
    const char* extension = round % 3 == 0 ? ".gaf" : round % 3 == 1 ? ".sif" : ".kif";
    Bytes bytes = ReadFileBytes(stem + extension);
    if (round % 5 == 4) {
      bytes.resize(random() % bytes.size());
    } else {
      for (int flips = 1 + static_cast<int>(random() % 8); flips > 0; --flips) bytes[random() % bytes.size()] = random() & 0xFF;
    }
    WriteFileBytes(stem + extension, bytes);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"verify", stem + ".gaf"}, {"info", stem + ".gaf", "--json"},
          {"dump", stem + ".gaf", "--format", "jsonl"}, {"dump", stem + ".gaf", "--box", "0", "0", "50", "50"}}) {
      const ToolRun run = RunTool(args);
      EXPECT_TRUE(run.exitCode == 0 || run.exitCode == 1) << args[0] << " round " << round << " exit " << run.exitCode;
    }
  }
}

// The engine's strict read of a set: the read-only open through the facade,
// every record in file order read, then each index's own Verify.
bool EngineReadsTheSet(const std::string& stem) {
  {
    CGafReader reader;
    if (reader.OpenForRead((stem + ".gaf").c_str(), kGafReadOnly) != eKroOk || reader.BeginSequential() != eKroOk) {
      return false;
    }
    GafRecord record;
    EKroErrCode step = eKroOk;
    // Bounds a pass that would not end; the sample set is far smaller.
    constexpr size_t kMaxResults = size_t{1} << 20;
    for (size_t results = 0; results < kMaxResults; ++results) {
      if ((step = reader.Next(record)) != eKroOk) break;
      // An unknown record holds nothing any reader takes.
      if (record.kind == kGafUndefinedObject) return false;
    }
    if (step != eKroEndOfGaf || reader.EndSearch() != eKroOk) return false;
  }
  EngineStatus status = kEngineOk;
  CSpatialIndex spatial((stem + ".sif").c_str(), kOpenReadOnly, status);
  SifStatistics sifStatistics;
  if (status != kEngineOk || spatial.Verify(nullptr, sifStatistics) != kEngineOk) return false;
  CKeyIndex keys((stem + ".kif").c_str(), kOpenReadOnly, status);
  KifStatistics kifStatistics;
  return status == kEngineOk && keys.Verify(nullptr, kifStatistics) == kEngineOk;
}

// One random damage: bytes flipped, the file cut short, or (in the data
// file) a record's length field changed.
void DamageAtRandom(const std::string& file, const std::vector<SampleObject>& objects, std::mt19937& random,
                    bool dataFile) {
  Bytes bytes = ReadFileBytes(file);
  switch (random() % 3) {
    case 0:
      for (int flips = 1 + static_cast<int>(random() % 4); flips > 0; --flips) bytes[random() % bytes.size()] = random() & 0xFF;
      break;
    case 1:
      bytes.resize(random() % bytes.size());
      break;
    default: {
      if (!dataFile) {
        bytes[random() % std::min<size_t>(bytes.size(), 64)] ^= static_cast<uint8_t>(1u << (random() % 8));
        break;
      }
      const uint32_t position = objects[random() % objects.size()].position;
      const uint32_t word = CIndexFile::GetUInt(bytes.data() + position, 16);
      const int delta = static_cast<int>(random() % 9) - 4;
      if ((word & gaf::kTagLengthMask) == gaf::kLongLengthMarker) {
        const uint32_t length = CIndexFile::GetUInt(bytes.data() + position + 2, 32);
        CIndexFile::PutUInt(static_cast<uint32_t>(static_cast<int64_t>(length) + delta), 32, bytes.data() + position + 2);
      } else {
        const uint32_t length = (word + static_cast<uint32_t>(delta)) & gaf::kMaxShortLength;
        CIndexFile::PutUInt((word & ~gaf::kTagLengthMask) | length, 16, bytes.data() + position);
      }
    }
  }
  WriteFileBytes(file, bytes);
}

TEST_F(GaftoolVerifyTest, VerifyIsAtLeastAsStrictAsTheEngine) {
  ASSERT_TRUE(EngineReadsTheSet(directory_->File("healthy")));
  std::mt19937 random(77);
  const int rounds = 90 / kScale;
  int refused = 0;
  for (int round = 0; round < rounds; ++round) {
    const std::string stem = Copy("strict");
    const char* extension = round % 3 == 0 ? ".sif" : round % 3 == 1 ? ".kif" : ".gaf";
    DamageAtRandom(stem + extension, *objects_, random, round % 3 == 2);
    if (EngineReadsTheSet(stem)) continue;
    ++refused;
    int exitCode = -1;
    const json report = VerifyJson(stem + ".gaf", exitCode);
    EXPECT_EQ(1, exitCode) << extension << " round " << round;
    EXPECT_TRUE(report.is_object() && !report["findings"].empty()) << extension << " round " << round;
  }
  EXPECT_GE(refused, rounds / 4) << "the damage reaches the engine's checks";
}

TEST(GaftoolUsageTest, UsageErrorsExitWithTwoAndHelpWithZero) {
  EXPECT_EQ(2, RunTool({}).exitCode);
  EXPECT_EQ(2, RunTool({"frobnicate"}).exitCode);
  EXPECT_EQ(2, RunTool({"verify"}).exitCode);
  EXPECT_EQ(2, RunTool({"verify", "/nonexistent/x.gaf"}).exitCode);
  EXPECT_EQ(2, RunTool({"dump", GAFTOOL_PATH, "--format", "text"}).exitCode);  // not a ".gaf" name
  // A FIFO named like a set, or standing in for one of its indexes, is
  // refused at once instead of being waited on.
  TempDir directory;
  const std::string fifo = directory.File("fifo.gaf");
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  std::vector<SampleObject> objects = SampleObjects(20, 4);
  const std::string set = directory.File("set.gaf");
  ASSERT_TRUE(WriteSampleSet(set, objects));
  std::remove(directory.File("set.kif").c_str());
  ASSERT_EQ(0, mkfifo(directory.File("set.kif").c_str(), 0600));
  for (const std::string command : {"info", "verify", "dump"}) {
    for (const auto& [gaf, exitCode] : {std::pair<std::string, int>{fifo, 2}, {set, 1}}) {
      const ToolRun run = RunTool({command, gaf});
      EXPECT_EQ(exitCode, run.exitCode) << command << " " << gaf;
      EXPECT_NE(std::string::npos, run.err.find("not a regular file")) << command << run.err;
    }
  }
  for (const char* command : {"info", "verify", "dump", "compact", "reindex", "repair", "render"}) {
    const ToolRun help = RunTool({command, "--help"});
    EXPECT_EQ(0, help.exitCode) << command;
    EXPECT_NE(std::string::npos, help.out.find("SET.gaf")) << command;
  }
}

}  // namespace
}  // namespace kro::test
