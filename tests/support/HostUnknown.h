// Reference counting and interface lookup as a host implements them for its
// own objects, without any of the library's component classes. Shared by the
// driver tests and the export benchmark.
#ifndef KRO_TESTS_SUPPORT_HOSTUNKNOWN_H
#define KRO_TESTS_SUPPORT_HOSTUNKNOWN_H

#include <type_traits>

#include "KroGafExportImport/KroGafExportImport.h"
#include "com/ComPtr.h"

namespace kro::test {

// Objects of the test host alive now (geometry, sources and enumerators).
inline int& LiveHostObjects() {
  static int live = 0;
  return live;
}

// Reference counting and lookup of one host interface `Itf`.
template <class Itf>
class HostUnknown : public Itf {
 public:
  HostUnknown() { ++LiveHostObjects(); }
  virtual ~HostUnknown() { --LiveHostObjects(); }
  HostUnknown(const HostUnknown&) = delete;
  HostUnknown& operator=(const HostUnknown&) = delete;

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (!Answers(riid)) return E_NOINTERFACE;
    *ppv = static_cast<Itf*>(this);
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++references_; }
  ULONG Release() override {
    const ULONG remaining = --references_;
    if (remaining == 0) delete this;
    return remaining;
  }
  ULONG References() const { return references_; }

 private:
  bool Answers(REFIID riid) const {
    return riid == IID_IUnknown || riid == IidOf<Itf>() ||
           (std::is_base_of_v<IKroGeometry, Itf> && riid == IID_IKroGeometry);
  }
  ULONG references_ = 0;  // the creator takes the first reference
};

}  // namespace kro::test

#endif
