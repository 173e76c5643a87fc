// Reading what the writer needs from a host's geometry object: its three
// texts and its vertices, through the geometry interfaces only. A host object
// is not trusted: counts that cannot be right and vertex arrays that deliver
// fewer vertices than the object's own counts add up to are refused, and
// every array is value-initialised, so no undefined memory reaches a file.
#ifndef KRO_DRIVERS_OBJECTCONTENTS_H
#define KRO_DRIVERS_OBJECTCONTENTS_H

#include <cstdint>

#include "KroGafExportImport/KroGafExportImport.h"
#include "fileset/RecordContents.h"

namespace kro {

class CGafWriter;

// A text the object never had set reads as empty text.
// eKroOk or eKroOutOfMemory.
EKroErrCode ReadObjectTexts(IKroGeometry* object, ObjectTexts& texts);

// The point's vertex 0; a point without one reads as (0, 0).
CKroDoublePointNode ReadPointVertex(IKroPoint* object);

// The vertices of set 0 (a set count the object does not answer reads as 0).
// eKroOk, eKroOutOfMemory, or eKroWriteError for a negative or unusable
// count or an array that does not deliver exactly that many vertices.
EKroErrCode ReadSingleSet(IKroPolyline* object, ObjectVertices& vertices);
EKroErrCode ReadSingleSet(IKroPolygon* object, ObjectVertices& vertices);

// Every set's count and all vertices, set after set; the same results, and
// eKroWriteError for more sets than a record can hold.
EKroErrCode ReadMultiSet(IKroPolyPolygon* object, ObjectVertices& vertices);

// Reads the host object, then writes it through the writer: 0 or an
// EKroErrCode: eKroNullObject, eKroWriteError (no open set, an object that
// cannot be read as the counts it answers, or any file refused the object),
// eKroOutOfMemory. `boxOut` (optional) receives the object's box as the data
// file computed it.
EKroErrCode WriteHostObject(CGafWriter& writer, IKroPoint* object, BoundingBoxNode* boxOut);
EKroErrCode WriteHostObject(CGafWriter& writer, IKroPolyline* object, BoundingBoxNode* boxOut);
EKroErrCode WriteHostObject(CGafWriter& writer, IKroPolygon* object, BoundingBoxNode* boxOut);
EKroErrCode WriteHostObject(CGafWriter& writer, IKroPolyPolygon* object, BoundingBoxNode* boxOut);

}  // namespace kro

#endif
