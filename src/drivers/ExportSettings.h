// What an export reads from the preferences: the file-level settings, and the
// coordinate-system record when the preferences carry a coordinate-system
// code. Texts are converted to multi-byte text; a text property that is
// absent stays absent here.
#ifndef KRO_DRIVERS_EXPORTSETTINGS_H
#define KRO_DRIVERS_EXPORTSETTINGS_H

#include <string>

#include "KroGafExportImport/KroGafExportImport.h"
#include "com/BoundaryText.h"

namespace kro {

struct GafCoordSys;

struct ExportSettings {
  OptionalText fileName;
  OptionalText coordSysCode;
  EKroGafOpenFlags openMode = kGafUnknownStatus;
  LONG useKif = 0;
  OptionalText description;
  // A value that the preferences do not answer stays invalid and is refused
  // when it is used.
  SHORT precision = 0;

  // Whether a coordinate-system record is to be written: a code of at least
  // one character.
  bool HasCoordSys() const { return coordSysCode && !coordSysCode->empty(); }
};

// Reads file name, coordinate-system code, open mode, UseKif, description and
// precision, in that order. eKroOk or eKroOutOfMemory.
EKroErrCode ReadExportSettings(IKroGafPreferences* preferences, ExportSettings& settings);

// Fills `record` (which starts with the defaults) from the preferences: the
// coordinate system always, the datum only when the preferences have a datum
// code, the ellipsoid only when they have an ellipsoid code. Texts are cut to
// 255 bytes without splitting a character; absent texts count as empty.
// eKroOk or eKroOutOfMemory.
EKroErrCode ReadCoordSysRecord(IKroGafPreferences* preferences, const std::string& code, GafCoordSys& record);

}  // namespace kro

#endif
