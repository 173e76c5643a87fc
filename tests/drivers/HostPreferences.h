// Preferences as a host may implement them: every operation is passed on to
// the library's preferences object, the getters are logged in the order they
// are called, and the precision can be made to answer a value the library's
// object would never store, and so can the file name.
#ifndef KRO_TESTS_DRIVERS_HOSTPREFERENCES_H
#define KRO_TESTS_DRIVERS_HOSTPREFERENCES_H

#include <optional>
#include <string>
#include <vector>

#include "drivers/HostGeometry.h"

namespace kro::test {

#define KRO_HOST_GET(Method, Type)    \
  HRESULT Method(Type value) override { \
    calls.push_back(#Method);           \
    return inner_->Method(value);       \
  }
#define KRO_HOST_SET(Method, Type) \
  HRESULT Method(Type value, EKroErrCode* code) override { return inner_->Method(value, code); }
#define KRO_HOST_PAIR(Property, Type) KRO_HOST_SET(Set##Property, Type) KRO_HOST_GET(Get##Property, Type*)

class HostPreferences final : public HostUnknown<IKroGafPreferences> {
 public:
  explicit HostPreferences(ComPtr<IKroGafPreferences> inner) : inner_(std::move(inner)) {}
  static ComPtr<HostPreferences> Make(ComPtr<IKroGafPreferences> inner) {
    return ComPtr<HostPreferences>::Share(new HostPreferences(std::move(inner)));
  }

  std::vector<std::string> calls;
  std::optional<SHORT> precision;
  // A file name the library's object would refuse to store.
  std::optional<std::string> fileName;

  HRESULT GetGafFileName(BSTR* value) override {
    calls.push_back("GetGafFileName");
    if (!fileName) return inner_->GetGafFileName(value);
    *value = MultiByteToBstr(fileName->c_str());
    return S_OK;
  }
  KRO_HOST_SET(SetGafFileName, BSTR)
  KRO_HOST_GET(GetFileDescription, BSTR*)
  HRESULT SetFileDescription(BSTR value) override { return inner_->SetFileDescription(value); }
  HRESULT GetCoordPrecision(SHORT* value) override {
    calls.push_back("GetCoordPrecision");
    if (!precision) return inner_->GetCoordPrecision(value);
    *value = *precision;
    return S_OK;
  }
  KRO_HOST_SET(SetCoordPrecision, SHORT)
  KRO_HOST_GET(GetOpenStatus, EKroGafOpenFlags*)
  KRO_HOST_SET(SetOpenStatus, EKroGafOpenFlags)
  KRO_HOST_GET(GetObjectType, EGafObjectType*)
  KRO_HOST_SET(SetObjectType, EGafObjectType)
  KRO_HOST_GET(get_UseKif, LONG*)
  HRESULT put_UseKif(LONG value) override { return inner_->put_UseKif(value); }
  HRESULT SetSearchMethod(EKroSearchMethod value) override { return inner_->SetSearchMethod(value); }
  KRO_HOST_GET(GetSearchMethod, EKroSearchMethod*)

  KRO_HOST_PAIR(CoordSysCode, BSTR)
  KRO_HOST_PAIR(CoordSysDescription, BSTR)
  KRO_HOST_PAIR(CoordSysGroupCode, BSTR)
  KRO_HOST_PAIR(CoordSysProjectionCode, BSTR)
  KRO_HOST_PAIR(CoordSysUnitCode, BSTR)
  KRO_HOST_PAIR(CoordSysOriginLongitude, double)
  KRO_HOST_PAIR(CoordSysOriginLatitude, double)
  KRO_HOST_PAIR(CoordSysXOffset, double)
  KRO_HOST_PAIR(CoordSysYOffset, double)
  KRO_HOST_PAIR(CoordSysScaleReduction, double)
  KRO_HOST_PAIR(CoordSysUnitScale, double)
  KRO_HOST_PAIR(CoordSysMapScale, double)
  KRO_HOST_PAIR(CoordSysScale, double)
  KRO_HOST_SET(SetCoordSysProjectionParameters, double*)
  KRO_HOST_GET(GetCoordSysProjectionParameters, double*)
  KRO_HOST_PAIR(DatumCode, BSTR)
  KRO_HOST_PAIR(DatumDescription, BSTR)
  KRO_HOST_PAIR(DatumDeltaX, double)
  KRO_HOST_PAIR(DatumDeltaY, double)
  KRO_HOST_PAIR(DatumDeltaZ, double)
  KRO_HOST_PAIR(DatumRotationX, double)
  KRO_HOST_PAIR(DatumRotationY, double)
  KRO_HOST_PAIR(DatumRotationZ, double)
  KRO_HOST_PAIR(DatumBWScaleFactor, double)
  KRO_HOST_PAIR(DatumConversionMethod, SHORT)
  KRO_HOST_PAIR(EllipsoidCode, BSTR)
  KRO_HOST_PAIR(EllipsoidDescription, BSTR)
  KRO_HOST_PAIR(EllipsoidEquatorialRadius, double)
  KRO_HOST_PAIR(EllipsoidPolarRadius, double)

 private:
  ComPtr<IKroGafPreferences> inner_;
};

#undef KRO_HOST_PAIR
#undef KRO_HOST_SET
#undef KRO_HOST_GET

}  // namespace kro::test

#endif
