// The coordinate-system record: built by the export from the preferences,
// stored with the set, handed back by the import getters.
#include <gtest/gtest.h>

#include "drivers/DriverClasses.h"
#include "drivers/DriverTestSupport.h"
#include "engine/datafile/GafCoordSys.h"
#include "support/TempDir.h"

namespace kro::test {
namespace {

// Everything the import getters report.
struct ImportedRecord {
  LONG hasMetaData = -1;
  std::string name;
  GafCoordSys record;
};

class CoordSysTest : public ::testing::Test {
 protected:
  ComPtr<IKroGafPreferences> Preferences() {
    PreferencesSetup setup;
    setup.fileName = dir_.File("set.gaf");
    return MakePreferences(setup);
  }

  void Export(IKroGafPreferences* preferences) {
    HostSet set = MakeHostSet({LineShape({{0, 0}, {1, 1}}, "line")});
    ASSERT_EQ(eKroOk, RunExport(set.source.Get(), preferences).code);
  }

  ImportedRecord Import() {
    ComPtr<IKroGafImport> importer;
    EXPECT_EQ(S_OK, CreateKroGafImport(IID_IKroGafImport, importer.PutVoid()));
    PreferencesSetup setup;
    setup.fileName = dir_.File("set.gaf");
    setup.openMode = kGafReadOnly;
    EKroErrCode code = eKroUnknownErr;
    EXPECT_EQ(S_OK, importer->Initialize(MakePreferences(setup).Get(), &code));
    ImportedRecord imported;
    GafCoordSys& r = imported.record;
    importer->GafHasMetaData(&imported.hasMetaData);
    ScopedBstr a, b;
    importer->GetCoordSysName(a.Put());
    imported.name = Narrow(a.Get()).value_or("<null>");
    const auto text = [](ScopedBstr& wide, char (&field)[kCoordSysTextSize]) {
      GafCoordSys::SetText(field, Narrow(wide.Get()).value_or("<null>").c_str());
    };
    importer->GetCoordSysCode(a.Put());
    text(a, r.code);
    importer->GetCoordSysDescription(a.Put());
    text(a, r.description);
    importer->GetCoordSysGroupCode(a.Put());
    text(a, r.groupCode);
    importer->GetCoordSysProjectionCode(a.Put());
    text(a, r.projectionCode);
    importer->GetCoordSysUnitCode(a.Put());
    text(a, r.unitCode);
    importer->GetCoordSysOriginLongitude(&r.originLongitude);
    importer->GetCoordSysOriginLatitude(&r.originLatitude);
    importer->GetCoordSysXYOffset(&r.xOffset, &r.yOffset);
    importer->GetCoordSysScales(&r.scaleReduction, &r.unitScale, &r.mapScale, &r.scale);
    for (int i = 0; i < kProjectionParameterCount; ++i) {
      EXPECT_EQ(S_OK, importer->GetCoordSysProjectionParameter(i, &r.projectionParameters[i]));
    }
    importer->GetDatumCodeAndDescription(a.Put(), b.Put());
    text(a, r.datumCode);
    text(b, r.datumDescription);
    importer->GetDatumDoubles(&r.datumDeltaX, &r.datumDeltaY, &r.datumDeltaZ, &r.datumRotationX, &r.datumRotationY,
                              &r.datumRotationZ, &r.datumBWScaleFactor, &r.datumConversionMethod);
    importer->GetEllipsoidMembers(a.Put(), b.Put(), &r.ellipsoidEquatorialRadius, &r.ellipsoidPolarRadius);
    text(a, r.ellipsoidCode);
    text(b, r.ellipsoidDescription);
    return imported;
  }

