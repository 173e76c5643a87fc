// Sets on GDAL's virtual file systems: read from /vsimem/, /vsizip/,
// /vsitar/ and /vsicurl/ with the same features (FIDs, texts, geometries) as
// from the plain files, sequentially, by box and by key; created on and
// appended to /vsimem/ byte for byte as on a disk; refused with a clear error
// where the system cannot write or the name is too long for the engine.
#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <tuple>
#include <vector>

#include "FailingCalls.h"
#include "GdalTestSupport.h"
#include "LocalHttpServer.h"
#include "cpl_vsi.h"
#include "engine/fileaccess/CGafRawFile.h"
#include "support/TempDir.h"

namespace kro::test {
namespace {

const char* const kSetFiles[] = {"set.gaf", "set.sif", "set.kif"};

// FID, fields and geometry of one feature.
using FeatureRow = std::tuple<GIntBig, std::string, std::string>;

std::vector<FeatureRow> Rows(OGRLayer& layer) {
  std::vector<FeatureRow> rows;
  layer.ResetReading();
  for (auto& feature : layer) {
    std::string fields;
    for (int i = 0; i < feature->GetFieldCount(); ++i) fields += std::string(feature->GetFieldAsString(i)) + "|";
    char* wkt = nullptr;
    if (const OGRGeometry* geometry = feature->GetGeometryRef()) geometry->exportToWkt(&wkt);
    rows.emplace_back(feature->GetFID(), fields, wkt != nullptr ? wkt : "");
    CPLFree(wkt);
  }
  return rows;
}

// What a user sees of a set: every feature, those of central Europe by box,
// and France by key.
struct SetView {
  std::vector<FeatureRow> all;
  std::vector<FeatureRow> box;
  std::vector<FeatureRow> key;
};

struct QueryBox {
  double minX, minY, maxX, maxY;
};

std::vector<FeatureRow> BoxRows(const std::string& name, const QueryBox& box) {
  GDALDatasetUniquePtr dataset = OpenVector(name);
  EXPECT_TRUE(dataset) << name;
  if (!dataset) return {};
  OGRLayer& layer = *dataset->GetLayer(0);
  layer.SetSpatialFilterRect(box.minX, box.minY, box.maxX, box.maxY);
  return Rows(layer);
}

SetView ViewOf(const std::string& gaf) {
  SetView view;
  GDALDatasetUniquePtr dataset = OpenVector(gaf);
  EXPECT_TRUE(dataset) << gaf;
  if (!dataset) return view;
  OGRLayer& layer = *dataset->GetLayer(0);
  view.all = Rows(layer);
  layer.SetSpatialFilterRect(5, 45, 10, 50);
  view.box = Rows(layer);
  layer.SetSpatialFilter(nullptr);
  layer.SetAttributeFilter("key = '250'");
  view.key = Rows(layer);
  return view;
}

void ExpectSameView(const SetView& expected, const SetView& actual) {
  EXPECT_EQ(actual.all, expected.all);
  EXPECT_EQ(actual.box, expected.box);
  EXPECT_EQ(actual.key, expected.key);
}

// A directory on /vsimem/, removed with everything in it afterwards.
class MemoryDir {
 public:
  explicit MemoryDir(const std::string& name) : path_("/vsimem/" + name) { VSIMkdir(path_.c_str(), 0755); }
  ~MemoryDir() { VSIRmdirRecursive(path_.c_str()); }
  MemoryDir(const MemoryDir&) = delete;
  MemoryDir& operator=(const MemoryDir&) = delete;
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

bool VirtualFileExists(const std::string& name) {
  VSIStatBufL stat;
  return VSIStatL(name.c_str(), &stat) == 0;
}

Bytes VirtualFileBytes(const std::string& name) {
  vsi_l_offset size = 0;
  GByte* data = VSIGetMemFileBuffer(name.c_str(), &size, FALSE);
  return data != nullptr ? Bytes(data, data + size) : Bytes();
}

// GDAL's curl layer set up for a server that lists no directories, with
// its caches emptied, for one test.
class CurlSession {
 public:
  CurlSession() {
    CPLSetConfigOption("GDAL_DISABLE_READDIR_ON_OPEN", "EMPTY_DIR");
    VSICurlClearCache();
  }
  ~CurlSession() {
    VSICurlClearCache();
    CPLSetConfigOption("GDAL_DISABLE_READDIR_ON_OPEN", nullptr);
  }
  CurlSession(const CurlSession&) = delete;
  CurlSession& operator=(const CurlSession&) = delete;
};

class GdalVirtualFileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterDrivers();
    ASSERT_TRUE(Translate(plain_.File("set.gaf"), DataFile("ne_110m_countries.geojson"),
                          {"-f", "Gaf", "-lco", "KEY_FIELD=id"}));
  }

