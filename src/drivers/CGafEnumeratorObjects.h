// Turning the record a file enumerator stands on into a new geometry object
// of the library: KroPoint, KroPolyline, KroPolyPolyline, KroPolygon or
// KroPolyPolygon for kinds 0, 2, 3, 4 and 5.
#ifndef KRO_DRIVERS_CGAFENUMERATOROBJECTS_H
#define KRO_DRIVERS_CGAFENUMERATOROBJECTS_H

#include "com/ComPtr.h"

namespace kro {

class CGafReader;

// Reads the current result of `reader`, whose kind NextResult reported, and
// builds its object with key, name, URL and coordinates; the object holds one
// reference. Empty when the record cannot be read, the kind has no class, or
// a text is refused. Fewer than two vertices are not an error: such an object
// is delivered without coordinates.
ComPtr<IKroGeometry> MakeStoredObject(CGafReader& reader, EGafObjectType kind);

}  // namespace kro

#endif
