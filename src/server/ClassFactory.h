// The class object of one creatable class. It lives as long as the module
// (the class table holds it), so it does not count in the module lock count;
// LockServer does.
#ifndef KRO_SERVER_CLASSFACTORY_H
#define KRO_SERVER_CLASSFACTORY_H

#include <atomic>

#include "KroGafExportImport/KroPlatform.h"

namespace kro {

using CreateInstanceFunction = HRESULT (*)(REFIID riid, void** ppv);

class CClassFactory : public IClassFactory {
 public:
  explicit CClassFactory(CreateInstanceFunction create) : create_(create) {}
  virtual ~CClassFactory() = default;

  HRESULT QueryInterface(REFIID riid, void** ppvObject) override;
  ULONG AddRef() override;
  ULONG Release() override;
  // Aggregation is not supported: a non-null outer object gives
  // CLASS_E_NOAGGREGATION.
  HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) override;
  HRESULT LockServer(int fLock) override;

 private:
  CreateInstanceFunction create_;
  std::atomic<ULONG> references_{1};
};

}  // namespace kro

#endif
