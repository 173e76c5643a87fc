#include "component/CGafPreferences.h"

#include <gtest/gtest.h>

#include <vector>

#include "ComponentTestSupport.h"
#include "com/ComCreate.h"
#include "component/ComponentClasses.h"

namespace kro {
namespace {

using TextSetter = HRESULT (IKroGafPreferences::*)(BSTR, EKroErrCode*);
using TextGetter = HRESULT (IKroGafPreferences::*)(BSTR*);
using NumberSetter = HRESULT (IKroGafPreferences::*)(double, EKroErrCode*);
using NumberGetter = HRESULT (IKroGafPreferences::*)(double*);

struct TextProperty {
  const char* name;
  TextSetter set;
  TextGetter get;
};

struct NumberProperty {
  const char* name;
  NumberSetter set;
  NumberGetter get;
  double GafCoordSys::*field;  // where the record keeps its default
};

#define KRO_TEXT(Name) \
  TextProperty { #Name, &IKroGafPreferences::Set##Name, &IKroGafPreferences::Get##Name }
#define KRO_NUMBER(Name, field) \
  NumberProperty { #Name, &IKroGafPreferences::Set##Name, &IKroGafPreferences::Get##Name, &GafCoordSys::field }

// The coordinate-system, datum and ellipsoid texts share one rule.
const std::vector<TextProperty> kMetadataTexts = {
    KRO_TEXT(CoordSysCode),  KRO_TEXT(CoordSysDescription), KRO_TEXT(CoordSysGroupCode),
    KRO_TEXT(CoordSysProjectionCode), KRO_TEXT(CoordSysUnitCode), KRO_TEXT(DatumCode),
    KRO_TEXT(DatumDescription), KRO_TEXT(EllipsoidCode), KRO_TEXT(EllipsoidDescription)};

const std::vector<NumberProperty> kNumbers = {
    KRO_NUMBER(CoordSysOriginLongitude, originLongitude),
    KRO_NUMBER(CoordSysOriginLatitude, originLatitude),
    KRO_NUMBER(CoordSysXOffset, xOffset),
    KRO_NUMBER(CoordSysYOffset, yOffset),
    KRO_NUMBER(CoordSysScaleReduction, scaleReduction),
    KRO_NUMBER(CoordSysUnitScale, unitScale),
    KRO_NUMBER(CoordSysMapScale, mapScale),
    KRO_NUMBER(CoordSysScale, scale),
    KRO_NUMBER(DatumDeltaX, datumDeltaX),
    KRO_NUMBER(DatumDeltaY, datumDeltaY),
    KRO_NUMBER(DatumDeltaZ, datumDeltaZ),
    KRO_NUMBER(DatumRotationX, datumRotationX),
    KRO_NUMBER(DatumRotationY, datumRotationY),
    KRO_NUMBER(DatumRotationZ, datumRotationZ),
    KRO_NUMBER(DatumBWScaleFactor, datumBWScaleFactor),
    KRO_NUMBER(EllipsoidEquatorialRadius, ellipsoidEquatorialRadius),
    KRO_NUMBER(EllipsoidPolarRadius, ellipsoidPolarRadius)};

#undef KRO_TEXT
#undef KRO_NUMBER

class Preferences : public ComponentTest {
 protected:
  void SetUp() override {
    ComponentTest::SetUp();
    ASSERT_EQ(CreateKroGafPreferences(IID_IKroGafPreferences, prefs_.PutVoid()), S_OK);
  }
  void TearDown() override {
    prefs_.Reset();
    ComponentTest::TearDown();
  }

  std::string Read(TextGetter get) {
    ScopedBstr out;
    EXPECT_EQ((prefs_.Get()->*get)(out.Put()), S_OK);
    return Utf8(out.Get());
  }
  // Sets a text and returns the status; the code comes back through `code`.
  HRESULT Write(TextSetter set, const std::string& utf8, EKroErrCode* code) {
    return (prefs_.Get()->*set)(Wide(utf8).Get(), code);
  }
  std::string FileName() { return Read(&IKroGafPreferences::GetGafFileName); }
  SHORT Precision() {
    SHORT value = 0;
    EXPECT_EQ(prefs_->GetCoordPrecision(&value), S_OK);
    return value;
  }

  ComPtr<IKroGafPreferences> prefs_;
};

TEST_F(Preferences, FreshObjectHoldsTheDocumentedStartValues) {
  EXPECT_EQ(Precision(), 32);
  EGafObjectType type = kGafPointObject;
  EXPECT_EQ(prefs_->GetObjectType(&type), S_OK);
  EXPECT_EQ(type, kGafUndefinedObject);
  EKroGafOpenFlags mode = kGafReadOnly;
  EXPECT_EQ(prefs_->GetOpenStatus(&mode), S_OK);
  EXPECT_EQ(mode, kGafUnknownStatus);
  LONG useKif = 5;
  EXPECT_EQ(prefs_->get_UseKif(&useKif), S_OK);
  EXPECT_EQ(useKif, 0);
  EXPECT_EQ(FileName(), "<null>");
  EXPECT_EQ(Read(&IKroGafPreferences::GetFileDescription), "<null>");
  for (const TextProperty& text : kMetadataTexts) EXPECT_EQ(Read(text.get), "<null>") << text.name;
}

TEST_F(Preferences, NumbersStartAtTheCoordinateSystemRecordDefaults) {
  const GafCoordSys defaults;
  for (const NumberProperty& number : kNumbers) {
    double value = -12345.0;
    EXPECT_EQ((prefs_.Get()->*number.get)(&value), S_OK);
    EXPECT_EQ(value, defaults.*number.field) << number.name;
  }
  SHORT method = -1;
  EXPECT_EQ(prefs_->GetDatumConversionMethod(&method), S_OK);
  EXPECT_EQ(method, defaults.datumConversionMethod);
  double parameters[kProjectionParameterCount];
  EXPECT_EQ(prefs_->GetCoordSysProjectionParameters(parameters), S_OK);
  for (int i = 0; i < kProjectionParameterCount; ++i) EXPECT_EQ(parameters[i], defaults.projectionParameters[i]);
  EXPECT_EQ(defaults.ellipsoidEquatorialRadius, 6378137.0) << "the defaults describe WGS84";
}

TEST_F(Preferences, FileNameIsLimitedTo256BytesAfterConversion) {
  EKroErrCode code = eKroOk;
  const std::string accepted = Repeat("a", 256);
  EXPECT_EQ(Write(&IKroGafPreferences::SetGafFileName, accepted, &code), S_OK);
  EXPECT_EQ(code, eKroOk);
  EXPECT_EQ(FileName(), accepted);

  EXPECT_EQ(Write(&IKroGafPreferences::SetGafFileName, Repeat("b", 257), &code), S_FALSE);
  EXPECT_EQ(code, eKroInvalidFileName);
  EXPECT_EQ(FileName(), accepted) << "a refused name leaves the old one";

  // Counted in UTF-8 bytes: 128 two-byte characters fit, 85 three-byte
  // characters and two more bytes (87 wide characters) do not.
  const std::string twoByte = Repeat("\xC3\xBC", 128);
  EXPECT_EQ(Write(&IKroGafPreferences::SetGafFileName, twoByte, &code), S_OK);
  EXPECT_EQ(FileName(), twoByte);
  EXPECT_EQ(Write(&IKroGafPreferences::SetGafFileName, Repeat("\xE2\x82\xAC", 85) + "ab", &code), S_FALSE);
  EXPECT_EQ(code, eKroInvalidFileName);
  EXPECT_EQ(FileName(), twoByte);
}

TEST_F(Preferences, NullFileNameIsRefusedAsOutOfMemoryWithCode30) {
  EKroErrCode code = eKroOk;
  ASSERT_EQ(Write(&IKroGafPreferences::SetGafFileName, "set.gaf", &code), S_OK);
  EXPECT_EQ(prefs_->SetGafFileName(nullptr, &code), E_OUTOFMEMORY);
  EXPECT_EQ(code, eKroUnknownErr);
  EXPECT_EQ(FileName(), "set.gaf");
  EXPECT_EQ(Write(&IKroGafPreferences::SetGafFileName, "other.gaf", nullptr), E_POINTER);
  EXPECT_EQ(FileName(), "set.gaf");
}

TEST_F(Preferences, PrecisionAcceptsOnly32And64) {
  EKroErrCode code = eKroOk;
  EXPECT_EQ(prefs_->SetCoordPrecision(48, &code), S_FALSE);
  EXPECT_EQ(code, eKroInvalidPrecision);
  EXPECT_EQ(Precision(), 32);
  EXPECT_EQ(prefs_->SetCoordPrecision(64, &code), S_OK);
  EXPECT_EQ(code, eKroOk);
  EXPECT_EQ(prefs_->SetCoordPrecision(-32, &code), S_FALSE);
  EXPECT_EQ(Precision(), 64);
  EXPECT_EQ(prefs_->SetCoordPrecision(32, nullptr), E_POINTER);
  EXPECT_EQ(Precision(), 64);
}

TEST_F(Preferences, OpenStatusObjectTypeAndUseKifStoreAnyValue) {
  EKroErrCode code = eKroUnknownErr;
  EXPECT_EQ(prefs_->SetOpenStatus(static_cast<EKroGafOpenFlags>(99), &code), S_OK);
  EXPECT_EQ(code, eKroOk);
  EKroGafOpenFlags mode = kGafUnknownStatus;
  EXPECT_EQ(prefs_->GetOpenStatus(&mode), S_OK);
  EXPECT_EQ(mode, 99);

  code = eKroUnknownErr;
  EXPECT_EQ(prefs_->SetObjectType(static_cast<EGafObjectType>(1), &code), S_OK);
  EXPECT_EQ(code, eKroOk);
  EGafObjectType type = kGafUndefinedObject;
  EXPECT_EQ(prefs_->GetObjectType(&type), S_OK);
  EXPECT_EQ(type, 1);

  EXPECT_EQ(prefs_->put_UseKif(-1), S_OK);
  LONG useKif = 0;
  EXPECT_EQ(prefs_->get_UseKif(&useKif), S_OK);
  EXPECT_EQ(useKif, -1);

  EXPECT_EQ(prefs_->SetOpenStatus(kGafReadOnly, nullptr), E_POINTER);
  EXPECT_EQ(prefs_->SetObjectType(kGafPointObject, nullptr), E_POINTER);
  EXPECT_EQ(prefs_->GetOpenStatus(&mode), S_OK);
  EXPECT_EQ(mode, 99) << "a setter without a code pointer stores nothing";
}

TEST_F(Preferences, NullDescriptionChangesNothingButEmptyDescriptionIsStored) {
  EXPECT_EQ(prefs_->SetFileDescription(nullptr), S_OK);
  EXPECT_EQ(Read(&IKroGafPreferences::GetFileDescription), "<null>");
  EXPECT_EQ(prefs_->SetFileDescription(Wide("").Get()), S_OK);
  EXPECT_EQ(Read(&IKroGafPreferences::GetFileDescription), "");
  EXPECT_EQ(prefs_->SetFileDescription(Wide("Rivers \xE2\x80\x93 2024").Get()), S_OK);
  EXPECT_EQ(prefs_->SetFileDescription(nullptr), S_OK);
  EXPECT_EQ(Read(&IKroGafPreferences::GetFileDescription), "Rivers \xE2\x80\x93 2024");
}

TEST_F(Preferences, SearchMethodIsAcceptedAndNeverReported) {
  EXPECT_EQ(prefs_->SetSearchMethod(kSpatialIndexSearch), S_OK);
  EKroSearchMethod method = kKeyIndexSearch;
  EXPECT_EQ(prefs_->GetSearchMethod(&method), S_OK);
  EXPECT_EQ(method, kKeyIndexSearch);
  EXPECT_EQ(prefs_->GetSearchMethod(nullptr), S_OK);
}

TEST_F(Preferences, MetadataTextsRoundTripWithoutLengthLimitAndRefuseNull) {
  // Distinct values first, so that a setter wired to the wrong field shows.
  for (size_t i = 0; i < kMetadataTexts.size(); ++i) {
    EKroErrCode code = eKroUnknownErr;
    const std::string value = kMetadataTexts[i].name + Repeat("\xE2\x82\xAC", 100 * i);
    EXPECT_EQ(Write(kMetadataTexts[i].set, value, &code), S_OK) << kMetadataTexts[i].name;
    EXPECT_EQ(code, eKroOk);
  }
  for (size_t i = 0; i < kMetadataTexts.size(); ++i) {
    const TextProperty& text = kMetadataTexts[i];
    const std::string stored = text.name + Repeat("\xE2\x82\xAC", 100 * i);
    EXPECT_EQ(Read(text.get), stored) << text.name;
    EKroErrCode code = eKroOk;
    EXPECT_EQ((prefs_.Get()->*text.set)(nullptr, &code), E_OUTOFMEMORY) << text.name;
    EXPECT_EQ(code, eKroUnknownErr);
    EXPECT_EQ(Write(text.set, "ignored", nullptr), E_POINTER);
    EXPECT_EQ(Read(text.get), stored) << text.name << " must survive refused setters";
    EXPECT_EQ(Write(text.set, "", &code), S_OK);
    EXPECT_EQ(Read(text.get), "") << "empty text is kept as empty, not absent";
  }
}

TEST_F(Preferences, EveryNumberHasItsOwnField) {
  for (size_t i = 0; i < kNumbers.size(); ++i) {
    EKroErrCode code = eKroUnknownErr;
    EXPECT_EQ((prefs_.Get()->*kNumbers[i].set)(1000.5 + static_cast<double>(i), &code), S_OK);
    EXPECT_EQ(code, eKroOk);
  }
  EKroErrCode code = eKroUnknownErr;
  EXPECT_EQ(prefs_->SetDatumConversionMethod(-7, &code), S_OK);
  EXPECT_EQ(code, eKroOk);
  for (size_t i = 0; i < kNumbers.size(); ++i) {
    EXPECT_EQ((prefs_.Get()->*kNumbers[i].set)(-1.0, nullptr), E_POINTER);
    double value = 0;
    EXPECT_EQ((prefs_.Get()->*kNumbers[i].get)(&value), S_OK);
    EXPECT_EQ(value, 1000.5 + static_cast<double>(i)) << kNumbers[i].name;
  }
  SHORT method = 0;
  EXPECT_EQ(prefs_->GetDatumConversionMethod(&method), S_OK);
  EXPECT_EQ(method, -7);
}

TEST_F(Preferences, ProjectionParametersCopyExactly24Doubles) {
  double in[kProjectionParameterCount];
  for (int i = 0; i < kProjectionParameterCount; ++i) in[i] = i * 1.25 - 3;
  EKroErrCode code = eKroUnknownErr;
  EXPECT_EQ(prefs_->SetCoordSysProjectionParameters(in, &code), S_OK);
  EXPECT_EQ(code, eKroOk);
  std::vector<double> out(kProjectionParameterCount + 2, 99.0);
  EXPECT_EQ(prefs_->GetCoordSysProjectionParameters(out.data()), S_OK);
  for (int i = 0; i < kProjectionParameterCount; ++i) EXPECT_EQ(out[i], in[i]) << i;
  EXPECT_EQ(out[kProjectionParameterCount], 99.0) << "nothing is written past the 24th";

  code = eKroOk;
  EXPECT_EQ(prefs_->SetCoordSysProjectionParameters(nullptr, &code), E_POINTER);
  EXPECT_EQ(code, eKroUnknownErr);
  EXPECT_EQ(prefs_->SetCoordSysProjectionParameters(in, nullptr), E_POINTER);
  EXPECT_EQ(prefs_->GetCoordSysProjectionParameters(out.data()), S_OK);
  EXPECT_EQ(out[23], in[23]);
}

TEST_F(Preferences, GettersRefuseNullOutPointers) {
  EXPECT_EQ(prefs_->GetGafFileName(nullptr), E_POINTER);
  EXPECT_EQ(prefs_->GetFileDescription(nullptr), E_POINTER);
  EXPECT_EQ(prefs_->GetCoordPrecision(nullptr), E_POINTER);
  EXPECT_EQ(prefs_->GetOpenStatus(nullptr), E_POINTER);
  EXPECT_EQ(prefs_->GetObjectType(nullptr), E_POINTER);
  EXPECT_EQ(prefs_->get_UseKif(nullptr), E_POINTER);
  EXPECT_EQ(prefs_->GetCoordSysProjectionParameters(nullptr), E_POINTER);
  EXPECT_EQ(prefs_->GetDatumConversionMethod(nullptr), E_POINTER);
  for (const TextProperty& text : kMetadataTexts) EXPECT_EQ((prefs_.Get()->*text.get)(nullptr), E_POINTER);
  for (const NumberProperty& number : kNumbers) EXPECT_EQ((prefs_.Get()->*number.get)(nullptr), E_POINTER);
}

TEST_F(Preferences, SurrogatePairsAndInvalidWideTextConvertToUtf8) {
  const char16_t wide[] = {u'M', 0xD83D, 0xDDFA, u'x', 0xDC00, 0};
  ScopedBstr text(SysAllocString(wide));
  EKroErrCode code = eKroUnknownErr;
  EXPECT_EQ(prefs_->SetGafFileName(text.Get(), &code), S_OK);
  EXPECT_EQ(FileName(), "M\xF0\x9F\x97\xBAx\xEF\xBF\xBD");
}

}  // namespace
}  // namespace kro
