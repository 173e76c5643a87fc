#include "drivers/CGafGeometrySource.h"

#include "com/ComCreate.h"

namespace kro {

CGafGeometrySource::CGafGeometrySource() = default;

CGafGeometrySource::~CGafGeometrySource() = default;

EKroErrCode CGafGeometrySource::Configure(const char* fileName, EKroGafOpenFlags openMode,
                                          const BoundingBoxNode* box, LONG objectCount, ReaderPool* readers) {
  objectCount_ = objectCount;
  template_.Reset();
  ComPtr<CGafEnumerator> enumerator = MakeObject<CGafEnumerator>();
  if (!enumerator) return eKroOutOfMemory;
  if (enumerator->Configure(fileName, openMode, box) != eKroOk) return eKroInitializationFailed;
  enumerator->ShareReaders(readers);
  template_ = std::move(enumerator);
  configured_ = true;
  return eKroOk;
}

HRESULT CGafGeometrySource::EnumGeometry(IKroEnumGeometry** ppEnum) {
  if (!configured_) return S_FALSE;
  if (!template_) return E_POINTER;
  return template_->Clone(ppEnum);
}

HRESULT CGafGeometrySource::GetNumberOfObjects(LONG* plNumOfObjects) {
  if (!configured_) return S_FALSE;
  if (plNumOfObjects == nullptr) return E_POINTER;
  *plNumOfObjects = objectCount_;
  return S_OK;
}

}  // namespace kro
