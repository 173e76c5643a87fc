// gaftool repair through the real binary: a set cut short, left with a stale
// info chunk or a damaged tail keeps exactly its complete records before the
// damage, and the result verifies; a writer killed at random moments loses
// nothing that was complete on disk when it died.
#include <gtest/gtest.h>

#include <chrono>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <algorithm>
#include <random>
#include <vector>

#include "engine/datafile/GafCoordSys.h"
#include "facade/CGafWriter.h"
#include "gaftool/GaftoolTestSupport.h"

namespace kro::test {
namespace {

using nlohmann::json;

// Keys of the repaired set in file order.
std::vector<std::string> KeysInOrder(const std::string& gaf) {
  const ToolRun run = RunTool({"dump", gaf, "--format", "jsonl"});
  EXPECT_EQ(0, run.exitCode) << run.err;
  std::vector<std::string> keys;
  size_t start = 0;
  for (size_t end; (end = run.out.find('\n', start)) != std::string::npos; start = end + 1) {
    keys.push_back(json::parse(run.out.substr(start, end - start))["properties"]["key"].get<std::string>());
  }
  return keys;
}

std::vector<std::string> FirstKeys(size_t count) {
  std::vector<std::string> keys;
  for (size_t i = 0; i < count; ++i) keys.push_back("k" + std::to_string(i));
  return keys;
}

// Repairs `gaf` into `<stem>-repaired.gaf` and checks it verifies and holds
// exactly the first `kept` objects.
void ExpectRepaired(const std::string& gaf, size_t kept) {
  const ToolRun run = RunTool({"repair", gaf, "--quiet"});
  ASSERT_EQ(0, run.exitCode) << run.out << run.err;
  const std::string repaired = gaf.substr(0, gaf.size() - 4) + "-repaired.gaf";
  const ToolRun verify = RunTool({"verify", repaired});
  EXPECT_EQ(0, verify.exitCode) << verify.out;
  EXPECT_EQ(FirstKeys(kept), KeysInOrder(repaired));
}

TEST(GaftoolRepairTest, KeepsTheCompleteRecordsBeforeTheDamage) {
  TempDir directory;
  std::vector<SampleObject> objects = SampleObjects(120, 21);
  ASSERT_TRUE(WriteSampleSet(directory.File("good.gaf"), objects));
  const uint64_t size = ReadFileBytes(directory.File("good.gaf")).size();
  struct Case {
    const char* name;
    size_t kept;
    std::function<void(const std::string&)> damage;
  };
  const Case cases[] = {
      {"no end of data", 120, [&](const std::string& g) { Truncate(g, size - 2); }},
      {"cut inside the last record", 119, [&](const std::string& g) { Truncate(g, size - 7); }},
      {"cut inside record 60", 60, [&](const std::string& g) { Truncate(g, objects[60].position + 5); }},
      {"stale info chunk of a writer that died", 120,
       [&](const std::string& g) {
         Truncate(g, size - 2);
         for (uint64_t at = 2; at < 46; at += 4) PatchU32(g, at, 0);
       }},
      {"garbage tail", 80,
       [&](const std::string& g) {
         Bytes bytes = ReadFileBytes(g);
         bytes.resize(objects[80].position);
         bytes.insert(bytes.end(), {0xFF, 0x7F, 0x12, 0x34, 0x56, 0x78, 0, 0});
         WriteFileBytes(g, bytes);
       }},
      {"record 30 undecodable", 30, [&](const std::string& g) { PatchU16(g, objects[30].position, 0x9000 | 2); }},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string stem = directory.File("case" + std::to_string(index++));
    CopySet(directory.File("good"), stem);
    c.damage(stem + ".gaf");
    EXPECT_EQ(1, RunTool({"verify", stem + ".gaf"}).exitCode);
    ExpectRepaired(stem + ".gaf", c.kept);
  }
}

// A record the library refuses to write (a NaN vertex in the middle of a
// ring) is dropped with its offset named, the rest is kept and counted;
// sort refuses such a set and sends the user to repair.
TEST(GaftoolRepairTest, DropsARecordWithANonFiniteVertexAndSortRefusesIt) {
  TempDir directory;
  std::vector<SampleObject> objects = SampleObjects(60, 25);
  const std::string gaf = directory.File("set.gaf");
  ASSERT_TRUE(WriteSampleSet(gaf, objects));
  const SampleObject& ring = objects[22];  // kind 4, a ring of six vertices
  PatchU32(gaf, VertexOffset(ring, 3), 0x7FF80000);
  PatchU32(gaf, VertexOffset(ring, 3) + 4, 0);
  const Bytes before = ReadFileBytes(gaf);

  const ToolRun sort = RunTool({"sort", gaf, "--quiet"});
  EXPECT_EQ(1, sort.exitCode);
  EXPECT_NE(std::string::npos, sort.err.find(HexOffset(ring.position))) << sort.err;
  EXPECT_NE(std::string::npos, sort.err.find("gaftool repair")) << sort.err;
  EXPECT_EQ(std::vector<std::string>{}, FilesStartingWith(directory.path(), "set-sorted"));
  EXPECT_EQ(1, RunTool({"reindex", gaf, "--quiet"}).exitCode);

  const ToolRun repair = RunTool({"repair", gaf, "--quiet"});
  ASSERT_EQ(0, repair.exitCode) << repair.err;
  EXPECT_NE(std::string::npos, repair.err.find(HexOffset(ring.position))) << repair.err;
  EXPECT_NE(std::string::npos, repair.out.find("59 records kept, 1 dropped")) << repair.out;
  const std::string repaired = directory.File("set-repaired.gaf");
  EXPECT_EQ(0, RunTool({"verify", repaired}).exitCode);
  std::vector<std::string> expected = FirstKeys(60);
  expected.erase(expected.begin() + 22);
  EXPECT_EQ(expected, KeysInOrder(repaired));
  EXPECT_EQ(before, ReadFileBytes(gaf));
}

TEST(GaftoolRepairTest, InPlaceReplacesTheSetOnlyWithOneThatVerifies) {
  TempDir directory;
  std::vector<SampleObject> objects = SampleObjects(90, 22);
  const std::string gaf = directory.File("set.gaf");
  ASSERT_TRUE(WriteSampleSet(gaf, objects));
  Truncate(gaf, objects[70].position + 3);
  const ToolRun run = RunTool({"repair", gaf, "--in-place"});
  ASSERT_EQ(0, run.exitCode) << run.err;
  EXPECT_EQ(0, RunTool({"verify", gaf}).exitCode);
  EXPECT_EQ(FirstKeys(70), KeysInOrder(gaf));
  EXPECT_FALSE(FileExists(directory.File("set-repairing.gaf")));
  // An existing output is replaced only with --force, the set itself never.
  ASSERT_EQ(0, RunTool({"repair", gaf, "--output", directory.File("copy.gaf")}).exitCode);
  EXPECT_EQ(2, RunTool({"repair", gaf, "--output", directory.File("copy.gaf")}).exitCode);
  EXPECT_EQ(0, RunTool({"repair", gaf, "--output", directory.File("copy.gaf"), "--force"}).exitCode);
  const Bytes set = ReadFileBytes(gaf);
  EXPECT_EQ(2, RunTool({"repair", gaf, "--output", gaf, "--force"}).exitCode);
  EXPECT_EQ(2, RunTool({"repair", gaf, "--in-place", "--force"}).exitCode);
  EXPECT_EQ(set, ReadFileBytes(gaf));
  EXPECT_TRUE(FilesStartingWith(directory.path(), "set.gaftool-partial").empty());
}

TEST(GaftoolRepairTest, CarriesTheHeaderValuesOver) {
  TempDir directory;
  std::vector<SampleObject> objects = SampleObjects(30, 24);
  const std::string gaf = directory.File("set.gaf");
  {
    CGafWriter writer;
    ASSERT_EQ(0u, writer.Open(gaf.c_str(), kGafCreateNew, 0));
    writer.SetDescription("header kept");
    writer.SetPrecision(32);
    GafCoordSys coordSys;
    GafCoordSys::SetText(coordSys.code, "UTM32N");
    GafCoordSys::SetText(coordSys.datumCode, "ETRS89");
    coordSys.ellipsoidEquatorialRadius = 6378137.5;
    coordSys.projectionParameters[23] = 9.25;
    ASSERT_EQ(eKroOk, writer.SetCoordSys(&coordSys));
    for (SampleObject& o : objects) {
      ASSERT_EQ(eKroOk, writer.WriteContents(o.type, o.texts, o.vertices, nullptr));
      o.position = writer.LastRecordPosition();
    }
    ASSERT_EQ(eKroOk, writer.Finish());
  }
  Truncate(gaf, ReadFileBytes(gaf).size() - 2);
  ExpectRepaired(gaf, 30);
  const json info = json::parse(RunTool({"info", directory.File("set-repaired.gaf"), "--json"}).out);
  const json& data = info["data_file"];
  EXPECT_EQ("header kept", data["description"]);
  EXPECT_EQ(32, data["precision"]);
  EXPECT_EQ("UTM32N", data["coordinate_system"]["code"]);
  EXPECT_EQ("ETRS89", data["coordinate_system"]["datum"]);
  EXPECT_EQ(6378137.5, data["coordinate_system"]["equatorial_radius"].get<double>());
  const Bytes original = ReadFileBytes(gaf);
  const Bytes repaired = ReadFileBytes(directory.File("set-repaired.gaf"));
  // The header body (everything between the info chunk and the first
  // record) comes out byte for byte, projection parameters included.
  EXPECT_TRUE(std::equal(original.begin() + 46, original.begin() + objects[0].position, repaired.begin() + 46));
}

// Where each record ends in a complete file of the same objects: the records
// are written in order, so a file cut at any size holds exactly those whose
// ends lie inside it.
std::vector<uint64_t> RecordEnds(const std::vector<SampleObject>& objects, uint64_t fileSize) {
  std::vector<uint64_t> ends;
  for (size_t i = 0; i < objects.size(); ++i) ends.push_back(i + 1 < objects.size() ? objects[i + 1].position : fileSize - 2);
  return ends;
}

TEST(GaftoolRepairTest, RecoversEveryCompleteObjectOfAWriterKilledAtRandom) {
  TempDir directory;
  const int count = 12000 / kScale;
  std::vector<SampleObject> reference = SampleObjects(count, 23);
  ASSERT_TRUE(WriteSampleSet(directory.File("reference.gaf"), reference));
  const std::vector<uint64_t> ends = RecordEnds(reference, ReadFileBytes(directory.File("reference.gaf")).size());
  std::mt19937 random(77);
  const int rounds = 24 / kScale;
  int cutShort = 0;
  // Each writer is killed once its data file has grown past a size drawn at
  // random, so the kills land at random places of the write whatever the
  // machine's speed or load. A fifth of the sizes lie beyond the last record:
  // those writers die as soon as every record is on disk, while the indexes
  // are built and the set is closed. A writer that ends before the size is
  // seen is not cut short and is counted so.
  for (int round = 0; round < rounds; ++round) {
    const std::string gaf = directory.File("killed" + std::to_string(round) + ".gaf");
    const off_t drawn = static_cast<off_t>(random() % (ends.back() * 5 / 4));
    const off_t killAt = std::min<off_t>(drawn, static_cast<off_t>(ends.back()) - 1);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      std::vector<SampleObject> objects = SampleObjects(count, 23);
      _exit(WriteSampleSet(gaf, objects) ? 0 : 3);
    }
    int status = 0;
    const auto dataFileSize = [&gaf]() -> uint64_t {
      struct stat grown;
      return stat(gaf.c_str(), &grown) == 0 ? static_cast<uint64_t>(grown.st_size) : 0;
    };
    if (KillWhenGrown(child, dataFileSize, static_cast<uint64_t>(killAt), status)) ++cutShort;
    if (!FileExists(gaf)) continue;  // killed before it created the file
    const uint64_t size = ReadFileBytes(gaf).size();
    size_t complete = 0;
    while (complete < ends.size() && ends[complete] <= size) ++complete;
    SCOPED_TRACE("round " + std::to_string(round) + ", " + std::to_string(size) + " bytes");
    ExpectRepaired(gaf, complete);
  }
  // The kills must have landed during the write most of the time.
  EXPECT_GE(cutShort, rounds / 2);
}

}  // namespace
}  // namespace kro::test
