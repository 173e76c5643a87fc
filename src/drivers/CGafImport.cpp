#include "drivers/CGafImport.h"

#include <memory>
#include <new>

#include "drivers/CGafGeometrySource.h"
#include "com/ComCreate.h"
#include "com/ScopedBstr.h"
#include "fileset/CGafReader.h"
#include "com/BoundaryText.h"

namespace kro {
namespace {

// File name (absent when the preferences have none) and open mode.
struct ImportSettings {
  OptionalText fileName;
  EKroGafOpenFlags openMode = kGafUnknownStatus;

  const char* FileName() const { return fileName ? fileName->c_str() : nullptr; }
};

HRESULT ReadImportSettings(IKroGafPreferences* preferences, ImportSettings& settings) {
  ScopedBstr name;
  preferences->GetGafFileName(name.Put());
  const HRESULT hr = BstrToOptionalText(name.Get(), &settings.fileName);
  if (hr != S_OK) return hr;
  preferences->GetOpenStatus(&settings.openMode);
  return S_OK;
}

// Both texts or neither.
HRESULT TextPairOut(const char* first, const char* second, BSTR* firstOut, BSTR* secondOut) {
  if (firstOut == nullptr || secondOut == nullptr) return E_POINTER;
  ScopedBstr firstCopy;
  ScopedBstr secondCopy;
  HRESULT hr = TextToBstr(first, firstCopy.Put());
  if (hr == S_OK) hr = TextToBstr(second, secondCopy.Put());
  if (hr != S_OK) {
    *firstOut = nullptr;
    *secondOut = nullptr;
    return hr;
  }
  *firstOut = firstCopy.Detach();
  *secondOut = secondCopy.Detach();
  return S_OK;
}

template <class... Pointers>
bool AnyNull(Pointers... pointers) {
  return ((pointers == nullptr) || ...);
}

}  // namespace

CGafImport::CGafImport(Env& env) : env_(env) {}

CGafImport::~CGafImport() = default;

HRESULT CGafImport::Initialize(IKroGafPreferences* pPref, EKroErrCode* pErr) {
  if (pErr == nullptr) return E_POINTER;
  *pErr = eKroUnknownErr;
  if (pPref == nullptr) return E_POINTER;
  ImportSettings settings;
  HRESULT hr = ReadImportSettings(pPref, settings);
  if (hr != S_OK) return hr;
  std::unique_ptr<CGafReader> reader(new (std::nothrow) CGafReader(env_));
  if (reader == nullptr) return E_POINTER;
  if (reader->OpenForRead(settings.FileName(), settings.openMode) != eKroOk) {
    *pErr = eKroInitializationFailed;
    return S_FALSE;
  }

  // Everything is taken into locals first, so that a failure leaves the
  // object as it was.
  GafCoordSys record = record_;
  reader->CopyCoordSys(&record);
  BoundingBoxNode box{};
  if (reader->GetBoundingBox(&box) != eKroOk) {
    *pErr = eKroFailObtainBoundingBox;
    return S_FALSE;
  }
  const char* name = "";
  reader->GetCoordSysName(&name);
  OptionalText coordSysName;
  try {
    coordSysName = std::string(name);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }

  record_ = record;
  hasMetaData_ = reader->HasMetaData();
  box_ = box;
  coordSysName_ = std::move(coordSysName);
  objectCount_ = reader->GetNumberOfObjects();
  initialized_ = true;
  *pErr = eKroOk;
  return S_OK;
}

HRESULT CGafImport::Import(IKroGafPreferences* pPref, BoundingBoxNode* pBox, IKroGeometrySource** ppSource,
                           EKroErrCode* pErr) {
  if (pErr == nullptr) return E_POINTER;
  *pErr = eKroUnknownErr;
  if (!initialized_) return S_FALSE;
  if (ppSource == nullptr) return E_POINTER;
  *ppSource = nullptr;
  if (pPref == nullptr) return E_POINTER;
  ImportSettings settings;
  HRESULT hr = ReadImportSettings(pPref, settings);
  if (hr != S_OK) return hr;

  if (!readers_) readers_ = ReaderPool::Create(env_);
  ComPtr<CGafGeometrySource> source = MakeObject<CGafGeometrySource>();
  if (!readers_ || !source ||
      source->Configure(settings.FileName(), settings.openMode, pBox, objectCount_, readers_.Get()) != eKroOk) {
    *pErr = eKroInitializationFailed;
    return S_FALSE;
  }
  hr = source->QueryInterface(IID_IKroGeometrySource, reinterpret_cast<void**>(ppSource));
  if (FAILED(hr)) return hr;
  *pErr = eKroOk;
  return S_OK;
}

HRESULT CGafImport::GetBoundingBox(BoundingBoxNode* pBoundingBox) {
  if (!initialized_) return S_FALSE;
  if (pBoundingBox == nullptr) return E_POINTER;
  *pBoundingBox = *box_;
  return S_OK;
}

HRESULT CGafImport::GetCoordSysName(BSTR* ppCoordSysName) {
  if (!initialized_) return S_FALSE;
  if (ppCoordSysName == nullptr) return E_POINTER;
  return TextToBstr(coordSysName_, ppCoordSysName);
}

HRESULT CGafImport::GetNumberOfObjects(LONG* plNumOfObj) {
  if (!initialized_) return S_FALSE;
  if (plNumOfObj == nullptr) return E_POINTER;
  *plNumOfObj = objectCount_;
  return S_OK;
}

HRESULT CGafImport::GafHasMetaData(LONG* pbHasMetaData) {
  if (pbHasMetaData == nullptr) return E_POINTER;
  *pbHasMetaData = hasMetaData_;
  return S_OK;
}

HRESULT CGafImport::GetCoordSysCode(BSTR* out) { return TextToBstr(record_.code, out); }
HRESULT CGafImport::GetCoordSysDescription(BSTR* out) { return TextToBstr(record_.description, out); }
HRESULT CGafImport::GetCoordSysGroupCode(BSTR* out) { return TextToBstr(record_.groupCode, out); }
HRESULT CGafImport::GetCoordSysProjectionCode(BSTR* out) { return TextToBstr(record_.projectionCode, out); }
HRESULT CGafImport::GetCoordSysUnitCode(BSTR* out) { return TextToBstr(record_.unitCode, out); }

HRESULT CGafImport::GetCoordSysOriginLongitude(double* out) {
  if (out == nullptr) return E_POINTER;
  *out = record_.originLongitude;
  return S_OK;
}

HRESULT CGafImport::GetCoordSysOriginLatitude(double* out) {
  if (out == nullptr) return E_POINTER;
  *out = record_.originLatitude;
  return S_OK;
}

HRESULT CGafImport::GetCoordSysXYOffset(double* x, double* y) {
  if (AnyNull(x, y)) return E_POINTER;
  *x = record_.xOffset;
  *y = record_.yOffset;
  return S_OK;
}

HRESULT CGafImport::GetCoordSysScales(double* scaleReduction, double* unitScale, double* mapScale, double* scale) {
  if (AnyNull(scaleReduction, unitScale, mapScale, scale)) return E_POINTER;
  *scaleReduction = record_.scaleReduction;
  *unitScale = record_.unitScale;
  *mapScale = record_.mapScale;
  *scale = record_.scale;
  return S_OK;
}

HRESULT CGafImport::GetCoordSysProjectionParameter(int nIndex, double* out) {
  if (out == nullptr) return E_POINTER;
  if (nIndex < 0 || nIndex >= kProjectionParameterCount) return E_INVALIDARG;
  *out = record_.projectionParameters[nIndex];
  return S_OK;
}

HRESULT CGafImport::GetDatumCodeAndDescription(BSTR* code, BSTR* description) {
  return TextPairOut(record_.datumCode, record_.datumDescription, code, description);
}

HRESULT CGafImport::GetDatumDoubles(double* deltaX, double* deltaY, double* deltaZ, double* rotationX,
                                    double* rotationY, double* rotationZ, double* bwScaleFactor,
                                    SHORT* conversionMethod) {
  if (AnyNull(deltaX, deltaY, deltaZ, rotationX, rotationY, rotationZ, bwScaleFactor, conversionMethod)) {
    return E_POINTER;
  }
  *deltaX = record_.datumDeltaX;
  *deltaY = record_.datumDeltaY;
  *deltaZ = record_.datumDeltaZ;
  *rotationX = record_.datumRotationX;
  *rotationY = record_.datumRotationY;
  *rotationZ = record_.datumRotationZ;
  *bwScaleFactor = record_.datumBWScaleFactor;
  *conversionMethod = record_.datumConversionMethod;
  return S_OK;
}

HRESULT CGafImport::GetEllipsoidMembers(BSTR* code, BSTR* description, double* equatorialRadius,
                                        double* polarRadius) {
  if (AnyNull(equatorialRadius, polarRadius)) return E_POINTER;
  const HRESULT hr = TextPairOut(record_.ellipsoidCode, record_.ellipsoidDescription, code, description);
  if (hr != S_OK) return hr;
  *equatorialRadius = record_.ellipsoidEquatorialRadius;
  *polarRadius = record_.ellipsoidPolarRadius;
  return S_OK;
}

}  // namespace kro
