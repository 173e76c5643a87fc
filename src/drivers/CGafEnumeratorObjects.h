// Turning a record a file enumerator read into a new geometry object of the
// library: KroPoint, KroPolyline, KroPolyPolyline, KroPolygon or
// KroPolyPolygon for kinds 0, 2, 3, 4 and 5. One of the component side's two
// boundary mappings (HostRecord reads host objects into records).
#ifndef KRO_DRIVERS_CGAFENUMERATOROBJECTS_H
#define KRO_DRIVERS_CGAFENUMERATOROBJECTS_H

#include "com/ComPtr.h"
#include "engine/datafile/GafRecord.h"

namespace kro {

// The record's object with key, name, URL and coordinates; the object holds
// one reference. Empty when the kind has no class or a text or the
// coordinates are refused. Fewer than two vertices are not an error: such an
// object is delivered without coordinates.
ComPtr<IKroGeometry> MakeStoredObject(const GafRecord& record);

}  // namespace kro

#endif
