// One export from a host program: preferences for a 64-bit set with a key
// index and the LL84 coordinate system, the host's own geometry source over
// `objects`, and a progress indicator that prints.
#ifndef KRO_HOST_DEMO_HOSTEXPORT_H
#define KRO_HOST_DEMO_HOSTEXPORT_H

#include <KroGafExportImport/KroComPtr.h>
#include <KroGafExportImport/KroGafExportImport.h>
#include <KroGafExportImport/KroModule.h>

#include <string>
#include <vector>

struct HostExportSettings {
  std::string file;
  std::string description;
  EKroGafOpenFlags mode = kGafCreateNew;
  EGafObjectType type = kGafPolygonObject;
};

struct HostExportResult {
  HRESULT hr = E_FAIL;
  EKroErrCode code = eKroUnknownErr;
  LONG exported = 0;
};

HostExportResult ExportObjects(const kro::KroModule& module, const HostExportSettings& settings,
                               const std::vector<kro::KroComPtr<IKroGeometry>>& objects);

#endif
