// gaftool sort through the real binary: the sorted copy holds every object
// unchanged, lies in map order, answers every box and key query like the
// original, and leaves the original alone; a damaged set or a taken output
// name stops it before it writes anything. A box query on a sorted set reads
// its neighbouring records together.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <set>
#include <vector>

#include "fileset/CGafReader.h"
#include "engine/datafile/GafRecord.h"
#include "gaftool/GaftoolTestSupport.h"
#include "support/FaultInjectingFileSystem.h"

namespace kro::test {
namespace {

using StoredObject = GafRecord;

// The objects a pass yields, by key, and the keys in the order they came.
struct PassResult {
  std::map<std::string, StoredObject> byKey;
  std::vector<std::string> order;
};

PassResult ReadPass(CGafReader& reader) {
  PassResult result;
  StoredObject object;
  while (reader.Next(object) == eKroOk) {
    result.order.push_back(object.key);
    result.byKey[object.key] = object;
  }
  return result;
}

PassResult Scan(const std::string& gaf) {
  CGafReader reader;
  EXPECT_EQ(eKroOk, reader.OpenForRead(gaf.c_str(), kGafReadOnly));
  EXPECT_EQ(eKroOk, reader.BeginSequential());
  return ReadPass(reader);
}

std::set<std::string> KeysInBox(CGafReader& reader, const BoundingBoxNode& box) {
  EXPECT_EQ(eKroOk, reader.BeginSpatialSearch(&box));
  std::set<std::string> keys;
  for (const auto& entry : ReadPass(reader).byKey) keys.insert(entry.first);
  reader.EndSearch();
  return keys;
}

std::vector<BoundingBoxNode> QueryBoxes(int count, double largest) {
  std::mt19937 random(17);
  std::uniform_real_distribution<double> place(-180, 180);
  std::uniform_real_distribution<double> size(0, largest);
  std::vector<BoundingBoxNode> boxes;
  for (int i = 0; i < count; ++i) {
    const double x = place(random), y = place(random) / 2, w = size(random), h = size(random);
    boxes.push_back({x, y, x + w, y + h});
  }
  return boxes;
}

// Sum of the distances between the box centres of neighbours in `order`.
double PathLength(const std::vector<std::string>& order, const std::map<std::string, BoundingBoxNode>& boxes) {
  double length = 0;
  for (size_t i = 1; i < order.size(); ++i) {
    const BoundingBoxNode& a = boxes.at(order[i - 1]);
    const BoundingBoxNode& b = boxes.at(order[i]);
    length += std::hypot((a.xMin + a.xMax - b.xMin - b.xMax) / 2, (a.yMin + a.yMax - b.yMin - b.yMax) / 2);
  }
  return length;
}

TEST(GaftoolSortTest, SortedCopyHoldsEveryObjectInMapOrderAndAnswersLikeTheOriginal) {
  for (const LONG useKif : {LONG{-1}, LONG{0}}) {
    SCOPED_TRACE(useKif == 0 ? "without key index" : "with key index");
    TempDir directory;
    std::vector<SampleObject> objects = SampleObjects(2400 / kScale, 41);
    const std::string original = directory.File("set.gaf");
    ASSERT_TRUE(WriteSampleSet(original, objects, useKif));
    const Bytes dataBefore = ReadFileBytes(original);
    const Bytes indexBefore = ReadFileBytes(directory.File("set.sif"));

    const ToolRun run = RunTool({"sort", original, "--quiet"});
    ASSERT_EQ(0, run.exitCode) << run.err;
    const std::string sorted = directory.File("set-sorted.gaf");
    EXPECT_EQ(0, RunTool({"verify", sorted}).exitCode);
    EXPECT_EQ(dataBefore, ReadFileBytes(original));
    EXPECT_EQ(indexBefore, ReadFileBytes(directory.File("set.sif")));
    EXPECT_EQ(useKif != 0, FileExists(directory.File("set-sorted.kif")));

    const PassResult before = Scan(original), after = Scan(sorted);
    ASSERT_EQ(before.byKey.size(), after.byKey.size());
    std::map<std::string, BoundingBoxNode> boxes;
    for (const SampleObject& o : objects) {
      const StoredObject& copy = after.byKey.at(o.record.key);
      EXPECT_EQ(o.record.kind, copy.kind) << o.record.key;
      EXPECT_EQ(o.record.name, copy.name);
      EXPECT_EQ(o.record.url, copy.url);
      EXPECT_EQ(o.record.parts, copy.parts);
      ASSERT_EQ(o.record.vertices.size(), copy.vertices.size());
      for (size_t v = 0; v < o.record.vertices.size(); ++v) {
        EXPECT_EQ(o.record.vertices[v].x, copy.vertices[v].x);
        EXPECT_EQ(o.record.vertices[v].y, copy.vertices[v].y);
      }
      boxes[o.record.key] = o.box;
    }
    // Neighbours in the file are neighbours on the map: the walk through the
    // file in order is a small part of the walk in writing order.
    EXPECT_LT(PathLength(after.order, boxes), PathLength(before.order, boxes) / 8);

    CGafReader originalReader, sortedReader;
    ASSERT_EQ(eKroOk, originalReader.OpenForRead(original.c_str(), kGafReadPartial));
    ASSERT_EQ(eKroOk, sortedReader.OpenForRead(sorted.c_str(), kGafReadPartial));
    for (const BoundingBoxNode& box : QueryBoxes(80, 30)) {
      EXPECT_EQ(KeysInBox(originalReader, box), KeysInBox(sortedReader, box));
    }
    if (useKif != 0) {
      for (const std::string& key : {std::string("k0"), std::string("k7"), objects.back().record.key}) {
        ASSERT_EQ(eKroOk, sortedReader.BeginKeySearch(key.c_str()));
        const PassResult found = ReadPass(sortedReader);
        EXPECT_EQ(std::vector<std::string>{key}, found.order);
        sortedReader.EndSearch();
      }
    }
  }
}

TEST(GaftoolSortTest, RefusesADamagedSetAndATakenName) {
  TempDir directory;
  std::vector<SampleObject> objects = SampleObjects(60, 42);
  const std::string gaf = directory.File("set.gaf");
  ASSERT_TRUE(WriteSampleSet(gaf, objects));
  const std::string taken = directory.File("taken.gaf");
  ASSERT_TRUE(WriteSampleSet(taken, objects));
  const Bytes takenBytes = ReadFileBytes(taken);
  EXPECT_EQ(2, RunTool({"sort", gaf, "--output", taken}).exitCode);
  EXPECT_EQ(takenBytes, ReadFileBytes(taken));
  // Only --force replaces a taken name, and never with the set itself.
  const Bytes setBytes = ReadFileBytes(gaf);
  EXPECT_EQ(2, RunTool({"sort", gaf, "--output", gaf, "--force"}).exitCode);
  EXPECT_EQ(setBytes, ReadFileBytes(gaf));
  ASSERT_EQ(0, RunTool({"sort", gaf, "--quiet", "--output", taken, "--force"}).exitCode);
  EXPECT_EQ(0, RunTool({"verify", taken}).exitCode);
  EXPECT_NE(takenBytes, ReadFileBytes(taken));

  // An index under the output's names without its data file is a user's
  // file too; unless the partial data file beside it shows that a killed run
  // had moved that index into place before its data file: then the next run
  // replaces it.
  const std::string sortedSif = directory.File("set-sorted.sif");
  WriteFileBytes(sortedSif, Bytes{'m', 'i', 'n', 'e'});
  const ToolRun refused = RunTool({"sort", gaf, "--quiet"});
  EXPECT_EQ(2, refused.exitCode);
  EXPECT_NE(std::string::npos, refused.err.find(sortedSif + " exists")) << refused.err;
  EXPECT_EQ((Bytes{'m', 'i', 'n', 'e'}), ReadFileBytes(sortedSif));

  std::remove(sortedSif.c_str());
  ASSERT_EQ(0, RunTool({"sort", gaf, "--quiet"}).exitCode);
  const std::string sorted = directory.File("set-sorted.gaf");
  const Bytes sortedBytes = ReadFileBytes(sorted);
  ASSERT_EQ(0, std::rename(sorted.c_str(), directory.File("set-sorted.gaftool-partial.gaf").c_str()));
  ASSERT_EQ(0, RunTool({"sort", gaf, "--quiet"}).exitCode);
  EXPECT_EQ(sortedBytes, ReadFileBytes(sorted));
  EXPECT_EQ(0, RunTool({"verify", sorted}).exitCode);
  EXPECT_TRUE(FilesStartingWith(directory.path(), "set-sorted.gaftool-partial").empty());
  std::remove(sorted.c_str());
  std::remove(directory.File("set-sorted.sif").c_str());
  std::remove(directory.File("set-sorted.kif").c_str());

  // A copy that cannot be written is reported and leaves nothing behind.
  const ToolRun unwritable = RunTool({"sort", gaf, "--quiet", "--output", directory.File("missing/sorted.gaf")});
  EXPECT_EQ(1, unwritable.exitCode);
  EXPECT_NE(std::string::npos, unwritable.err.find("cannot create"));
  // In the engine's words, naming the file it could not open.
  EXPECT_NE(std::string::npos, unwritable.err.find("sorted.gaftool-partial.gaf: the file cannot be opened (eGafCannotOpen)"))
      << unwritable.err;
  EXPECT_FALSE(FileExists(directory.File("missing/sorted.sif")));

  Truncate(gaf, ReadFileBytes(gaf).size() - 2);
  const ToolRun run = RunTool({"sort", gaf, "--quiet"});
  EXPECT_EQ(1, run.exitCode);
  EXPECT_NE(std::string::npos, run.err.find("sort copies only a sound set"));
  EXPECT_FALSE(FileExists(directory.File("set-sorted.gaf")));
  EXPECT_FALSE(FileExists(directory.File("set-sorted.sif")));
}

// A file-size limit stands for a full disk: wherever the copy of the records
// meets it (in its data file or the spatial index written along, up to the
// close), sort exits with 1 and leaves neither a new file nor a temporary
// one, and the original as it was.
TEST(GaftoolSortTest, AFullDiskFailsTheSortAndLeavesNothingBehind) {
  TempDir directory;
  std::vector<SampleObject> objects = SampleObjects(2000, 44);
  const std::string gaf = directory.File("set.gaf");
  ASSERT_TRUE(WriteSampleSet(gaf, objects, 1));
  const std::string stem = directory.File("set");
  const std::vector<Bytes> original = {ReadFileBytes(stem + ".gaf"), ReadFileBytes(stem + ".sif"),
                                       ReadFileBytes(stem + ".kif")};
  const auto largest = std::max_element(original.begin(), original.end(),
                                        [](const Bytes& a, const Bytes& b) { return a.size() < b.size(); });
  const std::vector<std::string> before = FilesStartingWith(directory.path(), "");
  const size_t steps = 12;
  for (size_t step = 0; step < steps; ++step) {
    const rlim_t limit = largest->size() * step / steps;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      signal(SIGXFSZ, SIG_IGN);
      const rlimit fileSize{limit, limit};
      setrlimit(RLIMIT_FSIZE, &fileSize);
      _exit(RunTool({"sort", gaf, "--quiet"}).exitCode);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "limit " << limit;
    EXPECT_EQ(1, WEXITSTATUS(status)) << "limit " << limit;
    EXPECT_EQ(before, FilesStartingWith(directory.path(), "")) << "limit " << limit;
    EXPECT_TRUE(original[0] == ReadFileBytes(stem + ".gaf") && original[1] == ReadFileBytes(stem + ".sif") &&
                original[2] == ReadFileBytes(stem + ".kif"))
        << "limit " << limit;
  }
  EXPECT_EQ(0, RunTool({"sort", gaf, "--quiet"}).exitCode);
}

// Reads of a box query with a warm index: on a sorted set the records of
// neighbouring hits come in together, far fewer reads than hits.
TEST(GaftoolSortTest, BoxQueryOnASortedSetReadsNeighbouringHitsTogether) {
  TempDir directory;
  std::vector<SampleObject> objects = SampleObjects(3000, 43);
  const std::string gaf = directory.File("set.gaf");
  ASSERT_TRUE(WriteSampleSet(gaf, objects, 0));
  ASSERT_EQ(0, RunTool({"sort", gaf, "--quiet"}).exitCode);
  const BoundingBoxNode box{-60, -30, 0, 10};
  uint64_t reads[2] = {};
  for (const bool sorted : {false, true}) {
    FaultInjectingFileSystem files;
    CGafReader reader(files.Environment());
    ASSERT_EQ(eKroOk, reader.OpenForRead(directory.File(sorted ? "set-sorted.gaf" : "set.gaf").c_str(),
                                         kGafReadPartial));
    const size_t hits = KeysInBox(reader, box).size();
    files.ResetCounts();
    ASSERT_EQ(hits, KeysInBox(reader, box).size());
    ASSERT_GT(hits, 100u);
    reads[sorted] = files.Calls(FileOp::kRead);
    EXPECT_LT(reads[sorted], hits);
  }
  EXPECT_LT(reads[1] * 3, reads[0]) << reads[1] << " reads sorted, " << reads[0] << " as written";
}

}  // namespace
}  // namespace kro::test
