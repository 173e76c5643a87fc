// The import driver: Initialize and what it keeps, Import and the source it
// hands out, and the getters.
#include <gtest/gtest.h>
#include <unistd.h>

#include "com/ModuleLock.h"
#include "drivers/DriverClasses.h"
#include "drivers/DriverTestSupport.h"
#include "support/TempDir.h"

namespace kro::test {
namespace {

class ImportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    moduleLocks_ = ModuleLockCount();
    ASSERT_EQ(S_OK, CreateKroGafImport(IID_IKroGafImport, importer_.PutVoid()));
  }
  void TearDown() override {
    if (importer_) {
      EXPECT_EQ(0u, importer_.Detach()->Release());
    }
    EXPECT_EQ(0, LiveHostObjects());
    EXPECT_EQ(moduleLocks_, ModuleLockCount());
  }

  // Exports `count` polylines to `name`, with a coordinate-system code when
  // one is given.
  std::string MakeSet(const std::string& name, int count, const char* coordSysCode = nullptr, LONG useKif = -1) {
    std::vector<HostShape> shapes;
    for (int i = 0; i < count; ++i) shapes.push_back(LineShape({{1.0 * i, 1}, {i + 0.5, 2}}, "k" + std::to_string(i)));
    HostSet set = MakeHostSet(shapes);
    PreferencesSetup setup;
    setup.fileName = dir_.File(name);
    setup.useKif = useKif;
    auto preferences = MakePreferences(setup);
    EKroErrCode code = eKroUnknownErr;
    if (coordSysCode != nullptr) preferences->SetCoordSysCode(Wide(coordSysCode).Get(), &code);
    EXPECT_EQ(eKroOk, RunExport(set.source.Get(), preferences.Get()).code);
    return dir_.File(name);
  }

  ComPtr<IKroGafPreferences> ReadPreferences(const std::string& fileName, EKroGafOpenFlags mode = kGafReadOnly) {
    PreferencesSetup setup;
    setup.fileName = fileName;
    setup.openMode = mode;
    return MakePreferences(setup);
  }

  HRESULT Initialize(const std::string& fileName, EKroErrCode& code, EKroGafOpenFlags mode = kGafReadOnly) {
    return importer_->Initialize(ReadPreferences(fileName, mode).Get(), &code);
  }

  std::string CoordSysName() {
    ScopedBstr name;
    EXPECT_EQ(S_OK, importer_->GetCoordSysName(name.Put()));
    return Narrow(name.Get()).value_or("<null>");
  }

  TempDir dir_;
  ComPtr<IKroGafImport> importer_;
  LONG moduleLocks_ = 0;
};

TEST_F(ImportTest, AFreshObjectAnswersFromTheRecordDefaultsOnly) {
  BoundingBoxNode box{7, 7, 7, 7};
  EXPECT_EQ(S_FALSE, importer_->GetBoundingBox(&box));
  EXPECT_EQ(7, box.xMin);
  ScopedBstr text;
  EXPECT_EQ(S_FALSE, importer_->GetCoordSysName(text.Put()));
  LONG count = -1;
  EXPECT_EQ(S_FALSE, importer_->GetNumberOfObjects(&count));
  EXPECT_EQ(-1, count);
  LONG hasMetaData = -1;
  EXPECT_EQ(S_OK, importer_->GafHasMetaData(&hasMetaData));
  EXPECT_EQ(0, hasMetaData);
  ASSERT_EQ(S_OK, importer_->GetCoordSysCode(text.Put()));
  EXPECT_EQ("LL84", Narrow(text.Get()));
  ScopedBstr description;
  ASSERT_EQ(S_OK, importer_->GetEllipsoidMembers(text.Put(), description.Put(), &box.xMin, &box.xMax));
  EXPECT_EQ("WGS84", Narrow(text.Get()));
  EXPECT_EQ("", Narrow(description.Get()));
  EXPECT_EQ(6378137.0, box.xMin);
}

