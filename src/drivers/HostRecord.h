// A host's geometry object as a record: its three texts and its parts and
// vertices, read through the geometry interfaces only. One of the component
// side's two boundary mappings (CGafEnumeratorObjects makes objects from
// records). A host object is not trusted: counts that cannot be right and
// vertex arrays that deliver fewer vertices than the object's own counts add
// up to are refused, and every array is value-initialised, so no undefined
// memory reaches a file.
#ifndef KRO_DRIVERS_HOSTRECORD_H
#define KRO_DRIVERS_HOSTRECORD_H

#include "KroGafExportImport/KroGafExportImport.h"
#include "engine/datafile/GafRecord.h"

namespace kro {

class CGafWriter;

// The object as a record of its kind: point (vertex 0, or (0, 0) when it has
// none), polyline or polygon (set 0; a set count the object does not answer
// reads as 0), multi-polygon (every set). A text the object never had set
// reads as empty text. eKroOk, eKroOutOfMemory, or eKroWriteError for a
// negative or unusable count, more sets or vertices than a record can hold,
// or an array that does not deliver exactly that many vertices.
EKroErrCode ReadHostRecord(IKroPoint* object, GafRecord& record);
EKroErrCode ReadHostRecord(IKroPolyline* object, GafRecord& record);
EKroErrCode ReadHostRecord(IKroPolygon* object, GafRecord& record);
EKroErrCode ReadHostRecord(IKroPolyPolygon* object, GafRecord& record);

// Reads the host object, then writes it through the writer: 0 or an
// EKroErrCode: eKroNullObject, eKroWriteError (no open set, an object that
// cannot be read as the counts it answers, or any file refused the object),
// eKroOutOfMemory. `boxOut` (optional) receives the object's box as the data
// file computed it.
EKroErrCode WriteHostObject(CGafWriter& writer, IKroPoint* object, BoundingBoxNode* boxOut);
EKroErrCode WriteHostObject(CGafWriter& writer, IKroPolyline* object, BoundingBoxNode* boxOut);
EKroErrCode WriteHostObject(CGafWriter& writer, IKroPolygon* object, BoundingBoxNode* boxOut);
EKroErrCode WriteHostObject(CGafWriter& writer, IKroPolyPolygon* object, BoundingBoxNode* boxOut);

// A host object of an export path: the path's object type says which
// geometry interface it must have (a polygon path takes multi-polygons too).
// False when the object has none of them or the write failed.
bool WriteHostGeometry(CGafWriter& writer, EGafObjectType type, IKroGeometry* object);

}  // namespace kro

#endif
