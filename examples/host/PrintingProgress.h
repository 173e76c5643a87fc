// The host's progress indicator: prints how far an export has come.
#ifndef KRO_HOST_DEMO_PRINTINGPROGRESS_H
#define KRO_HOST_DEMO_PRINTINGPROGRESS_H

#include <KroGafExportImport/KroGafExportImport.h>

class PrintingProgress : public IKroProgressIndicator {
 public:
  HRESULT QueryInterface(REFIID riid, void** ppv) override;
  ULONG AddRef() override { return ++references_; }
  ULONG Release() override;
  HRESULT NotifyProgress(int total, int done) override;
  HRESULT InquireAbort(LONG* abort) override;
  HRESULT GetInterval(int* interval) override;
  HRESULT SetTotalNumOfObjects(LONG count) override;

 private:
  ULONG references_ = 1;
  int lastPercent_ = -100;  // so that 0 % is printed too
};

#endif
