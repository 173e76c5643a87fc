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

#include "component/BoundaryText.h"
#include "component/ComObject.h"
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

  HRESULT SetCoordSysCode(BSTR v, EKroErrCode* e) override { return StoreText(coordSysCode_, v, e); }
  HRESULT GetCoordSysCode(BSTR* v) override { return TextToBstr(coordSysCode_, v); }
  HRESULT SetCoordSysDescription(BSTR v, EKroErrCode* e) override {
    return StoreText(coordSysDescription_, v, e);
  }
  HRESULT GetCoordSysDescription(BSTR* v) override { return TextToBstr(coordSysDescription_, v); }
  HRESULT SetCoordSysGroupCode(BSTR v, EKroErrCode* e) override {
    return StoreText(coordSysGroupCode_, v, e);
  }
  HRESULT GetCoordSysGroupCode(BSTR* v) override { return TextToBstr(coordSysGroupCode_, v); }
  HRESULT SetCoordSysProjectionCode(BSTR v, EKroErrCode* e) override {
    return StoreText(coordSysProjectionCode_, v, e);
  }
  HRESULT GetCoordSysProjectionCode(BSTR* v) override { return TextToBstr(coordSysProjectionCode_, v); }
  HRESULT SetCoordSysUnitCode(BSTR v, EKroErrCode* e) override { return StoreText(coordSysUnitCode_, v, e); }
  HRESULT GetCoordSysUnitCode(BSTR* v) override { return TextToBstr(coordSysUnitCode_, v); }
  HRESULT SetCoordSysOriginLongitude(double v, EKroErrCode* e) override {
    return Store(numbers_.originLongitude, v, e);
  }
  HRESULT GetCoordSysOriginLongitude(double* v) override { return Read(numbers_.originLongitude, v); }
  HRESULT SetCoordSysOriginLatitude(double v, EKroErrCode* e) override {
    return Store(numbers_.originLatitude, v, e);
  }
  HRESULT GetCoordSysOriginLatitude(double* v) override { return Read(numbers_.originLatitude, v); }
  HRESULT SetCoordSysXOffset(double v, EKroErrCode* e) override { return Store(numbers_.xOffset, v, e); }
  HRESULT GetCoordSysXOffset(double* v) override { return Read(numbers_.xOffset, v); }
  HRESULT SetCoordSysYOffset(double v, EKroErrCode* e) override { return Store(numbers_.yOffset, v, e); }
  HRESULT GetCoordSysYOffset(double* v) override { return Read(numbers_.yOffset, v); }
  HRESULT SetCoordSysScaleReduction(double v, EKroErrCode* e) override {
    return Store(numbers_.scaleReduction, v, e);
  }
  HRESULT GetCoordSysScaleReduction(double* v) override { return Read(numbers_.scaleReduction, v); }
  HRESULT SetCoordSysUnitScale(double v, EKroErrCode* e) override { return Store(numbers_.unitScale, v, e); }
  HRESULT GetCoordSysUnitScale(double* v) override { return Read(numbers_.unitScale, v); }
  HRESULT SetCoordSysMapScale(double v, EKroErrCode* e) override { return Store(numbers_.mapScale, v, e); }
  HRESULT GetCoordSysMapScale(double* v) override { return Read(numbers_.mapScale, v); }
  HRESULT SetCoordSysScale(double v, EKroErrCode* e) override { return Store(numbers_.scale, v, e); }
  HRESULT GetCoordSysScale(double* v) override { return Read(numbers_.scale, v); }
  HRESULT SetCoordSysProjectionParameters(double* v, EKroErrCode* e) override;
  HRESULT GetCoordSysProjectionParameters(double* v) override;
  HRESULT SetDatumCode(BSTR v, EKroErrCode* e) override { return StoreText(datumCode_, v, e); }
  HRESULT GetDatumCode(BSTR* v) override { return TextToBstr(datumCode_, v); }
  HRESULT SetDatumDescription(BSTR v, EKroErrCode* e) override { return StoreText(datumDescription_, v, e); }
  HRESULT GetDatumDescription(BSTR* v) override { return TextToBstr(datumDescription_, v); }
  HRESULT SetDatumDeltaX(double v, EKroErrCode* e) override { return Store(numbers_.datumDeltaX, v, e); }
  HRESULT GetDatumDeltaX(double* v) override { return Read(numbers_.datumDeltaX, v); }
  HRESULT SetDatumDeltaY(double v, EKroErrCode* e) override { return Store(numbers_.datumDeltaY, v, e); }
  HRESULT GetDatumDeltaY(double* v) override { return Read(numbers_.datumDeltaY, v); }
  HRESULT SetDatumDeltaZ(double v, EKroErrCode* e) override { return Store(numbers_.datumDeltaZ, v, e); }
  HRESULT GetDatumDeltaZ(double* v) override { return Read(numbers_.datumDeltaZ, v); }
  HRESULT SetDatumRotationX(double v, EKroErrCode* e) override {
    return Store(numbers_.datumRotationX, v, e);
  }
  HRESULT GetDatumRotationX(double* v) override { return Read(numbers_.datumRotationX, v); }
  HRESULT SetDatumRotationY(double v, EKroErrCode* e) override {
    return Store(numbers_.datumRotationY, v, e);
  }
  HRESULT GetDatumRotationY(double* v) override { return Read(numbers_.datumRotationY, v); }
  HRESULT SetDatumRotationZ(double v, EKroErrCode* e) override {
    return Store(numbers_.datumRotationZ, v, e);
  }
  HRESULT GetDatumRotationZ(double* v) override { return Read(numbers_.datumRotationZ, v); }
  HRESULT SetDatumBWScaleFactor(double v, EKroErrCode* e) override {
    return Store(numbers_.datumBWScaleFactor, v, e);
  }
  HRESULT GetDatumBWScaleFactor(double* v) override { return Read(numbers_.datumBWScaleFactor, v); }
  HRESULT SetDatumConversionMethod(SHORT v, EKroErrCode* e) override {
    return Store(numbers_.datumConversionMethod, v, e);
  }
  HRESULT GetDatumConversionMethod(SHORT* v) override { return Read(numbers_.datumConversionMethod, v); }
  HRESULT SetEllipsoidCode(BSTR v, EKroErrCode* e) override { return StoreText(ellipsoidCode_, v, e); }
  HRESULT GetEllipsoidCode(BSTR* v) override { return TextToBstr(ellipsoidCode_, v); }
  HRESULT SetEllipsoidDescription(BSTR v, EKroErrCode* e) override {
    return StoreText(ellipsoidDescription_, v, e);
  }
  HRESULT GetEllipsoidDescription(BSTR* v) override { return TextToBstr(ellipsoidDescription_, v); }
  HRESULT SetEllipsoidEquatorialRadius(double v, EKroErrCode* e) override {
    return Store(numbers_.ellipsoidEquatorialRadius, v, e);
  }
  HRESULT GetEllipsoidEquatorialRadius(double* v) override {
    return Read(numbers_.ellipsoidEquatorialRadius, v);
  }
  HRESULT SetEllipsoidPolarRadius(double v, EKroErrCode* e) override {
    return Store(numbers_.ellipsoidPolarRadius, v, e);
  }
  HRESULT GetEllipsoidPolarRadius(double* v) override { return Read(numbers_.ellipsoidPolarRadius, v); }

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
