// The coordinate-system record of a data file's header as GDAL metadata
// items, the spatial reference a record's code stands for, and the record a
// spatial reference is stored as.
//
// Codes: "LL84" is WGS 84 longitude/latitude (EPSG:4326); "EPSG:<number>"
// is that EPSG system; any other code, another program's, stands for no
// system GDAL can rebuild, and the record is left to the metadata items.
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

using SpatialReferencePtr = std::unique_ptr<OGRSpatialReference, decltype(&OSRRelease)>;

// In longitude, latitude (easting, northing) order: EPSG:4326 for "LL84",
// the EPSG system of an "EPSG:<number>" code GDAL knows; null for every
// other code (the record still stands in the metadata).
SpatialReferencePtr SpatialReferenceOf(const GafCoordSys& record);

// The record that stores `srs`: WGS 84 longitude/latitude as the record's
// defaults (code "LL84"); any other system with the code "EPSG:<number>"
// when GDAL finds its EPSG code, else the empty code, its name as the
// description, and the numeric fields filled from the system (see the
// coordinate-system section of docs/gaf-format.md).
GafCoordSys CoordSysOf(const OGRSpatialReference& srs);

}  // namespace kro

#endif
