// The vocabulary at the component boundary: result codes, enumerations, the two
// plain records and the interfaces in slot order, with their fixed interface
// and class identifiers. Everything above the engine speaks only these types.
#ifndef KROGAFEXPORTIMPORT_KROGAFEXPORTIMPORT_H
#define KROGAFEXPORTIMPORT_KROGAFEXPORTIMPORT_H

#include "KroPlatform.h"

// Result codes. 28 and 29 are deliberately not defined.
enum EKroErrCode : int32_t {
  eKroOk = 0,
  eKroUnableToOpen = 1,
  eKroNotAneKro = 2,
  eKroReadError = 3,
  eKroWriteError = 4,
  eKroInvalidParameter = 5,
  eKroInvalidType = 6,
  eKroInvalidPrecision = 7,
  eKroInvalidElement = 8,
  eKroTooManyPoints = 9,
  eKroBadFormat = 10,
  eKroNotSupported = 11,
  eKroNotFound = 12,
  eKroContainsNoObjects = 13,
  eKroObjectNotFound = 14,
  eKroPolygonUnclosed = 15,
  eKroPrecisionMismatch = 16,
  eKroOutOfBounds = 17,
  eKroObjectConstructionFailed = 18,
  eKroInvalidFileName = 19,
  eKroInitializationFailed = 20,
  eKroFailGetObject = 21,
  eKroFailObtainBoundingBox = 22,
  eKroNullObject = 23,
  eKroIllegalFunctionCall = 24,
  eKroOutOfMemory = 25,
  eKroEndOfGaf = 26,
  eKroSearchFailed = 27,
  eKroUnknownErr = 30
};

// Geometry object type. Value 1 (multi-point) exists in data files but has no
// name here and is invalid wherever a type is validated.
enum EGafObjectType : int32_t {
  kGafUndefinedObject = -1,
  kGafPointObject = 0,
  kGafPolylineObject = 2,
  kGafPolyPolylineObject = 3,
  kGafPolygonObject = 4,
  kGafPolyPolygonObject = 5
};

enum EKroGafOpenFlags : int32_t {
  kGafUnknownStatus = 0,
  kGafReadOnly = 1,
  kGafOpenUpdate = 2,
  kGafCreateNew = 3,
  kGafOpenAppend = 4,
  kGafReadPartial = 5
};

enum EKroSearchMethod : int32_t {
  kInvalidSearch = 0,
  kSequentialSearch = 1,
  kSpatialIndexSearch = 2,
  kKeyIndexSearch = 3
};

struct CKroDoublePointNode {
  double x;
  double y;
};

struct BoundingBoxNode {
  double xMin;
  double yMin;
  double xMax;
  double yMax;
};

static_assert(sizeof(CKroDoublePointNode) == 16, "records are laid out without gaps");
static_assert(sizeof(BoundingBoxNode) == 32, "records are laid out without gaps");

struct IKroGeometry;
struct IKroEnumGeometry;

struct IKroGeometrySource : IUnknown {
  virtual HRESULT EnumGeometry(IKroEnumGeometry** ppEnum) = 0;
  virtual HRESULT GetNumberOfObjects(LONG* plNumOfObjects) = 0;
};

struct IKroEnumGeometry : IUnknown {
  virtual HRESULT Reset() = 0;
  virtual HRESULT Skip(ULONG ulSkipCount) = 0;
  virtual HRESULT Clone(IKroEnumGeometry** ppEnumGeo) = 0;
  // The library's enumerator answers S_OK whenever it ran, with *pulFetched
  // objects delivered: fewer than asked near the end, 0 once the pass has
  // ended. A set that cannot be read (an I/O error, a damaged record) answers
  // E_FAIL, after the objects before the damage were delivered with S_OK.
  virtual HRESULT Next(ULONG ulCount, IKroGeometry** pGeoObj, ULONG* pulFetched) = 0;
  virtual HRESULT MaxVertexCount(LONG* lNum) = 0;
  virtual HRESULT GetNumPlinesFailed(LONG* lNum) = 0;
};