TEST_F(ImportTest, ImportBeforeInitializeHandsOutNothing) {
  auto preferences = ReadPreferences(dir_.File("none.gaf"));
  IKroGeometrySource* untouched = reinterpret_cast<IKroGeometrySource*>(0x1234);
  EKroErrCode code = eKroOk;
  EXPECT_EQ(S_FALSE, importer_->Import(preferences.Get(), nullptr, &untouched, &code));
  EXPECT_EQ(eKroUnknownErr, code);
  EXPECT_EQ(reinterpret_cast<IKroGeometrySource*>(0x1234), untouched);
  EXPECT_EQ(E_POINTER, importer_->Import(preferences.Get(), nullptr, &untouched, nullptr));
}

TEST_F(ImportTest, InitializeRefusesWhatItCannotRead) {
  EKroErrCode code = eKroOk;
  EXPECT_EQ(E_POINTER, importer_->Initialize(nullptr, nullptr));
  EXPECT_EQ(E_POINTER, importer_->Initialize(nullptr, &code));
  EXPECT_EQ(eKroUnknownErr, code);

  const std::string missing = dir_.File("missing.gaf");
  for (EKroGafOpenFlags mode : {kGafCreateNew, kGafOpenAppend, kGafOpenUpdate, kGafReadOnly}) {
    EXPECT_EQ(S_FALSE, Initialize(missing, code, mode));
    EXPECT_EQ(eKroInitializationFailed, code);
  }
  EXPECT_FALSE(FileExists(missing));
  EXPECT_FALSE(FileExists(dir_.File("missing.sif")));

  const std::string set = MakeSet("set.gaf", 2);
  ASSERT_EQ(0, ::unlink(dir_.File("set.sif").c_str()));
  EXPECT_EQ(S_FALSE, Initialize(set, code));
  EXPECT_EQ(eKroInitializationFailed, code);

  auto longName = HostPreferences::Make(ReadPreferences(set));
  longName->fileName = std::string(300, 'n') + ".gaf";
  EXPECT_EQ(S_FALSE, importer_->Initialize(longName.Get(), &code));
  EXPECT_EQ(eKroInitializationFailed, code);
  LONG count = 0;
  EXPECT_EQ(S_FALSE, importer_->GetNumberOfObjects(&count));
}

TEST_F(ImportTest, AMissingKeyIndexDoesNotMatter) {
  const std::string set = MakeSet("set.gaf", 3);
  ASSERT_EQ(0, ::unlink(dir_.File("set.kif").c_str()));
  EKroErrCode code = eKroUnknownErr;
  EXPECT_EQ(S_OK, Initialize(set, code));
  EXPECT_EQ(eKroOk, code);
  LONG count = 0;
  EXPECT_EQ(S_OK, importer_->GetNumberOfObjects(&count));
  EXPECT_EQ(3, count);
  EXPECT_EQ(3u, ImportShapes(set).size());
}

TEST_F(ImportTest, InitializeTakesCountBoxAndName) {
  const std::string set = MakeSet("set.gaf", 4, "UTM-17");
  EKroErrCode code = eKroUnknownErr;
  ASSERT_EQ(S_OK, Initialize(set, code));
  LONG count = 0;
  ASSERT_EQ(S_OK, importer_->GetNumberOfObjects(&count));
  EXPECT_EQ(4, count);
  BoundingBoxNode box{};
  ASSERT_EQ(S_OK, importer_->GetBoundingBox(&box));
  EXPECT_EQ(0, box.xMin);
  EXPECT_EQ(1, box.yMin);
  EXPECT_EQ(3.5, box.xMax);
  EXPECT_EQ(2, box.yMax);
  EXPECT_EQ("UTM-17", CoordSysName());
  // A failed Initialize keeps what the last good one took.
  EXPECT_EQ(S_FALSE, Initialize(dir_.File("missing.gaf"), code));
  ASSERT_EQ(S_OK, importer_->GetNumberOfObjects(&count));
  EXPECT_EQ(4, count);
}

