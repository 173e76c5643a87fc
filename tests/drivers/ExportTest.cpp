// The export driver: its failure table, the loop over the source, progress
// and abort, the counts, and what a second export onto an existing set does.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "com/ModuleLock.h"
#include "drivers/DriverClasses.h"
#include "drivers/DriverTestSupport.h"
#include "support/TempDir.h"

namespace kro::test {
namespace {

class ExportTest : public ::testing::Test {
 protected:
  void SetUp() override { moduleLocks_ = ModuleLockCount(); }
  void TearDown() override {
    EXPECT_EQ(0, LiveHostObjects());
    EXPECT_EQ(moduleLocks_, ModuleLockCount());
  }

  PreferencesSetup Setup(EGafObjectType type = kGafPolylineObject) const {
    PreferencesSetup setup;
    setup.fileName = FileName();
    setup.objectType = type;
    return setup;
  }
  std::string FileName() const { return dir_.File("export.gaf"); }
  bool SetExists() const { return FileExists(dir_.File("export.gaf")) && FileExists(dir_.File("export.sif")); }

  TempDir dir_;
  LONG moduleLocks_ = 0;
};

std::vector<HostShape> Lines(int count, int first = 0) {
  std::vector<HostShape> shapes;
  for (int i = first; i < first + count; ++i) shapes.push_back(LineShape({{1.0 * i, 0}, {i + 1.0, 1}}, "l" + std::to_string(i)));
  return shapes;
}

std::vector<std::string> Keys(const std::vector<HostShape>& shapes) {
  std::vector<std::string> keys;
  for (const HostShape& shape : shapes) keys.push_back(shape.key.value_or("<absent>"));
  return keys;
}

TEST_F(ExportTest, NullPointersAreRefusedBeforeAnythingElse) {
  HostSet set = MakeHostSet(Lines(1));
  auto preferences = MakePreferences(Setup());
  ComPtr<IKroGafExport> exporter;
  ASSERT_EQ(S_OK, CreateKroGafExport(IID_IKroGafExport, exporter.PutVoid()));
  LONG exported = -7, maxVertex = -7, failed = -7;
  EXPECT_EQ(E_POINTER, exporter->Export(set.source.Get(), preferences.Get(), nullptr, &exported, &maxVertex,
                                        &failed, nullptr));
  const auto attempt = [&](IKroGeometrySource* source, IKroGafPreferences* prefs, LONG* a, LONG* b, LONG* c) {
    EKroErrCode code = eKroOk;
    EXPECT_EQ(E_POINTER, exporter->Export(source, prefs, nullptr, a, b, c, &code));
    EXPECT_EQ(eKroUnknownErr, code);
  };
  attempt(set.source.Get(), nullptr, &exported, &maxVertex, &failed);
  attempt(nullptr, preferences.Get(), &exported, &maxVertex, &failed);
  attempt(set.source.Get(), preferences.Get(), nullptr, &maxVertex, &failed);
  attempt(set.source.Get(), preferences.Get(), &exported, nullptr, &failed);
  attempt(set.source.Get(), preferences.Get(), &exported, &maxVertex, nullptr);
  EXPECT_EQ(-7, exported);
  EXPECT_FALSE(SetExists());
}

TEST_F(ExportTest, AWriterThatCannotBeMadeIsAPointerFailure) {
  HostSet set = MakeHostSet(Lines(1));
  auto preferences = MakePreferences(Setup());
  ComPtr<IKroGafExport> exporter;
  ASSERT_EQ(S_OK, CreateKroGafExport(IID_IKroGafExport, exporter.PutVoid()));
  ExportResult result;
  {
    NothrowNewFailure failure;
    result.hr = exporter->Export(set.source.Get(), preferences.Get(), nullptr, &result.exported, &result.maxVertex,
                                 &result.plinesFailed, &result.code);
    EXPECT_EQ(1, NothrowNewFailure::Failed());
  }
  EXPECT_EQ(E_POINTER, result.hr);
  EXPECT_EQ(eKroUnknownErr, result.code);
  EXPECT_FALSE(SetExists());
}

TEST_F(ExportTest, EveryReasonAnOpenFailsIsUnableToOpen) {
  HostSet set = MakeHostSet(Lines(1));
  PreferencesSetup noName = Setup();
  noName.fileName.reset();
  PreferencesSetup badMode = Setup();
  badMode.openMode = static_cast<EKroGafOpenFlags>(99);
  PreferencesSetup readOnly = Setup();
  readOnly.openMode = kGafReadOnly;
  PreferencesSetup update = Setup();
  update.openMode = kGafOpenUpdate;
  PreferencesSetup notGaf = Setup();
  notGaf.fileName = dir_.File("export.txt");
  auto longName = HostPreferences::Make(MakePreferences(Setup()));
  longName->fileName = dir_.path() + "/" + std::string(260, 'n') + ".gaf";
  std::vector<ComPtr<IKroGafPreferences>> preferences = {ComPtr<IKroGafPreferences>::Share(longName.Get())};
  for (const PreferencesSetup& setup : {noName, badMode, readOnly, update, notGaf}) {
    preferences.push_back(MakePreferences(setup));
  }
  for (const auto& each : preferences) {
    const ExportResult result = RunExport(set.source.Get(), each.Get());
    EXPECT_EQ(S_FALSE, result.hr);
    EXPECT_EQ(eKroUnableToOpen, result.code);
    EXPECT_EQ(-7, result.exported);
  }
  EXPECT_EQ(0u, set.setup->nextCalls);
  EXPECT_FALSE(SetExists());
}

TEST_F(ExportTest, SettingsRefusedAfterTheSetWasOpened) {
  HostSet set = MakeHostSet(Lines(2));
  PreferencesSetup noDescription = Setup();
  noDescription.description.reset();
  ExportResult result = RunExport(set.source.Get(), MakePreferences(noDescription).Get());
  EXPECT_EQ(S_FALSE, result.hr);
  EXPECT_EQ(eKroInvalidParameter, result.code);
  EXPECT_TRUE(SetExists());

  // An empty description is a description.
  PreferencesSetup emptyDescription = Setup();
  emptyDescription.description = std::string();
  EXPECT_EQ(eKroOk, RunExport(set.source.Get(), MakePreferences(emptyDescription).Get()).code);

  auto precision = HostPreferences::Make(MakePreferences(Setup()));
  precision->precision = 48;
  result = RunExport(set.source.Get(), precision.Get());
  EXPECT_EQ(S_FALSE, result.hr);
  EXPECT_EQ(eKroInvalidPrecision, result.code);
  EXPECT_EQ(2u, set.setup->nextCalls);
}

TEST_F(ExportTest, OnlyPointsPolylinesAndPolygonsCanBeExported) {
  HostSet set = MakeHostSet(Lines(2));
  for (int type : {3, 5, -1, 1, 6}) {
    const ExportResult result = RunExport(set.source.Get(), MakePreferences(Setup(static_cast<EGafObjectType>(type))).Get());
    EXPECT_EQ(S_FALSE, result.hr);
    EXPECT_EQ(eKroInvalidType, result.code) << type;
    // The check comes after the set was created.
    EXPECT_TRUE(SetExists());
    EXPECT_TRUE(ImportShapes(FileName()).empty());
  }
  EXPECT_EQ(0u, set.setup->nextCalls);
}

TEST_F(ExportTest, ASourceWithoutEnumeratorFailsToGetObjects) {
  HostSet set = MakeHostSet(Lines(2));
  set.setup->enumFails = true;
  auto progress = HostProgress::Make();
  const ExportResult result = RunExport(set.source.Get(), MakePreferences(Setup()).Get(), progress.Get());
  EXPECT_EQ(S_FALSE, result.hr);
  EXPECT_EQ(eKroFailGetObject, result.code);
  EXPECT_EQ(-7, result.exported);
  EXPECT_EQ(std::vector<LONG>{2}, progress->totals);
}

TEST_F(ExportTest, ObjectsThatAreNotFetchedOrNotWrittenAreOnlyLeftOutOfTheCount) {
  std::vector<HostShape> shapes = Lines(8);
  shapes[2].key = std::string(40, 'k');                             // too long for the key index
  shapes[3] = PointShape(1, 1, "point");                            // another kind
  shapes[4].kind = kGafPolyPolylineObject;                          // never exported
  shapes[5].shortDelivery = 1;                                      // delivers too few vertices
  HostSet set = MakeHostSet(shapes);
  set.setup->failingFetches = {0};
  set.setup->emptyFetches = {6};
  PreferencesSetup setup = Setup();
  setup.useKif = -1;
  const ExportResult result = RunExport(set.source.Get(), MakePreferences(setup).Get());
  EXPECT_EQ(S_OK, result.hr);
  EXPECT_EQ(eKroOk, result.code);
  EXPECT_EQ(2, result.exported);
  EXPECT_EQ((std::vector<std::string>{"l1", "l7"}), Keys(ImportShapes(FileName())));
}

TEST_F(ExportTest, PolygonPathTakesPolygonsAndMultiPolygonsOnly) {
  HostShape multi = RingShape(5, 5, "multi", kGafPolyPolygonObject);
  const HostShape second = RingShape(8, 8, "");
  multi.points.insert(multi.points.end(), second.points.begin(), second.points.end());
  multi.setCounts.push_back(4);
  const std::vector<HostShape> shapes = {RingShape(0, 0, "ring"), multi, LineShape({{0, 0}, {1, 1}}, "line"),
                                         RingShape(1, 1, "polyline ring", kGafPolyPolylineObject)};
  for (bool library : {false, true}) {
    HostSet set = MakeHostSet(shapes, library);
    const ExportResult result = RunExport(set.source.Get(), MakePreferences(Setup(kGafPolygonObject)).Get());
    EXPECT_EQ(eKroOk, result.code);
    EXPECT_EQ(2, result.exported);
    const std::vector<HostShape> stored = ImportShapes(FileName());
    ASSERT_EQ(2u, stored.size());
    EXPECT_EQ(kGafPolygonObject, stored[0].kind);
    EXPECT_EQ(kGafPolyPolygonObject, stored[1].kind);
    EXPECT_EQ((std::vector<LONG>{4, 4}), stored[1].setCounts);
  }
}

TEST_F(ExportTest, AnAbortAtTheFirstInquiryFetchesNothing) {
  HostSet set = MakeHostSet(Lines(5));
  auto progress = HostProgress::Make();
  progress->abortAtInquiry = 1;
  const ExportResult result = RunExport(set.source.Get(), MakePreferences(Setup()).Get(), progress.Get());
  EXPECT_EQ(S_OK, result.hr);
  EXPECT_EQ(eKroOk, result.code);
  EXPECT_EQ(0, result.exported);
  EXPECT_EQ(0u, set.setup->nextCalls);
  EXPECT_EQ(0, result.maxVertex);
  EXPECT_TRUE(SetExists());
  EXPECT_TRUE(ImportShapes(FileName()).empty());
}

TEST_F(ExportTest, ProgressIsReportedBeforeEachPassAndAnAbortKeepsWhatWasWritten) {
  HostSet set = MakeHostSet(Lines(5));
  set.setup->emptyFetches = {1};
  auto progress = HostProgress::Make();
  progress->abortAtInquiry = 4;
  const ExportResult result = RunExport(set.source.Get(), MakePreferences(Setup()).Get(), progress.Get());
  EXPECT_EQ(eKroOk, result.code);
  EXPECT_EQ(2, result.exported);
  EXPECT_EQ(std::vector<LONG>{5}, progress->totals);
  // The second number counts the objects handled, not those written.
  EXPECT_EQ((std::vector<std::pair<int, int>>{{5, 0}, {5, 1}, {5, 2}, {5, 3}}), progress->notified);
  EXPECT_EQ(0, progress->intervalCalls);
  EXPECT_EQ((std::vector<std::string>{"l0", "l2"}), Keys(ImportShapes(FileName())));
}

TEST_F(ExportTest, AnEmptySourceMakesAnEmptySet) {
  HostSet set = MakeHostSet({});
  auto progress = HostProgress::Make();
  const ExportResult result = RunExport(set.source.Get(), MakePreferences(Setup()).Get(), progress.Get());
  EXPECT_EQ(S_OK, result.hr);
  EXPECT_EQ(0, result.exported);
  EXPECT_EQ(std::vector<LONG>{0}, progress->totals);
  EXPECT_TRUE(progress->notified.empty());
  EXPECT_TRUE(SetExists());
  EXPECT_TRUE(ImportShapes(FileName()).empty());
}

TEST_F(ExportTest, TheLoopRunsAsOftenAsTheSourceSaysOrUntilItsEnumeratorEnds) {
  HostSet fewer = MakeHostSet(Lines(5));
  fewer.setup->reportedCount = 3;
  EXPECT_EQ(3, RunExport(fewer.source.Get(), MakePreferences(Setup()).Get()).exported);
  EXPECT_EQ(3u, fewer.setup->nextCalls);
  EXPECT_EQ(3u, ImportShapes(FileName()).size());

  HostSet more = MakeHostSet(Lines(2));
  more.setup->reportedCount = 2000000000;
  EXPECT_EQ(2, RunExport(more.source.Get(), MakePreferences(Setup()).Get()).exported);
  EXPECT_EQ(3u, more.setup->nextCalls) << "one call past the end, not two billion";

  // An enumerator that answers its end with S_OK and nothing fetched: the
  // loop skips those rounds until the source's count is reached.
  HostSet quiet = MakeHostSet(Lines(4));
  quiet.setup->endAnswersOk = true;
  quiet.setup->reportedCount = 9;
  EXPECT_EQ(4, RunExport(quiet.source.Get(), MakePreferences(Setup()).Get()).exported);
  EXPECT_EQ(9u, quiet.setup->nextCalls);
  EXPECT_EQ((std::vector<std::string>{"l0", "l1", "l2", "l3"}), Keys(ImportShapes(FileName())));
}

TEST_F(ExportTest, VertexCountsComeFromTheEnumeratorOnLinePathsOnly) {
  HostSet lines = MakeHostSet(Lines(2));
  lines.setup->maxVertexCount = 9;
  lines.setup->plinesFailed = 4;
  ExportResult result = RunExport(lines.source.Get(), MakePreferences(Setup()).Get());
  EXPECT_EQ(9, result.maxVertex);
  EXPECT_EQ(4, result.plinesFailed);

  HostSet points = MakeHostSet({PointShape(1, 2, "p")});
  points.setup->maxVertexCount = 9;
  result = RunExport(points.source.Get(), MakePreferences(Setup(kGafPointObject)).Get());
  EXPECT_EQ(1, result.exported);
  EXPECT_EQ(-7, result.maxVertex);
  EXPECT_EQ(-7, result.plinesFailed);

  // The library's own enumerator writes nothing: both counts come out 0.
  const std::string copy = dir_.File("copy.gaf");
  auto source = ImportSource(FileName());
  PreferencesSetup write = Setup(kGafPointObject);
  write.fileName = copy;
  write.objectType = kGafPolylineObject;
  result = RunExport(source.Get(), MakePreferences(write).Get());
  EXPECT_EQ(eKroOk, result.code);
  EXPECT_EQ(0, result.exported);
  EXPECT_EQ(0, result.maxVertex);
  EXPECT_EQ(0, result.plinesFailed);
}

TEST_F(ExportTest, PreferencesAreReadInTheirOrder) {
  HostSet set = MakeHostSet(Lines(1));
  auto preferences = HostPreferences::Make(MakePreferences(Setup()));
  EKroErrCode code = eKroUnknownErr;
  preferences->SetCoordSysCode(Wide("LL").Get(), &code);
  preferences->SetEllipsoidCode(Wide("E").Get(), &code);
  EXPECT_EQ(eKroOk, RunExport(set.source.Get(), preferences.Get()).code);
  const std::vector<std::string> expected = {
      "GetGafFileName", "GetCoordSysCode", "GetOpenStatus", "get_UseKif", "GetFileDescription", "GetCoordPrecision",
      "GetCoordSysDescription", "GetCoordSysGroupCode", "GetCoordSysProjectionCode", "GetCoordSysUnitCode",
      "GetCoordSysOriginLatitude", "GetCoordSysOriginLongitude", "GetCoordSysXOffset", "GetCoordSysYOffset",
      "GetCoordSysScaleReduction", "GetCoordSysUnitScale", "GetCoordSysMapScale", "GetCoordSysScale",
      "GetCoordSysProjectionParameters", "GetDatumCode", "GetEllipsoidCode", "GetEllipsoidDescription",
      "GetEllipsoidEquatorialRadius", "GetEllipsoidPolarRadius", "GetObjectType"};
  EXPECT_EQ(expected, preferences->calls);
}

TEST_F(ExportTest, AppendingNeedsASetWrittenWithSixtyFourBits) {
  for (SHORT precision : {SHORT{32}, SHORT{64}}) {
    PreferencesSetup first = Setup();
    first.precision = precision;
    ASSERT_EQ(eKroOk, ExportShapes(Lines(2), first).code);
    PreferencesSetup append = first;
    append.openMode = kGafOpenAppend;
    append.description = std::string("ignored");
    const ExportResult result = ExportShapes(Lines(2, 2), append);
    if (precision == 32) {
      EXPECT_EQ(S_FALSE, result.hr);
      EXPECT_EQ(eKroUnableToOpen, result.code);
      EXPECT_EQ((std::vector<std::string>{"l0", "l1"}), Keys(ImportShapes(FileName())));
    } else {
      EXPECT_EQ(eKroOk, result.code);
      EXPECT_EQ(2, result.exported);
      EXPECT_EQ((std::vector<std::string>{"l0", "l1", "l2", "l3"}), Keys(ImportShapes(FileName())));
    }
  }
}

TEST_F(ExportTest, AppendingOntoASetThatLostItsIndexesRebuildsThemFirst) {
  PreferencesSetup first = Setup();
  first.precision = 64;
  ASSERT_EQ(eKroOk, ExportShapes(Lines(3), first).code);
  ASSERT_EQ(0, std::remove(dir_.File("export.sif").c_str()));
  PreferencesSetup append = first;
  append.openMode = kGafOpenAppend;
  append.useKif = -1;  // the set never had a key index: it gets one with every object
  const ExportResult result = ExportShapes(Lines(2, 3), append);
  EXPECT_EQ(eKroOk, result.code);
  EXPECT_EQ(2, result.exported);
  EXPECT_TRUE(FileExists(dir_.File("export.kif")));
  const std::vector<std::string> all = {"l0", "l1", "l2", "l3", "l4"};
  EXPECT_EQ(all, Keys(ImportShapes(FileName())));
  // Only a box that does not cover the whole extent goes through the index.
  BoundingBoxNode box{0.5, 0, 10, 1};
  EXPECT_EQ(all, Keys(ImportShapes(FileName(), kGafReadPartial, &box)));
}

TEST_F(ExportTest, TheExportObjectAnswersItsOwnInterfaceOnly) {
  ComPtr<IKroGafExport> exporter;
  ASSERT_EQ(S_OK, CreateKroGafExport(IID_IKroGafExport, exporter.PutVoid()));
  ComPtr<ISupportErrorInfo> errorInfo;
  ASSERT_EQ(S_OK, exporter.As(&errorInfo));
  EXPECT_EQ(S_OK, errorInfo->InterfaceSupportsErrorInfo(IID_IKroGafExport));
  EXPECT_EQ(S_FALSE, errorInfo->InterfaceSupportsErrorInfo(IID_IKroGafImport));
  ComPtr<IKroGafImport> importer;
  EXPECT_EQ(E_NOINTERFACE, exporter.As(&importer));
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_NOINTERFACE, CreateKroGafExport(IID_IKroGafImport, &object));
  EXPECT_EQ(nullptr, object);
  EXPECT_EQ(E_POINTER, CreateKroGafExport(IID_IKroGafExport, nullptr));
  errorInfo.Reset();
  EXPECT_EQ(0u, exporter.Detach()->Release());
}

TEST_F(ExportTest, AnOrderedExportWritesNewSetsInMapOrderAndRefusesEveryOtherMode) {
  ASSERT_EQ(eKroOk, ExportShapes(Lines(3), Setup()).code);
  const Bytes before = ReadFileBytes(FileName());
  for (EKroGafOpenFlags mode : {kGafOpenAppend, kGafOpenUpdate, kGafReadOnly}) {
    HostSet set = MakeHostSet(Lines(2, 10));
    PreferencesSetup setup = Setup();
    setup.openMode = mode;
    const ExportResult refused =
        RunExport(set.source.Get(), MakePreferences(setup).Get(), nullptr, &CreateKroGafOrderedExport);
    EXPECT_EQ(S_FALSE, refused.hr) << mode;
    EXPECT_EQ(eKroInvalidParameter, refused.code) << mode;
    EXPECT_EQ(0u, set.setup->nextCalls) << mode;
    EXPECT_EQ(before, ReadFileBytes(FileName())) << mode;
  }

  // Lines far apart, given against map order: the set holds them in it.
  std::vector<HostShape> shapes;
  for (double x : {1000.0, -1000.0, 0.0, 500.0}) shapes.push_back(LineShape({{x, x}, {x + 1, x + 1}}, std::to_string(x)));
  HostSet set = MakeHostSet(shapes);
  auto progress = HostProgress::Make();
  progress->abortAtInquiry = 4;
  const ExportResult ordered =
      RunExport(set.source.Get(), MakePreferences(Setup()).Get(), progress.Get(), &CreateKroGafOrderedExport);
  EXPECT_EQ(S_OK, ordered.hr);
  EXPECT_EQ(eKroOk, ordered.code);
  EXPECT_EQ(3, ordered.exported) << "an abort keeps what was staged";
  EXPECT_EQ((std::vector<std::string>{"-1000.000000", "0.000000", "1000.000000"}), Keys(ImportShapes(FileName())));
}

// A file-size limit stands for a full disk (SIGXFSZ ignored): the export
// says so, and neither a created set nor an appended one is left changed. The
// ordered export's new set replaces the old one only when it is whole.
TEST_F(ExportTest, AFullDiskIsReportedAndLeavesNoTrace) {
  struct Case {
    EKroGafOpenFlags mode;
    rlim_t limit;
    ExportCreator create = nullptr;
  };
  ASSERT_EQ(eKroOk, ExportShapes(Lines(300), [&] {
                      PreferencesSetup setup = Setup();
                      setup.precision = 64;
                      return setup;
                    }()).code);
  const std::string sif = dir_.File("export.sif");
  const Bytes data = ReadFileBytes(FileName());
  const Bytes index = ReadFileBytes(sif);
  for (const Case& c : {Case{kGafOpenAppend, data.size() + 5000}, Case{kGafOpenAppend, data.size() + 60000},
                        Case{kGafCreateNew, 3000}, Case{kGafCreateNew, 40000},
                        Case{kGafCreateNew, data.size() + 20000, &CreateKroGafOrderedExport},
                        Case{kGafCreateNew, 150000, &CreateKroGafOrderedExport}}) {
    WriteFileBytes(FileName(), data);
    WriteFileBytes(sif, index);
    const pid_t child = fork();
    if (child == 0) {
      signal(SIGXFSZ, SIG_IGN);
      const rlimit fileSize{c.limit, c.limit};
      setrlimit(RLIMIT_FSIZE, &fileSize);
      PreferencesSetup setup = Setup();
      setup.openMode = c.mode;
      setup.precision = 64;
      HostSet set = MakeHostSet(Lines(5000, 300));
      const ExportResult result = RunExport(set.source.Get(), MakePreferences(setup).Get(), nullptr, c.create);
      const bool staged = c.create != nullptr;
      _exit(result.hr == S_FALSE && result.code == eKroWriteError && (staged || result.exported < 5000) ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "limit " << c.limit << ": not reported";
    if (c.mode == kGafOpenAppend || c.create != nullptr) {
      EXPECT_EQ(data, ReadFileBytes(FileName())) << "limit " << c.limit;
      EXPECT_EQ(index, ReadFileBytes(sif)) << "limit " << c.limit;
    } else {
      EXPECT_FALSE(FileExists(FileName()) || FileExists(sif)) << "limit " << c.limit;
    }
  }
}

}  // namespace
}  // namespace kro::test
