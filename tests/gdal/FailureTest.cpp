// Failing disks under ogr2ogr: whatever write fails, the translation reports
// an error naming the file, and the set is left as it was before (a new set
// removed, an append rolled back), never claiming objects it lacks; the
// layer then claims no writing and refuses every later feature.
#include <gtest/gtest.h>

#include "FailingCalls.h"
#include "GdalTestSupport.h"
#include "support/TempDir.h"

namespace kro::test {
namespace {

template <class Attempt, class Check>
void ForEachFailingWrite(Attempt attempt, Check check) {
  ForEachFailingCall(FileOp::kWrite, FailingCallSteps::kSpreading, attempt, check);
}

TEST(GdalFailureTest, ACreatedSetThatFailsPartWayIsRemoved) {
  RegisterDrivers();
  TempDir dir;
  const std::string gaf = dir.File("set.gaf");
  CapturedMessages messages;
  ForEachFailingWrite(
      [&] {
        messages.Clear();
        return Translate(gaf, DataFile("ne_110m_countries.geojson"), {"-f", "Gaf", "-lco", "KEY_FIELD=id"});
      },
      [&] {
        EXPECT_TRUE(messages.Contains(CE_Failure, {gaf})) << messages.All();
        EXPECT_FALSE(FileExists(gaf));
        EXPECT_FALSE(FileExists(dir.File("set.sif")));
      });
  GDALDatasetUniquePtr dataset = OpenVector(gaf);
  ASSERT_TRUE(dataset);
  EXPECT_EQ(dataset->GetLayer(0)->GetFeatureCount(), 177);
}

TEST(GdalFailureTest, AnAppendThatFailsPartWayIsRolledBack) {
  RegisterDrivers();
  TempDir dir;
  const std::string gaf = dir.File("set.gaf");
  const std::string source = DataFile("ne_110m_countries.geojson");
  ASSERT_TRUE(Translate(gaf, source, {"-f", "Gaf", "-lco", "KEY_FIELD=id", "-where", "name < 'M'"}));
  const std::vector<Bytes> before{ReadFileBytes(gaf), ReadFileBytes(dir.File("set.sif")),
                                  ReadFileBytes(dir.File("set.kif"))};
  CapturedMessages messages;
  ForEachFailingWrite(
      [&] {
        messages.Clear();
        return Translate(gaf, source, {"-append", "-nln", "set", "-where", "name >= 'M'"});
      },
      [&] {
        EXPECT_TRUE(messages.Contains(CE_Failure, {gaf})) << messages.All();
        // An open rolls back what a rollback on the dead disk could not.
        GDALDatasetUniquePtr dataset = OpenVector(gaf);
        ASSERT_TRUE(dataset);
        EXPECT_EQ(dataset->GetLayer(0)->GetFeatureCount(), 95);
        dataset.reset();
        const std::vector<Bytes> after{ReadFileBytes(gaf), ReadFileBytes(dir.File("set.sif")),
                                       ReadFileBytes(dir.File("set.kif"))};
        EXPECT_TRUE(after == before);
      });
  GDALDatasetUniquePtr dataset = OpenVector(gaf);
  ASSERT_TRUE(dataset);
  EXPECT_EQ(dataset->GetLayer(0)->GetFeatureCount(), 177);
}

// A line of `vertices` vertices: a few of them fill the writer's buffers,
// so that the files are written while features are created.
OGRErr WriteLongLine(OGRLayer& layer, int vertices) {
  auto line = std::make_unique<OGRLineString>();
  line->setNumPoints(vertices);
  for (int i = 0; i < vertices; ++i) line->setPoint(i, i, i);
  OGRFeature feature(layer.GetLayerDefn());
  feature.SetGeometryDirectly(line.release());
  return layer.CreateFeature(&feature);
}

TEST(GdalFailureTest, AfterAFailedWriteTheLayerClaimsNoWritingAndRefusesEveryFeature) {
  RegisterDrivers();
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("Gaf");
  TempDir dir;
  const std::string gaf = dir.File("set.gaf");
  CapturedMessages messages;
  bool failedWhileWriting = false;
  ForEachFailingWrite(
      [&] {
        messages.Clear();
        GDALDatasetUniquePtr dataset(driver->Create(gaf.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
        if (!dataset) return false;
        OGRLayer* layer = dataset->CreateLayer("set", nullptr, wkbLineString);
        for (int i = 0; i < 40; ++i) {
          if (WriteLongLine(*layer, 10000) == OGRERR_NONE) continue;
          failedWhileWriting = true;
          // In the engine's words: the file that failed, where, and why.
          EXPECT_TRUE(messages.Contains(CE_Failure, {gaf, "writing failed: ", dir.path(), " at 0x", "Error)"}))
              << messages.All();
          EXPECT_FALSE(layer->TestCapability(OLCSequentialWrite));
          EXPECT_EQ(WriteLongLine(*layer, 2), OGRERR_FAILURE);
          EXPECT_TRUE(messages.Contains(CE_Failure, {gaf, "an earlier write failed"})) << messages.All();
          return false;
        }
        dataset.reset();
        return !messages.Contains(CE_Failure, {gaf});
      },
      [&] { EXPECT_FALSE(FileExists(gaf)); });
  EXPECT_TRUE(failedWhileWriting);
}

}  // namespace
}  // namespace kro::test
