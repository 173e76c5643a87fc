#include "component/CGafPreferences.h"

#include <algorithm>

namespace kro {

HRESULT CGafPreferences::StoreText(OptionalText& field, BSTR value, EKroErrCode* peErr, size_t maxBytes,
                                   EKroErrCode tooLong) {
  if (peErr == nullptr) return E_POINTER;
  *peErr = eKroUnknownErr;
  if (value == nullptr) return E_OUTOFMEMORY;
  std::string converted;
  if (BstrToText(value, &converted) != S_OK) return E_OUTOFMEMORY;
  if (converted.size() > maxBytes) {
    *peErr = tooLong;
    return S_FALSE;
  }
  field = std::move(converted);
  *peErr = eKroOk;
  return S_OK;
}

HRESULT CGafPreferences::SetGafFileName(BSTR pGafFileName, EKroErrCode* peErr) {
  return StoreText(fileName_, pGafFileName, peErr, kMaxFileNameBytes, eKroInvalidFileName);
}

HRESULT CGafPreferences::SetFileDescription(BSTR newVal) {
  // A null string is not an error here, but it does not clear the text
  // either: a description that was never set stays absent.
  if (newVal == nullptr) return S_OK;
  std::string converted;
  if (BstrToText(newVal, &converted) != S_OK) return E_OUTOFMEMORY;
  description_ = std::move(converted);
  return S_OK;
}

HRESULT CGafPreferences::SetCoordPrecision(SHORT newVal, EKroErrCode* peErr) {
  if (peErr == nullptr) return E_POINTER;
  *peErr = eKroUnknownErr;
  if (newVal != 32 && newVal != 64) {
    *peErr = eKroInvalidPrecision;
    return S_FALSE;
  }
  precision_ = newVal;
  *peErr = eKroOk;
  return S_OK;
}

HRESULT CGafPreferences::SetCoordSysProjectionParameters(double* value, EKroErrCode* peErr) {
  if (peErr == nullptr) return E_POINTER;
  if (value == nullptr) {
    *peErr = eKroUnknownErr;
    return E_POINTER;
  }
  std::copy_n(value, kProjectionParameterCount, numbers_.projectionParameters);
  *peErr = eKroOk;
  return S_OK;
}

HRESULT CGafPreferences::GetCoordSysProjectionParameters(double* value) {
  if (value == nullptr) return E_POINTER;
  std::copy_n(numbers_.projectionParameters, kProjectionParameterCount, value);
  return S_OK;
}

}  // namespace kro
