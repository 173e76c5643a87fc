#include "drivers/ExportSettings.h"

#include <initializer_list>
#include <utility>

#include "com/ScopedBstr.h"
#include "engine/datafile/GafCoordSys.h"

namespace kro {
namespace {

using TextGetter = HRESULT (IKroGafPreferences::*)(BSTR*);
using NumberGetter = HRESULT (IKroGafPreferences::*)(double*);

EKroErrCode ReadOptionalText(IKroGafPreferences* preferences, TextGetter getter, OptionalText& text) {
  ScopedBstr wide;
  (preferences->*getter)(wide.Put());
  return BstrToOptionalText(wide.Get(), &text) == S_OK ? eKroOk : eKroOutOfMemory;
}

// Reads a text property into a record field; an absent text stores "".
EKroErrCode ReadField(IKroGafPreferences* preferences, TextGetter getter, char (&field)[kCoordSysTextSize]) {
  OptionalText text;
  const EKroErrCode result = ReadOptionalText(preferences, getter, text);
  if (result == eKroOk) GafCoordSys::SetText(field, text ? text->c_str() : "");
  return result;
}

// Reads the code that opens a group of the record (datum, ellipsoid); the
// field changes only when the preferences have the code, and `present` says
// whether they do.
EKroErrCode ReadGroupCode(IKroGafPreferences* preferences, TextGetter getter, char (&field)[kCoordSysTextSize],
                          bool& present) {
  OptionalText text;
  const EKroErrCode result = ReadOptionalText(preferences, getter, text);
  present = result == eKroOk && text.has_value();
  if (present) GafCoordSys::SetText(field, text->c_str());
  return result;
}

void ReadNumbers(IKroGafPreferences* preferences, std::initializer_list<std::pair<NumberGetter, double*>> numbers) {
  for (const auto& [getter, value] : numbers) (preferences->*getter)(value);
}

EKroErrCode ReadCoordSysFields(IKroGafPreferences* p, GafCoordSys& r) {
  EKroErrCode result = ReadField(p, &IKroGafPreferences::GetCoordSysDescription, r.description);
  if (result == eKroOk) result = ReadField(p, &IKroGafPreferences::GetCoordSysGroupCode, r.groupCode);
  if (result == eKroOk) result = ReadField(p, &IKroGafPreferences::GetCoordSysProjectionCode, r.projectionCode);
  if (result == eKroOk) result = ReadField(p, &IKroGafPreferences::GetCoordSysUnitCode, r.unitCode);
  if (result != eKroOk) return result;
  ReadNumbers(p, {{&IKroGafPreferences::GetCoordSysOriginLatitude, &r.originLatitude},
                  {&IKroGafPreferences::GetCoordSysOriginLongitude, &r.originLongitude},
                  {&IKroGafPreferences::GetCoordSysXOffset, &r.xOffset},
                  {&IKroGafPreferences::GetCoordSysYOffset, &r.yOffset},
                  {&IKroGafPreferences::GetCoordSysScaleReduction, &r.scaleReduction},
                  {&IKroGafPreferences::GetCoordSysUnitScale, &r.unitScale},
                  {&IKroGafPreferences::GetCoordSysMapScale, &r.mapScale},
                  {&IKroGafPreferences::GetCoordSysScale, &r.scale}});
  p->GetCoordSysProjectionParameters(r.projectionParameters);
  return eKroOk;
}

// The datum group is taken whole or not at all: without a datum code the
// record keeps its default datum.
EKroErrCode ReadDatum(IKroGafPreferences* p, GafCoordSys& r) {
  bool present = false;
  EKroErrCode result = ReadGroupCode(p, &IKroGafPreferences::GetDatumCode, r.datumCode, present);
  if (result != eKroOk || !present) return result;
  result = ReadField(p, &IKroGafPreferences::GetDatumDescription, r.datumDescription);
  if (result != eKroOk) return result;
  ReadNumbers(p, {{&IKroGafPreferences::GetDatumDeltaX, &r.datumDeltaX},
                  {&IKroGafPreferences::GetDatumDeltaY, &r.datumDeltaY},
                  {&IKroGafPreferences::GetDatumDeltaZ, &r.datumDeltaZ},
                  {&IKroGafPreferences::GetDatumRotationX, &r.datumRotationX},
                  {&IKroGafPreferences::GetDatumRotationY, &r.datumRotationY},
                  {&IKroGafPreferences::GetDatumRotationZ, &r.datumRotationZ},
                  {&IKroGafPreferences::GetDatumBWScaleFactor, &r.datumBWScaleFactor}});
  p->GetDatumConversionMethod(&r.datumConversionMethod);
  return eKroOk;
}

// Likewise for the ellipsoid group.
EKroErrCode ReadEllipsoid(IKroGafPreferences* p, GafCoordSys& r) {
  bool present = false;
  EKroErrCode result = ReadGroupCode(p, &IKroGafPreferences::GetEllipsoidCode, r.ellipsoidCode, present);
  if (result != eKroOk || !present) return result;
  result = ReadField(p, &IKroGafPreferences::GetEllipsoidDescription, r.ellipsoidDescription);
  if (result != eKroOk) return result;
  ReadNumbers(p, {{&IKroGafPreferences::GetEllipsoidEquatorialRadius, &r.ellipsoidEquatorialRadius},
                  {&IKroGafPreferences::GetEllipsoidPolarRadius, &r.ellipsoidPolarRadius}});
  return eKroOk;
}

}  // namespace

EKroErrCode ReadExportSettings(IKroGafPreferences* preferences, ExportSettings& settings) {
  EKroErrCode result = ReadOptionalText(preferences, &IKroGafPreferences::GetGafFileName, settings.fileName);
  if (result == eKroOk) {
    result = ReadOptionalText(preferences, &IKroGafPreferences::GetCoordSysCode, settings.coordSysCode);
  }
  if (result != eKroOk) return result;
  preferences->GetOpenStatus(&settings.openMode);
  preferences->get_UseKif(&settings.useKif);
  result = ReadOptionalText(preferences, &IKroGafPreferences::GetFileDescription, settings.description);
  if (result != eKroOk) return result;
  preferences->GetCoordPrecision(&settings.precision);
  return eKroOk;
}

EKroErrCode ReadCoordSysRecord(IKroGafPreferences* preferences, const std::string& code, GafCoordSys& record) {
  GafCoordSys::SetText(record.code, code.c_str());
  EKroErrCode result = ReadCoordSysFields(preferences, record);
  if (result == eKroOk) result = ReadDatum(preferences, record);
  if (result == eKroOk) result = ReadEllipsoid(preferences, record);
  return result;
}

}  // namespace kro