  std::string PlainSet() const { return plain_.File("set.gaf"); }
  // Copies the plain set's three files into `dir`.
  void CopyPlainSetTo(const MemoryDir& dir) const {
    for (const char* file : kSetFiles) {
      ASSERT_EQ(CPLCopyFile(dir.File(file).c_str(), plain_.File(file).c_str()), 0) << file;
    }
  }

  TempDir plain_;
};

TEST_F(GdalVirtualFileSystemTest, ASetOnVsimemReadsAsThePlainFiles) {
  MemoryDir memory("gaf-read");
  CopyPlainSetTo(memory);
  const SetView expected = ViewOf(PlainSet());
  ASSERT_EQ(expected.all.size(), 177u);
  ASSERT_EQ(expected.box.size(), 7u);
  ASSERT_EQ(expected.key.size(), 1u);
  ExpectSameView(expected, ViewOf(memory.File("set.gaf")));
}

TEST_F(GdalVirtualFileSystemTest, ASetCreatedAndAppendedOnVsimemIsByteIdenticalToOneOnDisk) {
  const std::string source = DataFile("ne_110m_countries.geojson");
  const std::vector<std::string> create{"-f", "Gaf", "-lco", "KEY_FIELD=id", "-where", "name < 'M'"};
  const std::vector<std::string> append{"-append", "-nln", "set", "-where", "name >= 'M'"};
  TempDir disk;
  ASSERT_TRUE(Translate(disk.File("set.gaf"), source, create));
  ASSERT_TRUE(Translate(disk.File("set.gaf"), source, append));
  MemoryDir memory("gaf-write");
  ASSERT_TRUE(Translate(memory.File("set.gaf"), source, create));
  ASSERT_TRUE(Translate(memory.File("set.gaf"), source, append));
  for (const char* file : kSetFiles) {
    EXPECT_EQ(VirtualFileBytes(memory.File(file)), ReadFileBytes(disk.File(file))) << file;
  }
  EXPECT_FALSE(VirtualFileExists(memory.File("set.gaf-journal")));
  ExpectSameView(ViewOf(disk.File("set.gaf")), ViewOf(memory.File("set.gaf")));
}

TEST_F(GdalVirtualFileSystemTest, AWriterOnVsimemKeepsOtherOpensOfTheSetOutUntilItCloses) {
  MemoryDir memory("gaf-locks");
  CopyPlainSetTo(memory);
  const std::string gaf = memory.File("set.gaf");
  GDALDatasetUniquePtr writer = OpenVector(gaf, GDAL_OF_UPDATE);
  ASSERT_TRUE(writer);
  OGRLayer& layer = *writer->GetLayer(0);
  OGRFeature feature(layer.GetLayerDefn());
  OGRGeometry* square = nullptr;
  OGRGeometryFactory::createFromWkt("POLYGON ((7 47, 8 47, 8 48, 7 47))", nullptr, &square);
  feature.SetGeometryDirectly(square);
  ASSERT_EQ(layer.CreateFeature(&feature), OGRERR_NONE);
  ASSERT_TRUE(VirtualFileExists(memory.File("set.gaf-journal")));

  // A reader would meet a set half written, and its open would roll back
  // the journal of a running writer; a second writer would do both.
  CapturedMessages messages;
  EXPECT_FALSE(OpenVector(gaf));
  EXPECT_TRUE(messages.Contains(CE_Failure, {gaf, "cannot open"})) << messages.All();
  EXPECT_FALSE(OpenVector(gaf, GDAL_OF_UPDATE));

  writer.reset();
  EXPECT_FALSE(VirtualFileExists(memory.File("set.gaf-journal")));
  EXPECT_EQ(ViewOf(gaf).all.size(), 178u);
}

TEST_F(GdalVirtualFileSystemTest, ASetInAZipReadsAsThePlainFiles) {
  MemoryDir memory("gaf-zip");
  const std::string zip = "/vsizip/" + memory.File("sets.zip");
  // GDAL's zip writer adds one file at a time to the archive.
  for (const char* file : kSetFiles) {
    ASSERT_EQ(CPLCopyFile((zip + "/countries/" + file).c_str(), plain_.File(file).c_str()), 0) << file;
  }
  ExpectSameView(ViewOf(PlainSet()), ViewOf(zip + "/countries/set.gaf"));
}

TEST_F(GdalVirtualFileSystemTest, ASetInATarReadsAsThePlainFiles) {
  TempDir archive;
  const std::string tar = archive.File("sets.tar");
  const std::string command = "tar -C '" + plain_.path() + "' -cf '" + tar + "' set.gaf set.sif set.kif";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  ExpectSameView(ViewOf(PlainSet()), ViewOf("/vsitar/" + tar + "/set.gaf"));
}

TEST_F(GdalVirtualFileSystemTest, ASetOverHttpReadsAsThePlainFiles) {
  LocalHttpServer server(plain_.path());
  ASSERT_TRUE(server.Started());
  const CurlSession curl;
  ExpectSameView(ViewOf(PlainSet()), ViewOf("/vsicurl/" + server.Url("set.gaf")));
  EXPECT_GT(server.Requests(), 0u);
  // GDAL refuses the update before the driver sees it, and says why.
  CapturedMessages messages;
  EXPECT_FALSE(OpenVector("/vsicurl/" + server.Url("set.gaf"), GDAL_OF_UPDATE));
  EXPECT_TRUE(messages.Contains(CE_Failure, {"read-only", "/vsicurl"})) << messages.All();
}

TEST_F(GdalVirtualFileSystemTest, AnUpdateOnAReadOnlySystemIsRefusedAndTheArchiveIsUntouched) {
  MemoryDir memory("gaf-zip-update");
  const std::string zip = "/vsizip/" + memory.File("sets.zip");
  for (const char* file : kSetFiles) {
    ASSERT_EQ(CPLCopyFile((zip + "/" + file).c_str(), plain_.File(file).c_str()), 0) << file;
  }
  const Bytes before = VirtualFileBytes(memory.File("sets.zip"));
  // GDAL refuses the update of an existing file before the driver sees it;
  // the driver refuses a new set.
  CapturedMessages messages;
  EXPECT_FALSE(OpenVector(zip + "/set.gaf", GDAL_OF_UPDATE));
  EXPECT_TRUE(messages.Contains(CE_Failure, {"not supported for /vsizip"})) << messages.All();
  messages.Clear();
  EXPECT_FALSE(Translate(zip + "/new.gaf", DataFile("ne_110m_countries.geojson"), {"-f", "Gaf"}));
  EXPECT_TRUE(messages.Contains(CE_Failure, {zip + "/new.gaf", "read-only"})) << messages.All();
  EXPECT_EQ(VirtualFileBytes(memory.File("sets.zip")), before);
}

TEST_F(GdalVirtualFileSystemTest, ANameLongerThanTheEngineTakesIsRefusedNeverCut) {
  MemoryDir memory("gaf-long");
  const std::string stem = memory.File("");
  // Names of 259 bytes are the longest the engine takes.
  const std::string longest = stem + std::string(259 - stem.size() - 4, 'n') + ".gaf";
  const std::string tooLong = stem + std::string(260 - stem.size() - 4, 'n') + ".gaf";
  ASSERT_EQ(longest.size(), 259u);
  CapturedMessages messages;
  ASSERT_TRUE(Translate(longest, DataFile("ne_110m_countries.geojson"), {"-f", "Gaf"}));
  EXPECT_EQ(ViewOf(longest).all.size(), 177u);

  messages.Clear();
  EXPECT_FALSE(Translate(tooLong, DataFile("ne_110m_countries.geojson"), {"-f", "Gaf"}));
  EXPECT_TRUE(messages.Contains(CE_Failure, {tooLong, "260 bytes long"})) << messages.All();
  EXPECT_FALSE(VirtualFileExists(tooLong));
  // An existing data file under such a name is refused the same way.
  ASSERT_EQ(CPLCopyFile(tooLong.c_str(), longest.c_str()), 0);
  messages.Clear();
  EXPECT_FALSE(OpenVector(tooLong));
  EXPECT_TRUE(messages.Contains(CE_Failure, {tooLong, "260 bytes long"})) << messages.All();
}

struct BoxQueryCase {
  const char* label;
  const char* data;
  QueryBox box;
  size_t features;
};

class GdalHttpBoxQueryTest : public ::testing::TestWithParam<BoxQueryCase> {
 protected:
  void SetUp() override { RegisterDrivers(); }
};

// A box query through /vsicurl/ returns what it returns from the local file,
// for a Gaf set and for FlatGeobuf with its spatial index; what each took
// over HTTP is recorded as test properties (and printed) for comparison.
TEST_P(GdalHttpBoxQueryTest, ReturnsTheLocalFeaturesAndRecordsWhatItCost) {
  const BoxQueryCase& c = GetParam();
  TempDir dir;
  // A county without a geometry is refused by Gaf, so both skip it.
  ASSERT_TRUE(Translate(dir.File("set.gaf"), DataFile(c.data), {"-f", "Gaf", "-lco", "KEY_FIELD=id", "-skipfailures"}));
  ASSERT_TRUE(Translate(dir.File("set.fgb"), DataFile(c.data), {"-f", "FlatGeobuf", "-skipfailures"}));
  LocalHttpServer server(dir.path());
  ASSERT_TRUE(server.Started());
  for (const char* file : {"set.gaf", "set.fgb"}) {
    SCOPED_TRACE(file);
    const std::vector<FeatureRow> local = BoxRows(dir.File(file), c.box);
    EXPECT_EQ(local.size(), c.features);
    const CurlSession curl;
    server.ResetCounts();
    EXPECT_EQ(BoxRows("/vsicurl/" + server.Url(file), c.box), local);
    const std::string prefix = std::string(c.label) + "_" + (std::string(file) == "set.gaf" ? "gaf" : "fgb");
    RecordProperty(prefix + "_requests", std::to_string(server.Requests()));
    RecordProperty(prefix + "_bytes", std::to_string(server.BytesServed()));
    std::cout << prefix << ": " << server.Requests() << " requests, " << server.BytesServed() << " bytes\n";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sets, GdalHttpBoxQueryTest,
    ::testing::Values(BoxQueryCase{"countries", "ne_110m_countries.geojson", {5, 45, 10, 50}, 7},
                      BoxQueryCase{"counties", "us_counties_10m.geojson", {-90, 40, -89, 41}, 15}),
    [](const ::testing::TestParamInfo<BoxQueryCase>& info) { return std::string(info.param.label); });

// What a fuzzer does: damaged files put on /vsimem/ and opened. Every open
// that fails lets go of its files, or the set could not be written again.
TEST_F(GdalVirtualFileSystemTest, DamagedSetsOnVsimemAreRefusedAndLeaveNoFileHeld) {
  MemoryDir memory("gaf-damaged");
  const std::string gaf = memory.File("set.gaf");
  CapturedMessages messages;
  for (const char* damaged : kSetFiles) {
    SCOPED_TRACE(damaged);
    CopyPlainSetTo(memory);
    Bytes bytes = VirtualFileBytes(memory.File(damaged));
    bytes.resize(bytes.size() / 2);
    VSILFILE* file = VSIFOpenL(memory.File(damaged).c_str(), "wb");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(VSIFWriteL(bytes.data(), 1, bytes.size(), file), bytes.size());
    VSIFCloseL(file);
    messages.Clear();
    if (GDALDatasetUniquePtr dataset = OpenVector(gaf)) {
      OGRLayer& layer = *dataset->GetLayer(0);
      Rows(layer);
      layer.SetAttributeFilter("key = '250'");
      Rows(layer);
      layer.SetAttributeFilter(nullptr);
      layer.SetSpatialFilterRect(5, 45, 10, 50);
      Rows(layer);
    }
    EXPECT_GT(messages.Count(CE_Failure), 0u) << messages.All();
    ASSERT_TRUE(Translate(gaf, DataFile("ne_110m_countries.geojson"), {"-f", "Gaf", "-lco", "KEY_FIELD=id"}))
        << messages.All();
  }
}

TEST_F(GdalVirtualFileSystemTest, ASetWithAnUnfinishedWriteInAnArchiveIsRefused) {
  MemoryDir memory("gaf-zip-journal");
  const std::string zip = "/vsizip/" + memory.File("sets.zip");
  for (const char* file : kSetFiles) {
    ASSERT_EQ(CPLCopyFile((zip + "/" + file).c_str(), plain_.File(file).c_str()), 0) << file;
  }
  // Whatever the journal holds, it cannot be rolled back inside the archive,
  // so the set is not read as it is.
  ASSERT_EQ(CPLCopyFile((zip + "/set.gaf-journal").c_str(), plain_.File("set.kif").c_str()), 0);
  CapturedMessages messages;
  EXPECT_FALSE(OpenVector(zip + "/set.gaf"));
  EXPECT_TRUE(messages.Contains(CE_Failure, {zip + "/set.gaf", "cannot open"})) << messages.All();
}

// The router moves a file between the disk and a virtual system by copying
// it; temporary files are the disk's.
TEST(GdalFileRouterTest, ReplaceCopiesAcrossSystemsAndKeepsTheSourceWhenTheTargetCannotBeWritten) {
  RegisterDrivers();
  MemoryDir memory("gaf-router");
  GafOpenFiles routed(nullptr);
  const CGafRawFile files(routed.Environment());
  char temporary[kMaxPathBytes] = {};
  ASSERT_TRUE(files.TempFileName(temporary));
  EXPECT_NE(std::string(temporary).rfind("/vsi", 0), 0u) << temporary;
  const Bytes contents = HexBytes("00 2C 40 02 17 00");
  WriteFileBytes(temporary, contents);

  const std::string virtualName = memory.File("moved.sif");
  ASSERT_TRUE(files.Replace(temporary, virtualName.c_str()));
  EXPECT_FALSE(FileExists(temporary));
  EXPECT_EQ(VirtualFileBytes(virtualName), contents);

  TempDir disk;
  ASSERT_TRUE(files.Replace(virtualName.c_str(), disk.File("back.sif").c_str()));
  EXPECT_FALSE(VirtualFileExists(virtualName));
  EXPECT_EQ(ReadFileBytes(disk.File("back.sif")), contents);

  const std::string readOnly = "/vsizip/" + memory.File("sets.zip") + "/moved.sif";
  ASSERT_TRUE(files.Replace(disk.File("back.sif").c_str(), virtualName.c_str()));
  EXPECT_FALSE(files.Replace(virtualName.c_str(), readOnly.c_str()));
  EXPECT_EQ(VirtualFileBytes(virtualName), contents);
}

struct FailingCall {
  FileOp op;
  const char* name;
};

void PrintTo(const FailingCall& call, std::ostream* out) { *out << call.name; }

class GdalVirtualFailureTest : public ::testing::TestWithParam<FailingCall> {
 protected:
  void SetUp() override { RegisterDrivers(); }
};

TEST_P(GdalVirtualFailureTest, ASetCreatedOnVsimemThatFailsPartWayIsRemoved) {
  MemoryDir memory("gaf-fail-create");
  const std::string gaf = memory.File("set.gaf");
  CapturedMessages messages;
  ForEachFailingCall(
      GetParam().op, FailingCallSteps::kEvery,
      [&] {
        messages.Clear();
        return Translate(gaf, DataFile("ne_110m_countries.geojson"), {"-f", "Gaf", "-lco", "KEY_FIELD=id"});
      },
      [&] {
        EXPECT_TRUE(messages.Contains(CE_Failure, {gaf})) << messages.All();
        for (const char* file : kSetFiles) EXPECT_FALSE(VirtualFileExists(memory.File(file))) << file;
      });
  EXPECT_EQ(ViewOf(gaf).all.size(), 177u);
}

TEST_P(GdalVirtualFailureTest, AnAppendOnVsimemThatFailsPartWayIsRolledBack) {
  MemoryDir memory("gaf-fail-append");
  const std::string gaf = memory.File("set.gaf");
  const std::string source = DataFile("ne_110m_countries.geojson");
  ASSERT_TRUE(Translate(gaf, source, {"-f", "Gaf", "-lco", "KEY_FIELD=id", "-where", "name < 'M'"}));
  std::vector<Bytes> before;
  for (const char* file : kSetFiles) before.push_back(VirtualFileBytes(memory.File(file)));
  CapturedMessages messages;
  ForEachFailingCall(
      GetParam().op, FailingCallSteps::kEvery, [&] {
        messages.Clear();
        return Translate(gaf, source, {"-append", "-nln", "set", "-where", "name >= 'M'"});
      },
      [&] {
        EXPECT_TRUE(messages.Contains(CE_Failure, {gaf})) << messages.All();
        // An open rolls back what a rollback on the failing store could not.
        EXPECT_EQ(ViewOf(gaf).all.size(), 95u);
        for (size_t i = 0; i < before.size(); ++i) {
          EXPECT_EQ(VirtualFileBytes(memory.File(kSetFiles[i])), before[i]) << kSetFiles[i];
        }
      });
  EXPECT_EQ(ViewOf(gaf).all.size(), 177u);
}

INSTANTIATE_TEST_SUITE_P(Calls, GdalVirtualFailureTest,
                         ::testing::Values(FailingCall{FileOp::kOpen, "Open"}, FailingCall{FileOp::kWrite, "Write"},
                                           FailingCall{FileOp::kTruncate, "Truncate"},
                                           FailingCall{FileOp::kSync, "Sync"}),
                         [](const ::testing::TestParamInfo<FailingCall>& info) { return info.param.name; });

}  // namespace
}  // namespace kro::test
