// Export of a large mixed set through a host source on each of the three
// paths, by KroGafExport and by KroGafOrderedExport, then everything read
// back through the import driver: the count, the box and the metadata; the
// sequential enumeration object by object (in map order, for the ordered
// export, so compared after sorting both sides); box enumerations against a
// brute-force filter; and both indexes verified.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "com/ModuleLock.h"
#include "drivers/DriverClasses.h"
#include "drivers/DriverTestSupport.h"
#include "engine/keyindex/CKeyIndex.h"
#include "engine/spatialindex/CSpatialIndex.h"
#include "support/TempDir.h"

namespace kro::test {
namespace {

// The sanitizer build runs the same checks on fewer objects.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kObjectsPerPath = 20000;
#else
constexpr int kObjectsPerPath = 100000;
#endif
constexpr int kBoxQueries = 12;

const char* const kNames[] = {"Hauptstraße", "Río Ñandú", "東京タワー", "plain name", ""};

class MixGenerator {
 public:
  explicit MixGenerator(uint32_t seed) : rng_(seed) {}

  // Mostly objects of the path's kinds, some of other kinds that the path
  // must skip.
  HostShape Next(EGafObjectType path, int index) {
    const int roll = Uniform(0, 9);
    EGafObjectType kind = path;
    if (path == kGafPointObject && roll == 0) kind = kGafPolylineObject;
    if (path == kGafPolylineObject && roll == 0) kind = kGafPolyPolylineObject;
    if (path == kGafPolygonObject) kind = roll < 5 ? kGafPolygonObject : roll < 9 ? kGafPolyPolygonObject : kGafPolylineObject;
    HostShape shape = Geometry(kind);
    shape.key = "key-" + std::to_string(index) + (index % 7 == 0 ? "-ß" : "");
    if (index % 5 != 0) shape.name = std::string(kNames[index % 5]) + " " + std::to_string(index);
    if (index % 3 == 0) shape.url = "https://example.org/objects/" + std::to_string(index);
    if (index % 11 == 0) shape.key.reset();
    return shape;
  }

 private:
  int Uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }
  double Coordinate(double low, double high) { return std::uniform_real_distribution<double>(low, high)(rng_); }

  void AddRing(HostShape& shape, double cx, double cy) {
    const int corners = Uniform(3, 7);
    const size_t first = shape.points.size();
    for (int i = 0; i < corners; ++i) shape.points.push_back({cx + Coordinate(-0.4, 0.4), cy + Coordinate(-0.4, 0.4)});
    shape.points.push_back(shape.points[first]);
    shape.setCounts.push_back(corners + 1);
  }

  HostShape Geometry(EGafObjectType kind) {
    HostShape shape;
    shape.kind = kind;
    // Objects follow one another in space, as in a real map layer: a random
    // walk over the whole extent.
    walkX_ = Wrap(walkX_ + Coordinate(-0.6, 0.6), 179);
    walkY_ = Wrap(walkY_ + Coordinate(-0.6, 0.6), 89);
    const double cx = walkX_;
    const double cy = walkY_;
    if (kind == kGafPointObject) {
      shape.points = {{cx, cy}};
      shape.setCounts = {1};
    } else if (kind == kGafPolylineObject || kind == kGafPolyPolylineObject) {
      const int sets = kind == kGafPolylineObject ? 1 : 2;
      for (int s = 0; s < sets; ++s) {
        const int count = Uniform(2, 9);
        for (int i = 0; i < count; ++i) shape.points.push_back({cx + Coordinate(-0.5, 0.5), cy + Coordinate(-0.5, 0.5)});
        shape.setCounts.push_back(count);
      }
    } else {
      const int rings = kind == kGafPolygonObject ? 1 : Uniform(2, 3);
      for (int r = 0; r < rings; ++r) AddRing(shape, cx + r * 0.2, cy);
    }
    return shape;
  }

  static double Wrap(double value, double limit) {
    if (value > limit) return value - 2 * limit;
    if (value < -limit) return value + 2 * limit;
    return value;
  }

