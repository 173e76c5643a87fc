// gaftool dump and render through the real binary: GeoJSON that parses and
// matches what was written, box and key queries that match a brute-force
// answer, and an SVG picture that is well-formed XML with one element per
// object and the index boxes asked for.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "engine/datafile/GafFormat.h"
#include "engine/spatialindex/SifBox.h"
#include "gaftool/GaftoolTestSupport.h"

namespace kro::test {
namespace {

using nlohmann::json;

class GaftoolDumpRenderTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    directory_ = new TempDir();
    objects_ = new std::vector<SampleObject>(SampleObjects(600, 3));
    ASSERT_TRUE(WriteSampleSet(Set(), *objects_));
  }
  static void TearDownTestSuite() {
    delete objects_;
    delete directory_;
  }
  static std::string Set() { return directory_->File("sample.gaf"); }

  static TempDir* directory_;
  static std::vector<SampleObject>* objects_;
};

TempDir* GaftoolDumpRenderTest::directory_ = nullptr;
std::vector<SampleObject>* GaftoolDumpRenderTest::objects_ = nullptr;

const char* GeoJsonType(EGafObjectType type) {
  static const char* const kTypes[] = {"Point", "MultiPoint", "LineString", "MultiLineString", "Polygon", "MultiPolygon"};
  return kTypes[type];
}

std::set<std::string> KeysOfLines(const std::string& jsonLines) {
  std::set<std::string> keys;
  size_t start = 0;
  for (size_t end; (end = jsonLines.find('\n', start)) != std::string::npos; start = end + 1) {
    keys.insert(json::parse(jsonLines.substr(start, end - start))["properties"]["key"].get<std::string>());
  }
  return keys;
}

TEST_F(GaftoolDumpRenderTest, GeoJsonParsesAndMatchesTheObjects) {
  const ToolRun run = RunTool({"dump", Set(), "--format", "geojson"});
  ASSERT_EQ(0, run.exitCode) << run.err;
  const json collection = json::parse(run.out);
  ASSERT_EQ("FeatureCollection", collection["type"]);
  ASSERT_EQ(objects_->size(), collection["features"].size());
  for (size_t i = 0; i < objects_->size(); ++i) {
    const SampleObject& o = (*objects_)[i];
    const json& feature = collection["features"][i];
    EXPECT_EQ("Feature", feature["type"]);
    EXPECT_EQ(o.record.name, feature["properties"]["name"]);
    EXPECT_EQ(o.record.key, feature["properties"]["key"]);
    EXPECT_EQ(o.record.url, feature["properties"]["url"]);
    EXPECT_EQ(GeoJsonType(o.record.kind), feature["geometry"]["type"]);
    const json& coordinates = feature["geometry"]["coordinates"];
    switch (o.record.kind) {
      case kGafPointObject:
        EXPECT_EQ(json::array({o.record.vertices[0].x, o.record.vertices[0].y}), coordinates);
        break;
      case kGafPolylineObject:
        ASSERT_EQ(o.record.vertices.size(), coordinates.size());
        EXPECT_EQ(o.record.vertices.back().y, coordinates.back()[1].get<double>());
        break;
      case kGafPolygonObject:
        EXPECT_EQ(o.record.vertices.size(), coordinates[0].size());
        break;
      case kGafPolyPolygonObject:
        // Two rings side by side: two polygons, no hole.
        EXPECT_EQ(2u, coordinates.size());
        break;
      default:
        break;
    }
  }
}

TEST_F(GaftoolDumpRenderTest, BoxAndKeyQueriesMatchABruteForceAnswer) {
  const BoundingBoxNode boxes[] = {{-50, -30, 10, 20}, {100, 0, 101, 5}, {-180, -90, 180, 90}, {200, 200, 210, 210}};
  for (const BoundingBoxNode& box : boxes) {
    std::set<std::string> expected;
    for (const SampleObject& o : *objects_) {
      if (sif::Meets(o.box, box)) expected.insert(o.record.key);
    }
    const ToolRun run = RunTool({"dump", Set(), "--box", std::to_string(box.xMax), std::to_string(box.yMin),
                                 std::to_string(box.xMin), std::to_string(box.yMax), "--format", "jsonl"});
    ASSERT_EQ(0, run.exitCode) << run.err;
    EXPECT_EQ(expected, KeysOfLines(run.out));
  }
  const ToolRun byKey = RunTool({"dump", Set(), "--key", "k17", "--format", "jsonl"});
  ASSERT_EQ(0, byKey.exitCode);
  EXPECT_EQ(std::set<std::string>{"k17"}, KeysOfLines(byKey.out));
  EXPECT_EQ(0, RunTool({"dump", Set(), "--key", "no such key"}).exitCode);
  const ToolRun text = RunTool({"dump", Set()});
  EXPECT_EQ(0, text.exitCode);
  EXPECT_EQ(2 * objects_->size(), static_cast<size_t>(std::count(text.out.begin(), text.out.end(), '\n')));
  EXPECT_EQ(2, RunTool({"dump", Set(), "--box", "1", "2", "3"}).exitCode);
  // A box with a NaN corner meets nothing and means nothing: a usage error
  // wherever a box is taken. An infinite corner reaches as far as there is.
  for (const std::string command : {"dump", "render"}) {
    std::vector<std::string> args = {command, Set(), "--box", "nan", "0", "1", "NaN"};
    if (command == "render") args.insert(args.end(), {"-o", directory_->File("nan.svg")});
    const ToolRun run = RunTool(args);
    EXPECT_EQ(2, run.exitCode) << command;
    EXPECT_NE(std::string::npos, run.err.find("not NaN")) << command << run.err;
  }
  EXPECT_FALSE(FileExists(directory_->File("nan.svg")));
  const ToolRun everything = RunTool({"dump", Set(), "--box", "-1e999", "-1e999", "1e999", "1e999", "--format", "jsonl"});
  EXPECT_EQ(0, everything.exitCode) << everything.err;
  EXPECT_EQ(objects_->size(), KeysOfLines(everything.out).size());
  EXPECT_EQ(2, RunTool({"dump", Set(), "--format", "xml"}).exitCode);
}

