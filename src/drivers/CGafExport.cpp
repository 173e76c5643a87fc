#include "drivers/CGafExport.h"

#include <memory>
#include <new>

#include "drivers/ExportLoop.h"
#include "drivers/ExportSettings.h"
#include "engine/datafile/GafCoordSys.h"

namespace kro {

HRESULT CGafExport::Export(IKroGeometrySource* pSource, IKroGafPreferences* pPrefs, IKroProgressIndicator* pProgress,
                           LONG* lNumExported, LONG* lNumMaxVertex, LONG* lNumPlinesFailed, EKroErrCode* peErrCode) {
  if (peErrCode == nullptr) return E_POINTER;
  *peErrCode = eKroUnknownErr;
  if (pPrefs == nullptr || pSource == nullptr) return E_POINTER;
  if (lNumExported == nullptr || lNumMaxVertex == nullptr || lNumPlinesFailed == nullptr) return E_POINTER;

  ExportSettings settings;
  EKroErrCode result = ReadExportSettings(pPrefs, settings);
  if (result != eKroOk) {
    *peErrCode = result;
    return S_FALSE;
  }
  // Destroying the writer closes the set on every way out; the ways that
  // report close it themselves.
  std::unique_ptr<CGafWriter> writer(new (std::nothrow) CGafWriter());
  if (writer == nullptr) return E_POINTER;

  result = PrepareFileSet(*writer, pPrefs, settings);
  if (result == eKroOk) {
    EGafObjectType type = kGafUndefinedObject;
    pPrefs->GetObjectType(&type);
    result = IsExportableType(type)
                 ? RunExportLoop(*writer, type, pSource, pProgress, {lNumExported, lNumMaxVertex, lNumPlinesFailed})
                 : eKroInvalidType;
  }
  result = EndFileSet(*writer, result);
  *peErrCode = result;
  return result == eKroOk ? S_OK : S_FALSE;
}

EKroErrCode CGafExport::EndFileSet(CGafWriter& writer, EKroErrCode result) {
  if (!writer.IsOpen()) return result;
  // A failed write leaves nothing of this export behind; every other outcome
  // keeps what was written.
  if (result == eKroWriteError) {
    writer.Discard();
    return result;
  }
  const EKroErrCode finished = writer.Finish();
  return result == eKroOk ? finished : result;
}

EKroErrCode CGafExport::PrepareFileSet(CGafWriter& writer, IKroGafPreferences* preferences,
                                       const ExportSettings& settings) const {
  writer.SetSpatialOrder(order_);  // the writer is not open yet: it takes any order
  if (order_ != GafSpatialOrder::kAsWritten && settings.openMode != kGafCreateNew) return eKroInvalidParameter;
  const char* fileName = settings.fileName ? settings.fileName->c_str() : nullptr;
  if (writer.Open(fileName, settings.openMode, settings.useKif) != eKroOk) return eKroUnableToOpen;
  const char* description = settings.description ? settings.description->c_str() : nullptr;
  if (writer.SetDescription(description) != eKroOk) return eKroInvalidParameter;
  if (writer.SetPrecision(settings.precision) != eKroOk) return eKroInvalidPrecision;
  if (!settings.HasCoordSys()) return eKroOk;
  GafCoordSys record;
  const EKroErrCode result = ReadCoordSysRecord(preferences, *settings.coordSysCode, record);
  if (result != eKroOk) return result;
  return writer.SetCoordSys(&record) == eKroOk ? eKroOk : eKroInvalidParameter;
}

}  // namespace kro