struct IKroGeometry : IUnknown {
  virtual HRESULT GetKey(BSTR* ppKey) = 0;
  virtual HRESULT SetKey(BSTR pKey, EKroErrCode* peErr) = 0;
  virtual HRESULT SetName(BSTR pName, EKroErrCode* peErr) = 0;
  virtual HRESULT GetName(BSTR* ppName) = 0;
  virtual HRESULT SetURL(BSTR pURL, EKroErrCode* peErr) = 0;
  virtual HRESULT GetURL(BSTR* ppURL) = 0;
  virtual HRESULT GetVertexAt(LONG lIndex, double* pdX, double* pdY) = 0;
  virtual HRESULT GetNumberOfSets(int* pnNumOfSets) = 0;
  virtual HRESULT GetSetNumberAt(int nIndex, LONG* plNumOfVertInSet) = 0;
};

struct IKroPoint : IKroGeometry {
  virtual HRESULT SetCoords(double dX, double dY) = 0;
  virtual HRESULT GetCoords(double* pdX, double* pdY) = 0;
};

struct IKroPolyline : IKroGeometry {
  virtual HRESULT SetPointArray(int nNumVert, CKroDoublePointNode* pDblPoints, EKroErrCode* peErr) = 0;
  virtual HRESULT GetPointArray(ULONG ulArrayLength, CKroDoublePointNode* pDblPtr, ULONG* pulFetched) = 0;
  virtual HRESULT GetPointArraySize(ULONG* pulArrayLength) = 0;
};

struct IKroPolygon : IKroGeometry {
  virtual HRESULT SetPointArray(int nNumVert, CKroDoublePointNode* pDblPoints, EKroErrCode* peErr) = 0;
  virtual HRESULT GetPointArray(ULONG ulArrayLength, CKroDoublePointNode* pDblPtr, ULONG* pulFetched) = 0;
  virtual HRESULT GetPointArraySize(ULONG* pulArrayLength) = 0;
};

struct IKroPolyPolyline : IKroGeometry {
  virtual HRESULT SetMultiPointArray(int numSets, LONG* lNumSetVert, int nNumVert,
                                     CKroDoublePointNode* pDblPoints, EKroErrCode* peErr) = 0;
  virtual HRESULT GetPointArray(ULONG ulArrayLength, CKroDoublePointNode* pDblPtr, ULONG* pulFetched) = 0;
  virtual HRESULT GetPointArraySize(ULONG* pulArrayLength) = 0;
};

struct IKroPolyPolygon : IKroGeometry {
  virtual HRESULT SetMultiPointArray(int numSets, LONG* lNumSetVert, int nNumVert,
                                     CKroDoublePointNode* pDblPoints, EKroErrCode* peErr) = 0;
  virtual HRESULT GetPointArray(ULONG ulArrayLength, CKroDoublePointNode* pDblPtr, ULONG* pulFetched) = 0;
  virtual HRESULT GetPointArraySize(ULONG* pulArrayLength) = 0;
};

struct IKroProgressIndicator : IUnknown {
  virtual HRESULT NotifyProgress(int nTotal, int nSucceeded) = 0;
  virtual HRESULT InquireAbort(LONG* pbAbort) = 0;
  virtual HRESULT GetInterval(int* pnInterval) = 0;
  virtual HRESULT SetTotalNumOfObjects(LONG lNumObjects) = 0;
};

// Preferences: the first six pairs place the getter first; from SetSearchMethod
// on, the setter comes first.
struct IKroGafPreferences : IUnknown {
  virtual HRESULT GetGafFileName(BSTR* ppGafFileName) = 0;
  virtual HRESULT SetGafFileName(BSTR pGafFileName, EKroErrCode* peErr) = 0;
  virtual HRESULT GetFileDescription(BSTR* pVal) = 0;
  virtual HRESULT SetFileDescription(BSTR newVal) = 0;
  virtual HRESULT GetCoordPrecision(SHORT* pVal) = 0;
  virtual HRESULT SetCoordPrecision(SHORT newVal, EKroErrCode* peErr) = 0;
  virtual HRESULT GetOpenStatus(EKroGafOpenFlags* pVal) = 0;
  virtual HRESULT SetOpenStatus(EKroGafOpenFlags newVal, EKroErrCode* peErr) = 0;
  virtual HRESULT GetObjectType(EGafObjectType* pkObjectType) = 0;
  virtual HRESULT SetObjectType(EGafObjectType kObjectType, EKroErrCode* pErr) = 0;
  virtual HRESULT get_UseKif(LONG* pbUseKif) = 0;
  virtual HRESULT put_UseKif(LONG bUseKif) = 0;
  virtual HRESULT SetSearchMethod(EKroSearchMethod kSearchMethod) = 0;
  virtual HRESULT GetSearchMethod(EKroSearchMethod* pSearchMethod) = 0;