  std::mt19937 rng_;
  double walkX_ = 0;
  double walkY_ = 0;
};

BoundingBoxNode BoxOf(const HostShape& shape) {
  BoundingBoxNode box{shape.points[0].x, shape.points[0].y, shape.points[0].x, shape.points[0].y};
  for (const auto& p : shape.points) {
    box.xMin = std::min(box.xMin, p.x);
    box.yMin = std::min(box.yMin, p.y);
    box.xMax = std::max(box.xMax, p.x);
    box.yMax = std::max(box.yMax, p.y);
  }
  return box;
}

bool Meets(const BoundingBoxNode& a, const BoundingBoxNode& b) {
  return a.xMin <= b.xMax && a.xMax >= b.xMin && a.yMin <= b.yMax && a.yMax >= b.yMin;
}

// What the file hands back for an exported object: absent texts as empty
// ones, coordinates at the file's precision.
HostShape Stored(HostShape shape, SHORT precision) {
  for (auto* text : {&shape.key, &shape.name, &shape.url}) {
    if (!*text) *text = std::string();
  }
  for (auto& p : shape.points) p = {StoredCoordinate(p.x, precision), StoredCoordinate(p.y, precision)};
  shape.shortDelivery = 0;
  return shape;
}

void ExpectSameShape(const HostShape& expected, const HostShape& actual, size_t index) {
  ASSERT_EQ(expected.kind, actual.kind) << "object " << index;
  ASSERT_EQ(expected.key, actual.key) << "object " << index;
  ASSERT_EQ(expected.name, actual.name) << "object " << index;
  ASSERT_EQ(expected.url, actual.url) << "object " << index;
  ASSERT_EQ(expected.setCounts, actual.setCounts) << "object " << index;
  ASSERT_EQ(expected.points.size(), actual.points.size()) << "object " << index;
  for (size_t i = 0; i < expected.points.size(); ++i) {
    ASSERT_EQ(expected.points[i].x, actual.points[i].x) << "object " << index << " vertex " << i;
    ASSERT_EQ(expected.points[i].y, actual.points[i].y) << "object " << index << " vertex " << i;
  }
}

bool PathTakes(EGafObjectType path, EGafObjectType kind) {
  return kind == path || (path == kGafPolygonObject && kind == kGafPolyPolygonObject);
}

struct PathCase {
  EGafObjectType path;
  SHORT precision;
  bool ordered = false;
};

std::string PathCaseName(const ::testing::TestParamInfo<PathCase>& info) {
  const char* const names[] = {"Points", "", "Polylines", "", "Polygons"};
  return std::string(names[info.param.path]) + std::to_string(info.param.precision) +
         (info.param.ordered ? "InMapOrder" : "");
}

// Every text and vertex of the shape, to compare deliveries whose order is
// not the export's.
std::string Signature(const HostShape& shape) {
  std::string text;
  for (const auto* part : {&shape.key, &shape.name, &shape.url}) text += part->value_or("<none>") + "|";
  for (const CKroDoublePointNode& point : shape.points) text += std::to_string(point.x) + "," + std::to_string(point.y) + ";";
  return text;
}

void SortBySignature(std::vector<HostShape>& shapes) {
  std::vector<std::pair<std::string, size_t>> order;
  order.reserve(shapes.size());
  for (size_t i = 0; i < shapes.size(); ++i) order.emplace_back(Signature(shapes[i]), i);
  std::sort(order.begin(), order.end());
  std::vector<HostShape> sorted;
  sorted.reserve(shapes.size());
  for (const auto& entry : order) sorted.push_back(std::move(shapes[entry.second]));
  shapes = std::move(sorted);
}

class RoundTripTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(RoundTripTest, ExportsAndImportsEveryObjectOfThePath) {
  const LONG moduleLocks = ModuleLockCount();
  const auto [path, precision, ordered] = GetParam();
  TempDir dir;
  const std::string fileName = dir.File("mixed.gaf");

  MixGenerator generator(1234u + static_cast<uint32_t>(path));
  std::vector<HostShape> shapes;
  shapes.reserve(kObjectsPerPath);
  for (int i = 0; i < kObjectsPerPath; ++i) shapes.push_back(generator.Next(path, i));
  std::vector<HostShape> expected;
  std::vector<BoundingBoxNode> boxes;
  expected.reserve(shapes.size());
  boxes.reserve(shapes.size());
  BoundingBoxNode extent{};
  for (const HostShape& shape : shapes) {
    if (!PathTakes(path, shape.kind)) continue;
    const BoundingBoxNode box = BoxOf(shape);
    extent = boxes.empty() ? box
                           : BoundingBoxNode{std::min(extent.xMin, box.xMin), std::min(extent.yMin, box.yMin),
                                             std::max(extent.xMax, box.xMax), std::max(extent.yMax, box.yMax)};
    boxes.push_back(box);
    expected.push_back(Stored(shape, precision));
  }

