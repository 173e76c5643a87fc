// The loop an export runs once the file set is ready: it pulls the source's
// objects one at a time, writes those that have the interface of the chosen
// kind, reports progress and stops when the host asks it to.
#ifndef KRO_DRIVERS_EXPORTLOOP_H
#define KRO_DRIVERS_EXPORTLOOP_H

#include "KroGafExportImport/KroGafExportImport.h"

namespace kro {

class CGafWriter;

struct ExportCounts {
  LONG* exported;
  LONG* maxVertex;
  LONG* plinesFailed;
};

// Whether `type` is a kind an export writes: points (0), polylines (2) or
// polygons (4, which also takes multi-polygons).
bool IsExportableType(EGafObjectType type);

// Runs at most as many passes as the source says it holds objects, calling
// `progress` (optional) before each, and stops early when the enumerator
// says it has no more (S_FALSE with nothing fetched). eKroOk (also after an
// abort); eKroFailGetObject when the source gives no enumerator;
// eKroWriteError when a file failed and the set is damaged. An object that
// is not fetched, of another kind, or that the writer refuses (an open ring,
// a coordinate that is not finite, a key too long) is only left out of the
// count.
EKroErrCode RunExportLoop(CGafWriter& writer, EGafObjectType type, IKroGeometrySource* source,
                          IKroProgressIndicator* progress, const ExportCounts& counts);

}  // namespace kro

#endif