  virtual HRESULT SetCoordSysCode(BSTR value, EKroErrCode* peErr) = 0;
  virtual HRESULT GetCoordSysCode(BSTR* value) = 0;
  virtual HRESULT SetCoordSysDescription(BSTR value, EKroErrCode* peErr) = 0;
  virtual HRESULT GetCoordSysDescription(BSTR* value) = 0;
  virtual HRESULT SetCoordSysGroupCode(BSTR value, EKroErrCode* peErr) = 0;
  virtual HRESULT GetCoordSysGroupCode(BSTR* value) = 0;
  virtual HRESULT SetCoordSysProjectionCode(BSTR value, EKroErrCode* peErr) = 0;
  virtual HRESULT GetCoordSysProjectionCode(BSTR* value) = 0;
  virtual HRESULT SetCoordSysUnitCode(BSTR value, EKroErrCode* peErr) = 0;
  virtual HRESULT GetCoordSysUnitCode(BSTR* value) = 0;
  virtual HRESULT SetCoordSysOriginLongitude(double value, EKroErrCode* peErr) = 0;
  virtual HRESULT GetCoordSysOriginLongitude(double* value) = 0;
  virtual HRESULT SetCoordSysOriginLatitude(double value, EKroErrCode* peErr) = 0;
  virtual HRESULT GetCoordSysOriginLatitude(double* value) = 0;
  virtual HRESULT SetCoordSysXOffset(double value, EKroErrCode* peErr) = 0;
  virtual HRESULT GetCoordSysXOffset(double* value) = 0;
  virtual HRESULT SetCoordSysYOffset(double value, EKroErrCode* peErr) = 0;
  virtual HRESULT GetCoordSysYOffset(double* value) = 0;
  virtual HRESULT SetCoordSysScaleReduction(double value, EKroErrCode* peErr) = 0;
  virtual HRESULT GetCoordSysScaleReduction(double* value) = 0;
  virtual HRESULT SetCoordSysUnitScale(double value, EKroErrCode* peErr) = 0;
  virtual HRESULT GetCoordSysUnitScale(double* value) = 0;
  virtual HRESULT SetCoordSysMapScale(double value, EKroErrCode* peErr) = 0;
  virtual HRESULT GetCoordSysMapScale(double* value) = 0;
  virtual HRESULT SetCoordSysScale(double value, EKroErrCode* peErr) = 0;
  virtual HRESULT GetCoordSysScale(double* value) = 0;
  // The array holds the 24 projection parameters in index order.
  virtual HRESULT SetCoordSysProjectionParameters(double* value, EKroErrCode* peErr) = 0;
  virtual HRESULT GetCoordSysProjectionParameters(double* value) = 0;
  virtual HRESULT SetDatumCode(BSTR value, EKroErrCode* peErr) = 0;
  virtual HRESULT GetDatumCode(BSTR* value) = 0;
  virtual HRESULT SetDatumDescription(BSTR value, EKroErrCode* peErr) = 0;
  virtual HRESULT GetDatumDescription(BSTR* value) = 0;
  virtual HRESULT SetDatumDeltaX(double value, EKroErrCode* peErr) = 0;
  virtual HRESULT GetDatumDeltaX(double* value) = 0;
  virtual HRESULT SetDatumDeltaY(double value, EKroErrCode* peErr) = 0;
  virtual HRESULT GetDatumDeltaY(double* value) = 0;
  virtual HRESULT SetDatumDeltaZ(double value, EKroErrCode* peErr) = 0;
  virtual HRESULT GetDatumDeltaZ(double* value) = 0;
  virtual HRESULT SetDatumRotationX(double value, EKroErrCode* peErr) = 0;
  virtual HRESULT GetDatumRotationX(double* value) = 0;
  virtual HRESULT SetDatumRotationY(double value, EKroErrCode* peErr) = 0;
  virtual HRESULT GetDatumRotationY(double* value) = 0;
  virtual HRESULT SetDatumRotationZ(double value, EKroErrCode* peErr) = 0;
  virtual HRESULT GetDatumRotationZ(double* value) = 0;
  virtual HRESULT SetDatumBWScaleFactor(double value, EKroErrCode* peErr) = 0;
  virtual HRESULT GetDatumBWScaleFactor(double* value) = 0;
  virtual HRESULT SetDatumConversionMethod(SHORT value, EKroErrCode* peErr) = 0;
  virtual HRESULT GetDatumConversionMethod(SHORT* value) = 0;
  virtual HRESULT SetEllipsoidCode(BSTR value, EKroErrCode* peErr) = 0;
  virtual HRESULT GetEllipsoidCode(BSTR* value) = 0;
  virtual HRESULT SetEllipsoidDescription(BSTR value, EKroErrCode* peErr) = 0;
  virtual HRESULT GetEllipsoidDescription(BSTR* value) = 0;
  virtual HRESULT SetEllipsoidEquatorialRadius(double value, EKroErrCode* peErr) = 0;
  virtual HRESULT GetEllipsoidEquatorialRadius(double* value) = 0;
  virtual HRESULT SetEllipsoidPolarRadius(double value, EKroErrCode* peErr) = 0;
  virtual HRESULT GetEllipsoidPolarRadius(double* value) = 0;
};

