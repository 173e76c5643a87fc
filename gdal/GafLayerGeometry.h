// The geometry type a layer of a Gaf file set declares. A set stores no
// declared type: a reopened layer reports the kinds its header says are
// present (points, lines, areas), so a created layer may declare only a type
// that its records give back, and takes only records of that kind.
#ifndef KRO_GDAL_GAFLAYERGEOMETRY_H
#define KRO_GDAL_GAFLAYERGEOMETRY_H

#include <optional>

#include "KroGafExportImport/KroGafExportImport.h"
#include "ogr_core.h"

namespace kro {

// The type a layer created as `declared` reports, as a reopen finds it again
// once it holds records: Point for points and multi-points, LineString for
// lines and multi-lines, Polygon for polygons and multi-polygons (curves
// linearised, Z and M dropped), Unknown for Unknown. Nothing for a type whose
// features no record holds (None, GeometryCollection, surfaces of triangles).
std::optional<OGRwkbGeometryType> LayerTypeDeclaredAs(OGRwkbGeometryType declared);

// Whether a record of `recordType` keeps a layer of `layerType` (as
// LayerTypeDeclaredAs gives it) of that type: Unknown takes every kind.
bool LayerTypeTakes(OGRwkbGeometryType layerType, EGafObjectType recordType);

}  // namespace kro

#endif
