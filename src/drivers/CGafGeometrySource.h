// KroGeometrySource: what an import hands the host. It remembers the file
// set, the open mode, the optional box and the whole file's object count, and
// gives out a fresh, independently open file enumerator on every request. A
// source that a host creates itself is never configured and refuses every
// request. The enumerators of a source configured with a reader pool share
// that pool's parked readers (ReaderPool.h).
#ifndef KRO_DRIVERS_CGAFGEOMETRYSOURCE_H
#define KRO_DRIVERS_CGAFGEOMETRYSOURCE_H

#include "drivers/CGafEnumerator.h"
#include "com/ComPtr.h"

namespace kro {

class CGafGeometrySource final : public ComObject<IKroGeometrySource> {
 public:
  CGafGeometrySource();
  ~CGafGeometrySource() override;

  // Keeps a configured (never opened) enumerator as the template of every
  // enumerator handed out, sharing `readers` when given. 0;
  // eKroInitializationFailed when the template refuses the configuration
  // (no template is kept then); eKroOutOfMemory.
  EKroErrCode Configure(const char* fileName, EKroGafOpenFlags openMode, const BoundingBoxNode* box,
                        LONG objectCount, ReaderPool* readers = nullptr);

  HRESULT EnumGeometry(IKroEnumGeometry** ppEnum) override;
  HRESULT GetNumberOfObjects(LONG* plNumOfObjects) override;

 private:
  ComPtr<CGafEnumerator> template_;
  LONG objectCount_ = 0;
  bool configured_ = false;
};

}  // namespace kro

#endif