TEST_F(ImportTest, MetadataOfAnEarlierSetStaysWhenTheNextHasNone) {
  const std::string withMetadata = MakeSet("a.gaf", 1, "UTM-17");
  const std::string without = MakeSet("b.gaf", 2);
  EKroErrCode code = eKroUnknownErr;
  ASSERT_EQ(S_OK, Initialize(withMetadata, code));
  LONG hasMetaData = 0;
  importer_->GafHasMetaData(&hasMetaData);
  EXPECT_EQ(1, hasMetaData);
  ASSERT_EQ(S_OK, Initialize(without, code));
  importer_->GafHasMetaData(&hasMetaData);
  EXPECT_EQ(0, hasMetaData);
  EXPECT_EQ("", CoordSysName());
  ScopedBstr text;
  ASSERT_EQ(S_OK, importer_->GetCoordSysCode(text.Put()));
  EXPECT_EQ("UTM-17", Narrow(text.Get()));
  LONG count = 0;
  importer_->GetNumberOfObjects(&count);
  EXPECT_EQ(2, count);
}

TEST_F(ImportTest, TheSourceCountsTheWholeFileWhateverTheBox) {
  const std::string set = MakeSet("set.gaf", 10);
  EKroErrCode code = eKroUnknownErr;
  ASSERT_EQ(S_OK, Initialize(set, code));
  BoundingBoxNode box{0, 0, 1.2, 5};
  const BoundingBoxNode copy = box;
  ComPtr<IKroGeometrySource> source;
  ASSERT_EQ(S_OK, importer_->Import(ReadPreferences(set, kGafReadPartial).Get(), &box, source.Put(), &code));
  EXPECT_EQ(eKroOk, code);
  EXPECT_EQ(copy.xMax, box.xMax);
  LONG count = 0;
  ASSERT_EQ(S_OK, source->GetNumberOfObjects(&count));
  EXPECT_EQ(10, count);
  ComPtr<IKroEnumGeometry> enumerator;
  ASSERT_EQ(S_OK, source->EnumGeometry(enumerator.Put()));
  IKroGeometry* objects[10];
  ULONG fetched = 0;
  ASSERT_EQ(S_OK, enumerator->Next(10, objects, &fetched));
  EXPECT_EQ(2u, fetched);
  for (ULONG i = 0; i < fetched; ++i) EXPECT_EQ(0u, objects[i]->Release());
  // The host holds the only reference to the source.
  EXPECT_EQ(0u, enumerator.Detach()->Release());
  EXPECT_EQ(0u, source.Detach()->Release());
}

TEST_F(ImportTest, ImportUsesItsOwnNameAndModeAndChecksNothingYet) {
  const std::string set = MakeSet("set.gaf", 3);
  const std::string other = MakeSet("other.gaf", 5);
  EKroErrCode code = eKroUnknownErr;
  ASSERT_EQ(S_OK, Initialize(set, code));
  ComPtr<IKroGeometrySource> source;
  ASSERT_EQ(S_OK, importer_->Import(ReadPreferences(other).Get(), nullptr, source.Put(), &code));
  EXPECT_EQ(5u, [&] {
    ComPtr<IKroEnumGeometry> enumerator;
    EXPECT_EQ(S_OK, source->EnumGeometry(enumerator.Put()));
    IKroGeometry* objects[8];
    ULONG fetched = 0;
    enumerator->Next(8, objects, &fetched);
    for (ULONG i = 0; i < fetched; ++i) objects[i]->Release();
    return fetched;
  }());
  // A mode the reader refuses only shows when an enumerator is asked for.
  ASSERT_EQ(S_OK, importer_->Import(ReadPreferences(set, kGafCreateNew).Get(), nullptr, source.Put(), &code));
  IKroEnumGeometry* enumerator = reinterpret_cast<IKroEnumGeometry*>(0x1);
  EXPECT_EQ(S_FALSE, source->EnumGeometry(&enumerator));
  EXPECT_EQ(nullptr, enumerator);

  PreferencesSetup noName;
  noName.fileName.reset();
  IKroGeometrySource* none = nullptr;
  EXPECT_EQ(S_FALSE, importer_->Import(MakePreferences(noName).Get(), nullptr, &none, &code));
  EXPECT_EQ(eKroInitializationFailed, code);
  EXPECT_EQ(nullptr, none);
  auto longName = HostPreferences::Make(ReadPreferences(set));
  longName->fileName = dir_.path() + "/" + std::string(260, 'n') + ".gaf";
  EXPECT_EQ(S_FALSE, importer_->Import(longName.Get(), nullptr, &none, &code));
  EXPECT_EQ(eKroInitializationFailed, code);
  EXPECT_EQ(nullptr, none);
  EXPECT_EQ(E_POINTER, importer_->Import(nullptr, nullptr, &none, &code));
  EXPECT_EQ(E_POINTER, importer_->Import(ReadPreferences(set).Get(), nullptr, nullptr, &code));
}