struct IKroGafExport : IUnknown {
  virtual HRESULT Export(IKroGeometrySource* pSource, IKroGafPreferences* pPrefs,
                         IKroProgressIndicator* pProgress, LONG* lNumExported, LONG* lNumMaxVertex,
                         LONG* lNumPlinesFailed, EKroErrCode* peErrCode) = 0;
};

struct IKroGafImport : IUnknown {
  virtual HRESULT Initialize(IKroGafPreferences* pPref, EKroErrCode* pErr) = 0;
  virtual HRESULT Import(IKroGafPreferences* pPref, BoundingBoxNode* pBox, IKroGeometrySource** ppSource,
                         EKroErrCode* pErr) = 0;
  virtual HRESULT GetBoundingBox(BoundingBoxNode* pBoundingBox) = 0;
  virtual HRESULT GetCoordSysName(BSTR* ppCoordSysName) = 0;
  virtual HRESULT GetNumberOfObjects(LONG* plNumOfObj) = 0;
  virtual HRESULT GafHasMetaData(LONG* pbHasMetaData) = 0;
  virtual HRESULT GetCoordSysCode(BSTR* ppCoordSysCode) = 0;
  virtual HRESULT GetCoordSysDescription(BSTR* ppCoordSysCode) = 0;
  virtual HRESULT GetCoordSysGroupCode(BSTR* ppCoordSysGroupCode) = 0;
  virtual HRESULT GetCoordSysProjectionCode(BSTR* ppCoordSysProjectionCode) = 0;
  virtual HRESULT GetCoordSysUnitCode(BSTR* ppCoordSysUnitCode) = 0;
  virtual HRESULT GetCoordSysOriginLongitude(double* pdCoordSysOriginLongitude) = 0;
  virtual HRESULT GetCoordSysOriginLatitude(double* pdCoordSysOriginLatitude) = 0;
  virtual HRESULT GetCoordSysXYOffset(double* pdCoordSysXOffset, double* pdCoordSysYOffset) = 0;
  virtual HRESULT GetCoordSysScales(double* pdCoordSysScaleReduction, double* pdCoordSysUnitScale,
                                    double* pdCoordSysMapScale, double* pdCoordSysScale) = 0;
  virtual HRESULT GetCoordSysProjectionParameter(int nIndex, double* pdCoordSysProjectionParameter) = 0;
  virtual HRESULT GetDatumCodeAndDescription(BSTR* pDatumCode, BSTR* pDatumDescription) = 0;
  virtual HRESULT GetDatumDoubles(double* pdDatumDeltaX, double* pdDatumDeltaY, double* pdDatumDeltaZ,
                                  double* pdDatumRotationX, double* pdDatumRotationY,
                                  double* pdDatumRotationZ, double* pdDatumBWScaleFactor,
                                  SHORT* psDatumConversionMethod) = 0;
  virtual HRESULT GetEllipsoidMembers(BSTR* pcEllipsoidCode, BSTR* pcEllipsoidDescription,
                                      double* pdEllipsoidEquatorialRadius,
                                      double* pdEllipsoidPolarRadius) = 0;
};

