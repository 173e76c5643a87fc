#include "HostExport.h"

#include "HostGeometrySource.h"
#include "HostText.h"
#include "PrintingProgress.h"

HostExportResult ExportObjects(const kro::KroModule& module, const HostExportSettings& settings,
                               const std::vector<kro::KroComPtr<IKroGeometry>>& objects) {
  HostExportResult result;
  kro::KroComPtr<IKroGafPreferences> prefs;
  kro::KroComPtr<IKroGafExport> exporter;
  if (!Check(module.CreateInstance(CLSID_KroGafPreferences, IID_IKroGafPreferences, prefs.PutVoid()), "preferences") ||
      !Check(module.CreateInstance(CLSID_KroGafExport, IID_IKroGafExport, exporter.PutVoid()), "export")) {
    return result;
  }
  EKroErrCode err;
  prefs->SetGafFileName(Text(settings.file), &err);
  prefs->SetFileDescription(Text(settings.description));
  prefs->SetCoordPrecision(64, &err);  // 64-bit sets can be appended to later
  prefs->SetOpenStatus(settings.mode, &err);
  prefs->SetObjectType(settings.type, &err);
  prefs->put_UseKif(-1);
  prefs->SetCoordSysCode(Text("LL84"), &err);
  auto source = kro::KroComPtr<IKroGeometrySource>::Adopt(new HostGeometrySource(objects));
  auto progress = kro::KroComPtr<IKroProgressIndicator>::Adopt(new PrintingProgress());
  LONG maxVertex = 0, failed = 0;
  result.hr = exporter->Export(source.Get(), prefs.Get(), progress.Get(), &result.exported, &maxVertex, &failed,
                               &result.code);
  return result;
}
