#include "PrintingProgress.h"

#include <cstdio>

HRESULT PrintingProgress::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (riid != IID_IUnknown && riid != IID_IKroProgressIndicator) return E_NOINTERFACE;
  *ppv = static_cast<IKroProgressIndicator*>(this);
  AddRef();
  return S_OK;
}

ULONG PrintingProgress::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

HRESULT PrintingProgress::NotifyProgress(int total, int done) {
  const int percent = total > 0 ? done * 100 / total : 100;
  if (percent / 25 != lastPercent_ / 25) {
    std::printf("  export progress: %3d%% (%d of %d objects handled)\n", percent, done, total);
    lastPercent_ = percent;
  }
  return S_OK;
}

HRESULT PrintingProgress::InquireAbort(LONG* abort) {
  if (abort == nullptr) return E_POINTER;
  *abort = 0;
  return S_OK;
}

HRESULT PrintingProgress::GetInterval(int* interval) {
  if (interval == nullptr) return E_POINTER;
  *interval = 1;
  return S_OK;
}

HRESULT PrintingProgress::SetTotalNumOfObjects(LONG count) {
  std::printf("  export of %d objects begins\n", static_cast<int>(count));
  return S_OK;
}
