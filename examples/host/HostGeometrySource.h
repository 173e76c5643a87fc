// The host's own geometry source: a list of geometry objects that it hands to
// the export one at a time through an enumerator of its own.
#ifndef KRO_HOST_DEMO_HOSTGEOMETRYSOURCE_H
#define KRO_HOST_DEMO_HOSTGEOMETRYSOURCE_H

#include <KroGafExportImport/KroComPtr.h>
#include <KroGafExportImport/KroGafExportImport.h>

#include <vector>

class HostGeometrySource : public IKroGeometrySource {
 public:
  explicit HostGeometrySource(std::vector<kro::KroComPtr<IKroGeometry>> objects);
  HRESULT QueryInterface(REFIID riid, void** ppv) override;
  ULONG AddRef() override;
  ULONG Release() override;
  HRESULT EnumGeometry(IKroEnumGeometry** ppEnum) override;
  HRESULT GetNumberOfObjects(LONG* plNumOfObjects) override;

 private:
  virtual ~HostGeometrySource() = default;
  std::vector<kro::KroComPtr<IKroGeometry>> objects_;
  ULONG references_ = 1;
};

#endif