  TempDir dir_;
};

void ExpectDefaultDatum(const GafCoordSys& r) {
  const GafCoordSys defaults;
  EXPECT_STREQ(defaults.datumCode, r.datumCode);
  EXPECT_STREQ(defaults.datumDescription, r.datumDescription);
  EXPECT_EQ(defaults.datumDeltaX, r.datumDeltaX);
  EXPECT_EQ(defaults.datumBWScaleFactor, r.datumBWScaleFactor);
  EXPECT_EQ(defaults.datumConversionMethod, r.datumConversionMethod);
}

TEST_F(CoordSysTest, AllTwentyEightPropertiesTravelWithTheSet) {
  auto p = Preferences();
  EKroErrCode c = eKroUnknownErr;
  p->SetCoordSysCode(Wide("UTM-33N").Get(), &c);
  p->SetCoordSysDescription(Wide("Zone 33 north, Σ").Get(), &c);
  p->SetCoordSysGroupCode(Wide("UTM").Get(), &c);
  p->SetCoordSysProjectionCode(Wide("TM").Get(), &c);
  p->SetCoordSysUnitCode(Wide("METER").Get(), &c);
  p->SetCoordSysOriginLongitude(15, &c);
  p->SetCoordSysOriginLatitude(0.5, &c);
  p->SetCoordSysXOffset(500000, &c);
  p->SetCoordSysYOffset(-10, &c);
  p->SetCoordSysScaleReduction(0.9996, &c);
  p->SetCoordSysUnitScale(1.25, &c);
  p->SetCoordSysMapScale(2.5, &c);
  p->SetCoordSysScale(3.75, &c);
  double parameters[kProjectionParameterCount];
  for (int i = 0; i < kProjectionParameterCount; ++i) parameters[i] = 100.0 + i / 8.0;
  p->SetCoordSysProjectionParameters(parameters, &c);
  p->SetDatumCode(Wide("ETRS89").Get(), &c);
  p->SetDatumDescription(Wide("European Terrestrial Reference System").Get(), &c);
  p->SetDatumDeltaX(1.5, &c);
  p->SetDatumDeltaY(-2.5, &c);
  p->SetDatumDeltaZ(3.5, &c);
  p->SetDatumRotationX(0.125, &c);
  p->SetDatumRotationY(-0.25, &c);
  p->SetDatumRotationZ(0.375, &c);
  p->SetDatumBWScaleFactor(1.0000025, &c);
  p->SetDatumConversionMethod(9, &c);
  p->SetEllipsoidCode(Wide("GRS80").Get(), &c);
  p->SetEllipsoidDescription(Wide("Geodetic Reference System 1980").Get(), &c);
  p->SetEllipsoidEquatorialRadius(6378137, &c);
  p->SetEllipsoidPolarRadius(6356752.314140347, &c);
  Export(p.Get());

  const ImportedRecord imported = Import();
  const GafCoordSys& r = imported.record;
  EXPECT_EQ(1, imported.hasMetaData);
  EXPECT_EQ("UTM-33N", imported.name);
  EXPECT_STREQ("UTM-33N", r.code);
  EXPECT_STREQ("Zone 33 north, Σ", r.description);
  EXPECT_STREQ("UTM", r.groupCode);
  EXPECT_STREQ("TM", r.projectionCode);
  EXPECT_STREQ("METER", r.unitCode);
  EXPECT_EQ(15, r.originLongitude);
  EXPECT_EQ(0.5, r.originLatitude);
  EXPECT_EQ(500000, r.xOffset);
  EXPECT_EQ(-10, r.yOffset);
  EXPECT_EQ(0.9996, r.scaleReduction);
  EXPECT_EQ(1.25, r.unitScale);
  EXPECT_EQ(2.5, r.mapScale);
  EXPECT_EQ(3.75, r.scale);
  for (int i = 0; i < kProjectionParameterCount; ++i) EXPECT_EQ(parameters[i], r.projectionParameters[i]) << i;
  EXPECT_STREQ("ETRS89", r.datumCode);
  EXPECT_STREQ("European Terrestrial Reference System", r.datumDescription);
  EXPECT_EQ(1.5, r.datumDeltaX);
  EXPECT_EQ(-2.5, r.datumDeltaY);
  EXPECT_EQ(3.5, r.datumDeltaZ);
  EXPECT_EQ(0.125, r.datumRotationX);
  EXPECT_EQ(-0.25, r.datumRotationY);
  EXPECT_EQ(0.375, r.datumRotationZ);
  EXPECT_EQ(1.0000025, r.datumBWScaleFactor);
  EXPECT_EQ(9, r.datumConversionMethod);
  EXPECT_STREQ("GRS80", r.ellipsoidCode);
  EXPECT_STREQ("Geodetic Reference System 1980", r.ellipsoidDescription);
  EXPECT_EQ(6378137, r.ellipsoidEquatorialRadius);
  EXPECT_EQ(6356752.314140347, r.ellipsoidPolarRadius);
}

TEST_F(CoordSysTest, ACodeAloneKeepsTheDefaultDatumAndEllipsoid) {
  auto p = Preferences();
  EKroErrCode c = eKroUnknownErr;
  p->SetCoordSysCode(Wide("LOCAL").Get(), &c);
  // Without their codes these never reach the record.
  p->SetDatumDescription(Wide("ignored").Get(), &c);
  p->SetDatumDeltaX(99, &c);
  p->SetEllipsoidPolarRadius(1, &c);
  Export(p.Get());
  const ImportedRecord imported = Import();
  const GafCoordSys defaults;
  EXPECT_EQ(1, imported.hasMetaData);
  EXPECT_STREQ("LOCAL", imported.record.code);
  EXPECT_STREQ("", imported.record.description);
  ExpectDefaultDatum(imported.record);
  EXPECT_STREQ(defaults.ellipsoidCode, imported.record.ellipsoidCode);
  EXPECT_EQ(defaults.ellipsoidPolarRadius, imported.record.ellipsoidPolarRadius);
  EXPECT_EQ(defaults.unitScale, imported.record.unitScale);
}

TEST_F(CoordSysTest, AnEllipsoidWithoutADatumKeepsTheDefaultDatum) {
  auto p = Preferences();
  EKroErrCode c = eKroUnknownErr;
  p->SetCoordSysCode(Wide("LOCAL").Get(), &c);
  p->SetEllipsoidCode(Wide("BESSEL").Get(), &c);
  p->SetEllipsoidEquatorialRadius(6377397.155, &c);
  Export(p.Get());
  const ImportedRecord imported = Import();
  ExpectDefaultDatum(imported.record);
  EXPECT_STREQ("BESSEL", imported.record.ellipsoidCode);
  EXPECT_STREQ("", imported.record.ellipsoidDescription);
  EXPECT_EQ(6377397.155, imported.record.ellipsoidEquatorialRadius);
}

TEST_F(CoordSysTest, WithoutACodeNoMetadataIsWritten) {
  for (const char* code : {static_cast<const char*>(nullptr), ""}) {
    auto p = Preferences();
    EKroErrCode c = eKroUnknownErr;
    if (code != nullptr) p->SetCoordSysCode(Wide(code).Get(), &c);
    p->SetDatumCode(Wide("ETRS89").Get(), &c);
    Export(p.Get());
    const ImportedRecord imported = Import();
    EXPECT_EQ(0, imported.hasMetaData);
    EXPECT_EQ("", imported.name);
    EXPECT_STREQ("LL84", imported.record.code);
    EXPECT_STREQ("WGS84", imported.record.datumCode);
  }
}

TEST_F(CoordSysTest, LongTextsAreCutTo255BytesBetweenCharacters) {
  auto p = Preferences();
  EKroErrCode c = eKroUnknownErr;
  p->SetCoordSysCode(Wide(std::string(300, 'c')).Get(), &c);
  p->SetCoordSysDescription(Wide(std::string(254, 'd') + "é and more").Get(), &c);
  p->SetDatumCode(Wide(std::string(253, 'x') + "€").Get(), &c);
  Export(p.Get());
  const ImportedRecord imported = Import();
  EXPECT_EQ(std::string(255, 'c'), imported.record.code);
  EXPECT_EQ(std::string(255, 'c'), imported.name);
  EXPECT_EQ(std::string(254, 'd'), imported.record.description);
  EXPECT_EQ(std::string(253, 'x'), imported.record.datumCode);
}

}  // namespace
}  // namespace kro::test
