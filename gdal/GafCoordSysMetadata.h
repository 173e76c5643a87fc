// The coordinate-system record of a data file's header as GDAL metadata
// items, and the spatial reference a record's code stands for.
#ifndef KRO_GDAL_GAFCOORDSYSMETADATA_H
#define KRO_GDAL_GAFCOORDSYSMETADATA_H

#include <memory>

#include "cpl_string.h"
#include "ogr_spatialref.h"

namespace kro {

struct GafCoordSys;

// The 28 values of the record (the 24 projection parameters as one
// comma-separated item), each under a name beginning "COORDSYS_", "DATUM_" or
// "ELLIPSOID_"; numbers in a form that reads back to the same double.
CPLStringList CoordSysMetadata(const GafCoordSys& record);

// EPSG:4326 in longitude, latitude order for the code "LL84"; null for every
// other code (the record still stands in the metadata).
std::unique_ptr<OGRSpatialReference, decltype(&OSRRelease)> SpatialReferenceOf(const GafCoordSys& record);

// Whether `srs` is WGS 84 longitude/latitude, the one system whose record the
// writer can fill.
bool IsWgs84Geographic(const OGRSpatialReference& srs);

}  // namespace kro

#endif
