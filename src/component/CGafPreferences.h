// KroGafPreferences: the settings a host fills before an export or an import.
// A plain property store; only the file name, the precision and the texts are
// validated here, the drivers judge the rest when they use it.
//
// Values at creation: no texts, precision 32, open status 0, object type -1,
// UseKif 0; every number of the coordinate-system, datum and ellipsoid groups
// (and the 24 projection parameters) holds the coordinate-system record's
// default, so a host that sets only a coordinate-system code exports the
// standard WGS84 values.
//
// Rules common to the setters with a result code: a null code pointer gives
// E_POINTER and stores nothing; otherwise the code ends as eKroOk on success,
// and stays eKroUnknownErr (30) where a failure status carries no code of its
// own. A failed setter never changes the stored value. Getters give E_POINTER
// for a null out-pointer (except GetSearchMethod, which writes nothing at all).
#ifndef KRO_COMPONENT_CGAFPREFERENCES_H
#define KRO_COMPONENT_CGAFPREFERENCES_H

#include <cstddef>
#include <limits>

#include "com/BoundaryText.h"
#include "com/ComObject.h"
#include "engine/datafile/GafCoordSys.h"

namespace kro {

class CGafPreferences final : public ComObject<IKroGafPreferences> {
 public:
  // The longest file name accepted, in bytes after conversion.
  static constexpr size_t kMaxFileNameBytes = 256;

  HRESULT GetGafFileName(BSTR* ppGafFileName) override { return TextToBstr(fileName_, ppGafFileName); }
  HRESULT SetGafFileName(BSTR pGafFileName, EKroErrCode* peErr) override;
  HRESULT GetFileDescription(BSTR* pVal) override { return TextToBstr(description_, pVal); }
  HRESULT SetFileDescription(BSTR newVal) override;
  HRESULT GetCoordPrecision(SHORT* pVal) override { return Read(precision_, pVal); }
  HRESULT SetCoordPrecision(SHORT newVal, EKroErrCode* peErr) override;
  HRESULT GetOpenStatus(EKroGafOpenFlags* pVal) override { return Read(openStatus_, pVal); }
  HRESULT SetOpenStatus(EKroGafOpenFlags newVal, EKroErrCode* peErr) override {
    return Store(openStatus_, newVal, peErr);
  }
  HRESULT GetObjectType(EGafObjectType* pkObjectType) override { return Read(objectType_, pkObjectType); }
  HRESULT SetObjectType(EGafObjectType kObjectType, EKroErrCode* pErr) override {
    return Store(objectType_, kObjectType, pErr);
  }
  HRESULT get_UseKif(LONG* pbUseKif) override { return Read(useKif_, pbUseKif); }
  HRESULT put_UseKif(LONG bUseKif) override {
    useKif_ = bUseKif;
    return S_OK;
  }
  // The search method plays no part in this library: accepted and forgotten.
  HRESULT SetSearchMethod(EKroSearchMethod /*kSearchMethod*/) override { return S_OK; }
  HRESULT GetSearchMethod(EKroSearchMethod* /*pSearchMethod*/) override { return S_OK; }

// Each line declares one Set/Get pair of the coordinate-system, datum and
// ellipsoid groups, in slot order (setter first).
#define KRO_TEXT_PROPERTY(Name, field)                                                                 \
  HRESULT Set##Name(BSTR value, EKroErrCode* peErr) override { return StoreText(field, value, peErr); } \
  HRESULT Get##Name(BSTR* value) override { return TextToBstr(field, value); }
#define KRO_NUMBER_PROPERTY(Name, Type, field)                                                         \
  HRESULT Set##Name(Type value, EKroErrCode* peErr) override { return Store(field, value, peErr); }    \
  HRESULT Get##Name(Type* value) override { return Read(field, value); }