// A small XML reader: well-formedness (every element closed in order,
// attributes quoted) and a count of start tags by name and class.
struct XmlCounts {
  bool wellFormed = true;
  std::map<std::string, int> elements;
  std::map<std::string, int> classes;
};

XmlCounts ReadXml(const std::string& text) {
  XmlCounts counts;
  std::vector<std::string> open;
  size_t at = 0;
  while ((at = text.find('<', at)) != std::string::npos) {
    const size_t end = text.find('>', at);
    if (end == std::string::npos) return counts.wellFormed = false, counts;
    std::string tag = text.substr(at + 1, end - at - 1);
    at = end + 1;
    if (tag.empty() || tag[0] == '?' || tag[0] == '!') continue;
    if (tag[0] == '/') {
      if (open.empty() || open.back() != tag.substr(1)) counts.wellFormed = false;
      if (!open.empty()) open.pop_back();
      continue;
    }
    const bool selfClosing = tag.back() == '/';
    const std::string name = tag.substr(0, tag.find_first_of(" /"));
    ++counts.elements[name];
    const size_t cls = tag.find("class=\"");
    if (cls != std::string::npos) ++counts.classes[tag.substr(cls + 7, tag.find('"', cls + 7) - cls - 7)];
    if (std::count(tag.begin(), tag.end(), '"') % 2 != 0) counts.wellFormed = false;
    if (!selfClosing) open.push_back(name);
  }
  counts.wellFormed = counts.wellFormed && open.empty();
  return counts;
}

