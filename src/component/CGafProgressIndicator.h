// KroProgressIndicator: the indicator a host may pass when it has none of its
// own. Every operation succeeds and writes nothing, so a caller's variables
// keep what they held (an export keeps running: its abort flag stays 0).
#ifndef KRO_COMPONENT_CGAFPROGRESSINDICATOR_H
#define KRO_COMPONENT_CGAFPROGRESSINDICATOR_H

#include "com/ComObject.h"

namespace kro {

class CGafProgressIndicator final : public ComObject<IKroProgressIndicator> {
 public:
  HRESULT NotifyProgress(int /*nTotal*/, int /*nSucceeded*/) override { return S_OK; }
  HRESULT InquireAbort(LONG* /*pbAbort*/) override { return S_OK; }
  HRESULT GetInterval(int* /*pnInterval*/) override { return S_OK; }
  HRESULT SetTotalNumOfObjects(LONG /*lNumObjects*/) override { return S_OK; }
};

}  // namespace kro

#endif