  KRO_TEXT_PROPERTY(CoordSysCode, coordSysCode_)
  KRO_TEXT_PROPERTY(CoordSysDescription, coordSysDescription_)
  KRO_TEXT_PROPERTY(CoordSysGroupCode, coordSysGroupCode_)
  KRO_TEXT_PROPERTY(CoordSysProjectionCode, coordSysProjectionCode_)
  KRO_TEXT_PROPERTY(CoordSysUnitCode, coordSysUnitCode_)
  KRO_NUMBER_PROPERTY(CoordSysOriginLongitude, double, numbers_.originLongitude)
  KRO_NUMBER_PROPERTY(CoordSysOriginLatitude, double, numbers_.originLatitude)
  KRO_NUMBER_PROPERTY(CoordSysXOffset, double, numbers_.xOffset)
  KRO_NUMBER_PROPERTY(CoordSysYOffset, double, numbers_.yOffset)
  KRO_NUMBER_PROPERTY(CoordSysScaleReduction, double, numbers_.scaleReduction)
  KRO_NUMBER_PROPERTY(CoordSysUnitScale, double, numbers_.unitScale)
  KRO_NUMBER_PROPERTY(CoordSysMapScale, double, numbers_.mapScale)
  KRO_NUMBER_PROPERTY(CoordSysScale, double, numbers_.scale)
  // Reads or writes exactly 24 doubles; E_POINTER for a null array.
  HRESULT SetCoordSysProjectionParameters(double* value, EKroErrCode* peErr) override;
  HRESULT GetCoordSysProjectionParameters(double* value) override;
  KRO_TEXT_PROPERTY(DatumCode, datumCode_)
  KRO_TEXT_PROPERTY(DatumDescription, datumDescription_)
  KRO_NUMBER_PROPERTY(DatumDeltaX, double, numbers_.datumDeltaX)
  KRO_NUMBER_PROPERTY(DatumDeltaY, double, numbers_.datumDeltaY)
  KRO_NUMBER_PROPERTY(DatumDeltaZ, double, numbers_.datumDeltaZ)
  KRO_NUMBER_PROPERTY(DatumRotationX, double, numbers_.datumRotationX)
  KRO_NUMBER_PROPERTY(DatumRotationY, double, numbers_.datumRotationY)
  KRO_NUMBER_PROPERTY(DatumRotationZ, double, numbers_.datumRotationZ)
  KRO_NUMBER_PROPERTY(DatumBWScaleFactor, double, numbers_.datumBWScaleFactor)
  KRO_NUMBER_PROPERTY(DatumConversionMethod, SHORT, numbers_.datumConversionMethod)
  KRO_TEXT_PROPERTY(EllipsoidCode, ellipsoidCode_)
  KRO_TEXT_PROPERTY(EllipsoidDescription, ellipsoidDescription_)
  KRO_NUMBER_PROPERTY(EllipsoidEquatorialRadius, double, numbers_.ellipsoidEquatorialRadius)
  KRO_NUMBER_PROPERTY(EllipsoidPolarRadius, double, numbers_.ellipsoidPolarRadius)

#undef KRO_TEXT_PROPERTY
#undef KRO_NUMBER_PROPERTY

 private:
  // Stores a number property; any value is accepted.
  template <class T>
  static HRESULT Store(T& field, T value, EKroErrCode* peErr) {
    if (peErr == nullptr) return E_POINTER;
    field = value;
    *peErr = eKroOk;
    return S_OK;
  }
  template <class T>
  static HRESULT Read(const T& field, T* out) {
    if (out == nullptr) return E_POINTER;
    *out = field;
    return S_OK;
  }
  // Stores a text property: a null string is refused with E_OUTOFMEMORY (the
  // code stays 30), text longer than `maxBytes` with S_FALSE and `tooLong`.
  static HRESULT StoreText(OptionalText& field, BSTR value, EKroErrCode* peErr,
                           size_t maxBytes = std::numeric_limits<size_t>::max(),
                           EKroErrCode tooLong = eKroUnknownErr);

  OptionalText fileName_;
  OptionalText description_;
  SHORT precision_ = 32;
  EKroGafOpenFlags openStatus_ = kGafUnknownStatus;
  EGafObjectType objectType_ = kGafUndefinedObject;
  LONG useKif_ = 0;

  OptionalText coordSysCode_;
  OptionalText coordSysDescription_;
  OptionalText coordSysGroupCode_;
  OptionalText coordSysProjectionCode_;
  OptionalText coordSysUnitCode_;
  OptionalText datumCode_;
  OptionalText datumDescription_;
  OptionalText ellipsoidCode_;
  OptionalText ellipsoidDescription_;
  // The number properties, kept in a coordinate-system record so that they
  // start at its defaults. Its text fields are unused: the texts above may be
  // absent and are not limited in length.
  GafCoordSys numbers_;
};

}  // namespace kro

#endif