TEST_F(ImportTest, ObjectsThatCannotBeMadeAreFailures) {
  const std::string set = MakeSet("set.gaf", 1);
  auto preferences = ReadPreferences(set);
  EKroErrCode code = eKroUnknownErr;
  {
    NothrowNewFailure failure;
    EXPECT_EQ(E_POINTER, importer_->Initialize(preferences.Get(), &code));
  }
  ASSERT_EQ(S_OK, importer_->Initialize(preferences.Get(), &code));
  IKroGeometrySource* source = nullptr;
  {
    NothrowNewFailure failure;
    EXPECT_EQ(S_FALSE, importer_->Import(preferences.Get(), nullptr, &source, &code));
  }
  EXPECT_EQ(eKroInitializationFailed, code);
  EXPECT_EQ(nullptr, source);
}

TEST_F(ImportTest, GettersRefuseNullPointersAndBadIndexes) {
  double value = 42;
  EXPECT_EQ(E_INVALIDARG, importer_->GetCoordSysProjectionParameter(-1, &value));
  EXPECT_EQ(E_INVALIDARG, importer_->GetCoordSysProjectionParameter(24, &value));
  EXPECT_EQ(42, value);
  EXPECT_EQ(S_OK, importer_->GetCoordSysProjectionParameter(23, &value));
  EXPECT_EQ(E_POINTER, importer_->GetCoordSysProjectionParameter(0, nullptr));
  EXPECT_EQ(E_POINTER, importer_->GafHasMetaData(nullptr));
  EXPECT_EQ(E_POINTER, importer_->GetCoordSysCode(nullptr));
  EXPECT_EQ(E_POINTER, importer_->GetCoordSysOriginLatitude(nullptr));
  EXPECT_EQ(E_POINTER, importer_->GetCoordSysXYOffset(&value, nullptr));
  EXPECT_EQ(E_POINTER, importer_->GetCoordSysScales(&value, &value, nullptr, &value));
  BSTR text = nullptr;
  EXPECT_EQ(E_POINTER, importer_->GetDatumCodeAndDescription(&text, nullptr));
  EXPECT_EQ(nullptr, text);
  SHORT method = 0;
  EXPECT_EQ(E_POINTER, importer_->GetDatumDoubles(&value, &value, &value, &value, &value, &value, nullptr, &method));
  EXPECT_EQ(E_POINTER, importer_->GetEllipsoidMembers(&text, &text, &value, nullptr));
  EXPECT_EQ(nullptr, text);

  const std::string set = MakeSet("set.gaf", 1);
  EKroErrCode code = eKroUnknownErr;
  ASSERT_EQ(S_OK, Initialize(set, code));
  EXPECT_EQ(E_POINTER, importer_->GetBoundingBox(nullptr));
  EXPECT_EQ(E_POINTER, importer_->GetCoordSysName(nullptr));
  EXPECT_EQ(E_POINTER, importer_->GetNumberOfObjects(nullptr));
}

}  // namespace
}  // namespace kro::test