// Interface identifiers.
constexpr IID IID_IKroGafExport = {0x6B1E2A01, 0x3C4D, 0x4E5F, {0x90, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x6F, 0x01}};
constexpr IID IID_IKroGeometrySource = {0x6B1E2A02, 0x3C4D, 0x4E5F, {0x90, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x6F, 0x02}};
constexpr IID IID_IKroEnumGeometry = {0x6B1E2A03, 0x3C4D, 0x4E5F, {0x90, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x6F, 0x03}};
constexpr IID IID_IKroGeometry = {0x6B1E2A04, 0x3C4D, 0x4E5F, {0x90, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x6F, 0x04}};
constexpr IID IID_IKroPoint = {0x6B1E2A05, 0x3C4D, 0x4E5F, {0x90, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x6F, 0x05}};
constexpr IID IID_IKroPolyline = {0x6B1E2A06, 0x3C4D, 0x4E5F, {0x90, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x6F, 0x06}};
constexpr IID IID_IKroPolygon = {0x6B1E2A07, 0x3C4D, 0x4E5F, {0x90, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x6F, 0x07}};
constexpr IID IID_IKroPolyPolyline = {0x6B1E2A08, 0x3C4D, 0x4E5F, {0x90, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x6F, 0x08}};
constexpr IID IID_IKroPolyPolygon = {0x6B1E2A09, 0x3C4D, 0x4E5F, {0x90, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x6F, 0x09}};
constexpr IID IID_IKroProgressIndicator = {0x6B1E2A0A, 0x3C4D, 0x4E5F, {0x90, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x6F, 0x0A}};
constexpr IID IID_IKroGafPreferences = {0x6B1E2A0B, 0x3C4D, 0x4E5F, {0x90, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x6F, 0x0B}};
constexpr IID IID_IKroGafImport = {0x6B1E2A0C, 0x3C4D, 0x4E5F, {0x90, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x6F, 0x0C}};

// Class identifiers, in the order of the module's class table.
constexpr CLSID CLSID_KroGafExport = {0x8D2F3B01, 0x5A6B, 0x4C7D, {0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6, 0x07, 0x01}};
constexpr CLSID CLSID_KroGafPreferences = {0x8D2F3B02, 0x5A6B, 0x4C7D, {0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6, 0x07, 0x02}};
constexpr CLSID CLSID_KroGeometrySource = {0x8D2F3B03, 0x5A6B, 0x4C7D, {0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6, 0x07, 0x03}};
constexpr CLSID CLSID_KroProgressIndicator = {0x8D2F3B04, 0x5A6B, 0x4C7D, {0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6, 0x07, 0x04}};
constexpr CLSID CLSID_KroEnumGeometry = {0x8D2F3B05, 0x5A6B, 0x4C7D, {0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6, 0x07, 0x05}};
constexpr CLSID CLSID_KroPoint = {0x8D2F3B06, 0x5A6B, 0x4C7D, {0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6, 0x07, 0x06}};
constexpr CLSID CLSID_KroPolyline = {0x8D2F3B07, 0x5A6B, 0x4C7D, {0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6, 0x07, 0x07}};
constexpr CLSID CLSID_KroPolygon = {0x8D2F3B08, 0x5A6B, 0x4C7D, {0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6, 0x07, 0x08}};
constexpr CLSID CLSID_KroPolyPolyline = {0x8D2F3B09, 0x5A6B, 0x4C7D, {0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6, 0x07, 0x09}};
constexpr CLSID CLSID_KroPolyPolygon = {0x8D2F3B0A, 0x5A6B, 0x4C7D, {0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6, 0x07, 0x0A}};
constexpr CLSID CLSID_KroGafImport = {0x8D2F3B0B, 0x5A6B, 0x4C7D, {0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6, 0x07, 0x0B}};
// Carried in the registration data only; no class of the module answers it.
constexpr CLSID CLSID_KroGeometry = {0x8D2F3B0C, 0x5A6B, 0x4C7D, {0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6, 0x07, 0x0C}};
// An IKroGafExport that writes a new set in map order: its records in Hilbert
// order of their boxes, both indexes loaded packed, in bounded memory. It
// answers as KroGafExport does, and refuses every open mode but
// kGafCreateNew with eKroInvalidParameter.
constexpr CLSID CLSID_KroGafOrderedExport = {0x8D2F3B0D, 0x5A6B, 0x4C7D, {0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6, 0x07, 0x0D}};

// "KroGafExportImport 1.0 Type Library", KROGAFEXPORTIMPORTLib version 1.0.
constexpr GUID LIBID_KROGAFEXPORTIMPORTLib = {0x8D2F3B00, 0x5A6B, 0x4C7D, {0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6, 0x07, 0x00}};

#endif
