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
#include <cmath>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <vector>

#include "engine/datafile/GafCoordSys.h"
#include "fileset/CGafWriter.h"
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
    const std::string gaf = DamagedCopy(directory.File("good"), directory.File("case" + std::to_string(index++)), c.damage);
    EXPECT_EQ(1, RunTool({"verify", gaf}).exitCode);
    ExpectRepaired(gaf, c.kept);
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
  PatchF64(gaf, VertexOffset(ring, 3), std::nan(""));
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
  EXPECT_NE(std::string::npos,
            repair.err.find("set-repaired.gaftool-partial.gaf: a coordinate is not a number or infinite "
                            "(eGafInvalidParameter); it is dropped"))
      << repair.err;
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
  // A writer's journal beside the set would roll new files back with old
  // bytes at the next open: the set is not replaced under it.
  WriteFileBytes(gaf + "-journal", Bytes(64, 0));
  const ToolRun journal = RunTool({"repair", gaf, "--in-place"});
  EXPECT_EQ(1, journal.exitCode);
  EXPECT_NE(std::string::npos, journal.err.find("journal")) << journal.err;
  EXPECT_EQ(set, ReadFileBytes(gaf));
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
      ASSERT_EQ(eKroOk, writer.Write(o.record, nullptr));
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

// The files a command may change or make, by name, as they were before it
// ran and as a complete run leaves them (absent: nullopt).
struct FileStates {
  std::map<std::string, std::optional<Bytes>> before;
  std::map<std::string, std::optional<Bytes>> after;
};

std::optional<Bytes> Contents(const std::string& path) {
  return FileExists(path) ? std::optional<Bytes>(ReadFileBytes(path)) : std::nullopt;
}

FileStates ReadStates(const std::string& folder, const std::vector<std::string>& names,
                      const std::function<void()>& completeRun) {
  FileStates states;
  for (const std::string& name : names) states.before[name] = Contents(folder + "/" + name);
  completeRun();
  for (const std::string& name : names) states.after[name] = Contents(folder + "/" + name);
  return states;
}