std::string FileText(const std::string& path) {
  const Bytes bytes = ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

TEST_F(GaftoolDumpRenderTest, RenderWritesAWellFormedPictureOfObjectsAndIndexLevels) {
  const std::string picture = directory_->File("sample.svg");
  const ToolRun run = RunTool({"render", Set(), "-o", picture, "--index-levels", "2", "--size", "800"});
  ASSERT_EQ(0, run.exitCode) << run.err;
  const XmlCounts counts = ReadXml(FileText(picture));
  EXPECT_TRUE(counts.wellFormed);
  EXPECT_EQ(1, counts.elements.at("svg"));
  // Points are one dot each, multi-points one dot per vertex.
  EXPECT_EQ(100 + 100 * 3, counts.classes.at("point"));
  EXPECT_EQ(200, counts.classes.at("line"));
  EXPECT_EQ(200, counts.classes.at("area"));
  EXPECT_EQ(2, counts.classes.at("index-level"));
  const json info = json::parse(RunTool({"info", Set(), "--json"}).out);
  const json& levels = info["spatial_index"]["nodes_per_level"];
  const size_t height = levels.size();
  EXPECT_EQ(levels[height - 1].get<int>() + levels[height - 2].get<int>() + 1, counts.elements.at("rect"));

  const std::string part = directory_->File("part.svg");
  ASSERT_EQ(0, RunTool({"render", Set(), "-o", part, "--box", "0", "0", "60", "60"}).exitCode);
  const XmlCounts partCounts = ReadXml(FileText(part));
  EXPECT_TRUE(partCounts.wellFormed);
  EXPECT_LT(partCounts.classes.count("area") ? partCounts.classes.at("area") : 0, 200);
  EXPECT_EQ(2, RunTool({"render", Set()}).exitCode);  // no picture named
}

// The picture never goes over a file of the set, whatever it is called and
// with --force too, nor over another existing file without --force; it
// appears under its name only once it is whole.
TEST_F(GaftoolDumpRenderTest, RenderNeverWritesOverTheSetOrAnExistingFile) {
  const std::string stem = directory_->File("own");
  CopySet(directory_->File("sample"), stem);
  const std::vector<Bytes> before = {ReadFileBytes(stem + ".gaf"), ReadFileBytes(stem + ".sif"), ReadFileBytes(stem + ".kif")};
  const std::string dotted = directory_->path() + "/./own.gaf";
  for (const std::string& own : {stem + ".gaf", stem + ".sif", stem + ".kif", dotted, stem + ".gaf-journal"}) {
    for (const bool force : {false, true}) {
      std::vector<std::string> args = {"render", stem + ".gaf", "-o", own};
      if (force) args.push_back("--force");
      const ToolRun run = RunTool(args);
      EXPECT_EQ(2, run.exitCode) << own;
      EXPECT_NE(std::string::npos, run.err.find("is a file of the set")) << run.err;
    }
  }
  EXPECT_FALSE(FileExists(stem + ".gaf-journal"));
  EXPECT_TRUE(before[0] == ReadFileBytes(stem + ".gaf") && before[1] == ReadFileBytes(stem + ".sif") &&
              before[2] == ReadFileBytes(stem + ".kif"));

  const std::string picture = directory_->File("existing.svg");
  WriteFileBytes(picture, Bytes{'k', 'e', 'e', 'p'});
  const ToolRun refused = RunTool({"render", stem + ".gaf", "-o", picture});
  EXPECT_EQ(2, refused.exitCode);
  EXPECT_NE(std::string::npos, refused.err.find("--force"));
  EXPECT_EQ((Bytes{'k', 'e', 'e', 'p'}), ReadFileBytes(picture));
  EXPECT_EQ(2, RunTool({"render", stem + ".gaf", "-o", directory_->path(), "--force"}).exitCode);  // a folder
  ASSERT_EQ(0, RunTool({"render", stem + ".gaf", "-o", picture, "--force"}).exitCode);
  EXPECT_TRUE(ReadXml(FileText(picture)).wellFormed);
  EXPECT_TRUE(FilesStartingWith(directory_->path(), "existing.svg.").empty()) << "no partial picture is left";
}

// Damage that the reading facade lets through or meets half-way: every
// command that reads the objects ends with 1 and names the data file and
// the offset of the damage; what could be read is still put out.
TEST(GaftoolDamageTest, EveryObjectReaderReportsDamageWithItsOffset) {
  TempDir directory;
  std::vector<SampleObject> objects = SampleObjects(1500, 31);
  // A multi-polyline with a long second part, whose count can shrink far.
  SampleObject& longLine = objects[3];
  longLine.record.vertices.resize(42, CKroDoublePointNode{1, 2});
  longLine.record.parts = {2, 40};
  const std::string good = directory.File("good.gaf");
  ASSERT_TRUE(WriteSampleSet(good, objects));
  struct Case {
    const char* name;
    uint64_t offset;  // the offset the message names
    size_t sound;     // objects put out
    std::function<void(const std::string&)> damage;
  };
  const SampleObject& polygon = objects[652];  // kind 4: its tag has the long form
  const Case cases[] = {
      {"a record claims a length far past the end of the file", polygon.position, 652,
       [&](const std::string& g) { PatchU32(g, polygon.position + 2, 0x7FFF0000); }},
      {"a record claims a length just past the end of the file", polygon.position, 652,
       [&](const std::string& g) {
         PatchU32(g, polygon.position + 2, static_cast<uint32_t>(ReadFileBytes(g).size() - polygon.position));
       }},
      {"the header counts more objects than there are records", gaf::kTagWordSize + gaf::kInfoObjectCount, 0,
       [&](const std::string& g) { PatchU32(g, gaf::kTagWordSize + gaf::kInfoObjectCount, 1600); }},
      {"a set count shrunk inside its record", longLine.position, 1499,
       [&](const std::string& g) { PatchU32(g, VertexOffset(longLine, 0) - 4, 1); }},
      {"a polygon vertex is NaN", polygon.position, 1499,
       [&](const std::string& g) { PatchF64(g, VertexOffset(polygon, 2), std::nan("")); }},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string stem = directory.File("case" + std::to_string(index++));
    DamagedCopy(directory.File("good"), stem, c.damage);
    const std::string where = HexOffset(c.offset);
    const ToolRun geojson = RunTool({"dump", stem + ".gaf", "--format", "geojson"});
    EXPECT_EQ(1, geojson.exitCode);
    EXPECT_NE(std::string::npos, geojson.err.find(stem + ".gaf: ")) << geojson.err;
    EXPECT_NE(std::string::npos, geojson.err.find(where)) << where << ": " << geojson.err;
    EXPECT_EQ(std::string::npos, geojson.out.find("null"));
    EXPECT_EQ(c.sound, json::parse(geojson.out)["features"].size());
    const ToolRun text = RunTool({"dump", stem + ".gaf"});
    EXPECT_EQ(1, text.exitCode);
    EXPECT_NE(std::string::npos, text.err.find(where)) << text.err;
    const ToolRun render = RunTool({"render", stem + ".gaf", "-o", stem + ".svg"});
    EXPECT_EQ(1, render.exitCode);
    EXPECT_NE(std::string::npos, render.err.find(where)) << render.err;
    EXPECT_TRUE(ReadXml(FileText(stem + ".svg")).wellFormed);
  }
}

}  // namespace
}  // namespace kro::test