  {
    // Every third object is one of the library's own classes.
    HostSet set;
    for (size_t i = 0; i < shapes.size(); ++i) {
      set.setup->objects.push_back(i % 3 == 0 ? MakeLibraryObject(shapes[i]) : MakeHostObject(shapes[i]));
    }
    set.setup->maxVertexCount = 4321;
    set.setup->plinesFailed = 12;
    PreferencesSetup setup;
    setup.fileName = fileName;
    setup.objectType = path;
    setup.precision = precision;
    setup.useKif = -1;
    auto preferences = MakePreferences(setup);
    EKroErrCode code = eKroUnknownErr;
    ASSERT_EQ(S_OK, preferences->SetCoordSysCode(Wide("UTM32-WGS84").Get(), &code));
    const ExportResult result =
        RunExport(set.source.Get(), preferences.Get(), nullptr, ordered ? &CreateKroGafOrderedExport : nullptr);
    ASSERT_EQ(S_OK, result.hr);
    ASSERT_EQ(eKroOk, result.code);
    EXPECT_EQ(static_cast<LONG>(expected.size()), result.exported);
    EXPECT_EQ(path == kGafPointObject ? -7 : 4321, result.maxVertex);
    EXPECT_EQ(path == kGafPointObject ? -7 : 12, result.plinesFailed);
    // The export kept no reference to any object it was given.
    for (const auto& object : set.setup->objects) {
      object->AddRef();
      ASSERT_EQ(1u, object->Release());
    }
  }
  ComPtr<IKroGafImport> importer;
  ASSERT_EQ(S_OK, CreateKroGafImport(IID_IKroGafImport, importer.PutVoid()));
  PreferencesSetup readSetup;
  readSetup.fileName = fileName;
  readSetup.openMode = kGafReadOnly;
  EKroErrCode code = eKroUnknownErr;
  ASSERT_EQ(S_OK, importer->Initialize(MakePreferences(readSetup).Get(), &code));
  LONG count = 0;
  ASSERT_EQ(S_OK, importer->GetNumberOfObjects(&count));
  EXPECT_EQ(static_cast<LONG>(expected.size()), count);
  BoundingBoxNode box{};
  ASSERT_EQ(S_OK, importer->GetBoundingBox(&box));
  EXPECT_EQ(extent.xMin, box.xMin);
  EXPECT_EQ(extent.yMin, box.yMin);
  EXPECT_EQ(extent.xMax, box.xMax);
  EXPECT_EQ(extent.yMax, box.yMax);
  LONG hasMetaData = 0;
  importer->GafHasMetaData(&hasMetaData);
  EXPECT_EQ(1, hasMetaData);
  ScopedBstr name;
  ASSERT_EQ(S_OK, importer->GetCoordSysName(name.Put()));
  EXPECT_EQ("UTM32-WGS84", Narrow(name.Get()));
  EXPECT_EQ(0u, importer.Detach()->Release());

  std::vector<HostShape> sequential = ImportShapes(fileName);
  ASSERT_EQ(expected.size(), sequential.size());
  std::vector<HostShape> inOrder = expected;
  if (ordered) {
    SortBySignature(inOrder);
    SortBySignature(sequential);
  }
  for (size_t i = 0; i < inOrder.size(); ++i) ExpectSameShape(inOrder[i], sequential[i], i);
  std::mt19937 rng(99);
  std::uniform_real_distribution<double> x(-180, 180), y(-90, 90), size(0.5, 15);
  for (int q = 0; q < kBoxQueries; ++q) {
    const double left = x(rng), bottom = y(rng);
    const BoundingBoxNode query{left, bottom, left + size(rng), bottom + size(rng)};
    std::multiset<std::string> wanted;
    for (size_t i = 0; i < boxes.size(); ++i) {
      if (Meets(boxes[i], query)) wanted.insert(*expected[i].key + "|" + *expected[i].name);
    }
    std::multiset<std::string> found;
    for (const HostShape& shape : ImportShapes(fileName, kGafReadPartial, &query)) {
      found.insert(*shape.key + "|" + *shape.name);
    }
    std::vector<std::string> missing, extra;
    std::set_difference(wanted.begin(), wanted.end(), found.begin(), found.end(), std::back_inserter(missing));
    std::set_difference(found.begin(), found.end(), wanted.begin(), wanted.end(), std::back_inserter(extra));
    EXPECT_TRUE(missing.empty() && extra.empty())
        << "query " << q << ": " << missing.size() << " missing (first " << (missing.empty() ? "" : missing[0])
        << "), " << extra.size() << " extra (first " << (extra.empty() ? "" : extra[0]) << ")";
  }
  EngineStatus status = kEngineOk;
  CSpatialIndex spatialIndex(dir.File("mixed.sif").c_str(), 1, status);
  ASSERT_EQ(kEngineOk, status);
  SifStatistics sifStatistics;
  EXPECT_EQ(kEngineOk, spatialIndex.Verify(nullptr, sifStatistics)) << StatusName(status);
  EXPECT_EQ(expected.size(), sifStatistics.leafEntries);
  CKeyIndex keyIndex(dir.File("mixed.kif").c_str(), 1, status);
  ASSERT_EQ(kEngineOk, status);
  KifStatistics kifStatistics;
  EXPECT_EQ(kEngineOk, keyIndex.Verify(nullptr, kifStatistics));
  EXPECT_EQ(expected.size(), kifStatistics.entries);
  EXPECT_EQ(moduleLocks, ModuleLockCount());
}

INSTANTIATE_TEST_SUITE_P(Paths, RoundTripTest,
                         ::testing::Values(PathCase{kGafPointObject, 32}, PathCase{kGafPolylineObject, 64},
                                           PathCase{kGafPolygonObject, 32}, PathCase{kGafPolylineObject, 64, true},
                                           PathCase{kGafPolygonObject, 32, true}),
                         PathCaseName);

}  // namespace
}  // namespace kro::test