// Every command that writes, killed with SIGKILL once the bytes in the set's
// folder and the temporary folder have grown past a size drawn at random
// (so the kills land anywhere in the work, under any load). After each kill
// every file is either as it was or as a complete run leaves it, a new data
// file stands only with its new indexes, and the set verifies where its data
// file is sound; the next run of the same command then succeeds with no file
// removed by hand, and leaves exactly what a complete run leaves.
TEST(GaftoolRepairTest, EveryWriterKilledAtRandomLeavesTheSetWholeAndTheNextRunSucceeds) {
  TempDir directory;
  std::vector<SampleObject> objects = SampleObjects(3000 / kScale, 26);
  ASSERT_TRUE(WriteSampleSet(directory.File("sound.gaf"), objects));
  CopySet(directory.File("sound"), directory.File("damaged"));
  Truncate(directory.File("damaged.gaf"), objects[objects.size() * 2 / 3].position + 3);
  struct Command {
    std::vector<std::string> args;  // after the data file
    const char* input;              // "sound" or "damaged"
    std::string target;             // the data file whose replacement is the commit
  };
  const std::vector<std::string> setFiles = {"set.gaf", "set.sif", "set.kif"};
  const Command commands[] = {
      {{"repair", "--in-place"}, "damaged", "set.gaf"},
      {{"sort"}, "sound", "set-sorted.gaf"},
      {{"reindex", "--packed", "--order", "hilbert"}, "sound", "set.gaf"},
      {{"compact"}, "sound", "set.gaf"},
  };
  std::mt19937 random(78);
  const int rounds = kScale > 1 ? 4 : 6;  // each round runs the tool three times or more
  int killed = 0;
  for (const Command& command : commands) {
    SCOPED_TRACE(command.args[0]);
    const auto arguments = [&](const std::string& folder, const std::vector<std::string>& extra) {
      std::vector<std::string> args = {command.args[0], folder + "/set.gaf", "--quiet"};
      args.insert(args.end(), command.args.begin() + 1, command.args.end());
      args.insert(args.end(), extra.begin(), extra.end());
      return args;
    };
    const auto freshCopy = [&](const std::string& folder) {
      mkdir(folder.c_str(), 0700);
      mkdir((folder + "-tmp").c_str(), 0700);
      CopySet(directory.File(command.input), folder + "/set");
    };
    // Runs the command on a fresh copy in `folder`, killed once what it
    // wrote there passes `killAt`; `peak` grows to the most it was seen to
    // have written, in this run or an earlier one.
    const auto runWatched = [&](const std::string& folder, uint64_t killAt, uint64_t& peak, int& status) {
      freshCopy(folder);
      const uint64_t start = DirectoryBytes(folder) + DirectoryBytes(folder + "-tmp");
      const auto grown = [&]() -> uint64_t {
        const uint64_t now = DirectoryBytes(folder) + DirectoryBytes(folder + "-tmp");
        peak = std::max(peak, now > start ? now - start : 0);
        return now > start ? now - start : 0;
      };
      return KillWhenGrown(StartTool(arguments(folder, {}), folder + "-tmp"), grown, killAt, status);
    };
    std::vector<std::string> names = setFiles;
    if (command.args[0] == "sort") names.insert(names.end(), {"set-sorted.gaf", "set-sorted.sif", "set-sorted.kif"});
    const std::string reference = directory.File(command.args[0] + "-reference");
    uint64_t peak = 0;
    freshCopy(reference);
    const FileStates states = ReadStates(reference, names, [&] {
      int status = 0;
      runWatched(reference, UINT64_MAX, peak, status);
      ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a complete run";
    });
    for (int round = 0; round < rounds; ++round) {
      SCOPED_TRACE("round " + std::to_string(round));
      const std::string folder = directory.File(command.args[0] + std::to_string(round));
      // A tenth of the sizes lie beyond what the command writes: those runs
      // end on their own, or die while they verify, move and tidy up.
      int status = 0;
      killed += runWatched(folder, random() % (peak + peak / 10 + 1), peak, status);

      bool complete = true;
      for (const std::string& name : names) {
        const std::optional<Bytes> now = Contents(folder + "/" + name);
        EXPECT_TRUE(now == states.before.at(name) || now == states.after.at(name)) << name;
        complete = complete && now == states.after.at(name);
      }
      const std::optional<Bytes> target = Contents(folder + "/" + command.target);
      EXPECT_TRUE(target == states.before.at(command.target) || complete) << "a new data file without its indexes";
      if (command.input == std::string("sound") || complete) {
        EXPECT_EQ(0, RunTool({"verify", folder + "/set.gaf"}).exitCode);
      }

      // A sort that got to its end refuses to replace its output unasked.
      const bool outputTaken = command.args[0] == "sort" && complete;
      const ToolRun next = RunTool(arguments(folder, {}));
      EXPECT_EQ(outputTaken ? 2 : 0, next.exitCode) << next.err;
      if (outputTaken) {
        EXPECT_EQ(0, RunTool(arguments(folder, {"--force"})).exitCode);
      }
      for (const std::string& name : names) EXPECT_TRUE(Contents(folder + "/" + name) == states.after.at(name)) << name;
      std::vector<std::string> present;
      for (const std::string& name : names) {
        if (states.after.at(name)) present.push_back(name);
      }
      std::sort(present.begin(), present.end());
      EXPECT_EQ(present, FilesStartingWith(folder, "")) << "what a complete run leaves, and nothing else";
    }
  }
  // A run's writes are not all seen by the polls, and some runs end on their
  // own: a third of them killed during the work is the least to expect.
  EXPECT_GE(killed, 4 * rounds / 3) << "the kills must land during the work";
  std::printf("%d of %d runs killed\n", killed, 4 * rounds);
}

}  // namespace
}  // namespace kro::test
