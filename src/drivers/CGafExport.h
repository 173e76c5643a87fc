// KroGafExport: writes every object of one kind that a host's geometry source
// yields into a file set, with the file-level settings of the preferences.
// The object keeps nothing between calls: each Export opens the set through
// its own writer and closes it before it returns.
#ifndef KRO_DRIVERS_CGAFEXPORT_H
#define KRO_DRIVERS_CGAFEXPORT_H

#include "com/ComObject.h"
#include "fileset/CGafWriter.h"

namespace kro {

struct ExportSettings;

// KroGafExport writes the records as they come (kAsWritten);
// KroGafOrderedExport is the same object writing new sets in map order.
class CGafExport final : public ComObject<IKroGafExport> {
 public:
  explicit CGafExport(GafSpatialOrder order = GafSpatialOrder::kAsWritten) : order_(order) {}

  // S_OK with eKroOk (an abort included); S_FALSE with the error code;
  // E_POINTER for a null code, preferences, source or count pointer (the code
  // then stays eKroUnknownErr) or when no writer can be made. An export that
  // fails to write or whose set cannot be finished (eKroWriteError) leaves
  // the set as it was before the export; `lNumExported` still says how far it got. After a
  // refused setting or object type the set stays as the open left it.
  // An ordered export refuses every open mode but kGafCreateNew with
  // eKroInvalidParameter before it touches a file; its set is written when
  // it is finished, and an abort keeps the objects staged until then.
  HRESULT Export(IKroGeometrySource* pSource, IKroGafPreferences* pPrefs, IKroProgressIndicator* pProgress,
                 LONG* lNumExported, LONG* lNumMaxVertex, LONG* lNumPlinesFailed, EKroErrCode* peErrCode) override;

 private:
  // Opens the set and applies description, precision and the
  // coordinate-system record.
  EKroErrCode PrepareFileSet(CGafWriter& writer, IKroGafPreferences* preferences,
                             const ExportSettings& settings) const;
  // Commits the set, or discards it after a failure that must leave nothing
  // behind; the export's final result.
  static EKroErrCode EndFileSet(CGafWriter& writer, EKroErrCode result);

  const GafSpatialOrder order_;
};

}  // namespace kro

#endif
