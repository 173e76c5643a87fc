// KroGafImport: reads a file set back. Initialize opens the set once, keeps a
// copy of what describes the file as a whole (box, object count,
// coordinate-system name and metadata record, whether it has metadata) and
// closes it again; every getter answers from that copy. Import hands out a
// geometry source bound to a file name, an open mode and an optional box,
// whose enumerators open the set. The object, its sources and their
// enumerators share one reader pool (ReaderPool.h): a finished enumerator's
// reader is parked there, without its locks, and the next enumerator of the
// same set resumes it instead of opening the set again, as long as the set
// did not change meanwhile.
//
// Every getter answers a null out-pointer with E_POINTER and writes nothing.
#ifndef KRO_DRIVERS_CGAFIMPORT_H
#define KRO_DRIVERS_CGAFIMPORT_H

#include <optional>

#include "com/BoundaryText.h"
#include "com/ComObject.h"
#include "com/ComPtr.h"
#include "drivers/ReaderPool.h"
#include "engine/datafile/GafCoordSys.h"
#include "engine/fileaccess/Env.h"

namespace kro {

class CGafImport final : public ComObject<IKroGafImport> {
 public:
  // The set is read in `env`.
  explicit CGafImport(Env& env = Env::Default());
  ~CGafImport() override;

  HRESULT Initialize(IKroGafPreferences* pPref, EKroErrCode* pErr) override;
  HRESULT Import(IKroGafPreferences* pPref, BoundingBoxNode* pBox, IKroGeometrySource** ppSource,
                 EKroErrCode* pErr) override;
  HRESULT GetBoundingBox(BoundingBoxNode* pBoundingBox) override;
  HRESULT GetCoordSysName(BSTR* ppCoordSysName) override;
  HRESULT GetNumberOfObjects(LONG* plNumOfObj) override;
  HRESULT GafHasMetaData(LONG* pbHasMetaData) override;

  // The record getters answer from the last metadata read, or the record's
  // defaults before any; they do not require Initialize.
  HRESULT GetCoordSysCode(BSTR* ppCoordSysCode) override;
  HRESULT GetCoordSysDescription(BSTR* ppCoordSysCode) override;
  HRESULT GetCoordSysGroupCode(BSTR* ppCoordSysGroupCode) override;
  HRESULT GetCoordSysProjectionCode(BSTR* ppCoordSysProjectionCode) override;
  HRESULT GetCoordSysUnitCode(BSTR* ppCoordSysUnitCode) override;
  HRESULT GetCoordSysOriginLongitude(double* pdCoordSysOriginLongitude) override;
  HRESULT GetCoordSysOriginLatitude(double* pdCoordSysOriginLatitude) override;
  HRESULT GetCoordSysXYOffset(double* pdCoordSysXOffset, double* pdCoordSysYOffset) override;
  HRESULT GetCoordSysScales(double* pdCoordSysScaleReduction, double* pdCoordSysUnitScale,
                            double* pdCoordSysMapScale, double* pdCoordSysScale) override;
  // E_INVALIDARG for an index outside 0 to 23.
  HRESULT GetCoordSysProjectionParameter(int nIndex, double* pdCoordSysProjectionParameter) override;
  HRESULT GetDatumCodeAndDescription(BSTR* pDatumCode, BSTR* pDatumDescription) override;
  HRESULT GetDatumDoubles(double* pdDatumDeltaX, double* pdDatumDeltaY, double* pdDatumDeltaZ,
                          double* pdDatumRotationX, double* pdDatumRotationY, double* pdDatumRotationZ,
                          double* pdDatumBWScaleFactor, SHORT* psDatumConversionMethod) override;
  HRESULT GetEllipsoidMembers(BSTR* pcEllipsoidCode, BSTR* pcEllipsoidDescription,
                              double* pdEllipsoidEquatorialRadius, double* pdEllipsoidPolarRadius) override;

 private:
  Env& env_;
  GafCoordSys record_;
  std::optional<BoundingBoxNode> box_;
  LONG objectCount_ = 0;
  bool initialized_ = false;
  OptionalText coordSysName_;
  LONG hasMetaData_ = 0;
  // Made by the first Import that finds memory for it.
  ComPtr<ReaderPool> readers_;
};

}  // namespace kro

#endif
