// KroGafExport: writes every object of one kind that a host's geometry source
// yields into a file set, with the file-level settings of the preferences.
// The object keeps nothing between calls: each Export opens the set through
// its own writer and closes it before it returns.
#ifndef KRO_DRIVERS_CGAFEXPORT_H
#define KRO_DRIVERS_CGAFEXPORT_H

#include "component/ComObject.h"

namespace kro {

class CGafWriter;
struct ExportSettings;

class CGafExport final : public ComObject<IKroGafExport> {
 public:
  // S_OK with eKroOk (an abort included); S_FALSE with the error code;
  // E_POINTER for a null code, preferences, source or count pointer (the code
  // then stays eKroUnknownErr) or when no writer can be made. Objects written
  // before a failure stay in the set.
  HRESULT Export(IKroGeometrySource* pSource, IKroGafPreferences* pPrefs, IKroProgressIndicator* pProgress,
                 LONG* lNumExported, LONG* lNumMaxVertex, LONG* lNumPlinesFailed, EKroErrCode* peErrCode) override;

 private:
  // Opens the set and applies description, precision and the
  // coordinate-system record.
  static EKroErrCode PrepareFileSet(CGafWriter& writer, IKroGafPreferences* preferences,
                                    const ExportSettings& settings);
};

}  // namespace kro

#endif
