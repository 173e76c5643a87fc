// What makes an object record damaged although it decoded: a coordinate that
// is no finite number (no writer stores one), or a stored length that its
// contents leave more of than a reused free record can (a count of the
// record, or its length, was changed). The record is then not handed on.
#ifndef KRO_GDAL_GAFRECORDDAMAGE_H
#define KRO_GDAL_GAFRECORDDAMAGE_H

#include <string>

#include "KroGafExportImport/KroGafExportImport.h"

class OGRGeometry;

namespace kro {

class CGafReader;

// The empty text, or what is wrong with the coordinates of `geometry`.
std::string CoordinateDamage(const OGRGeometry& geometry);

// The empty text, or what is wrong with the length of the record of `kind`
// that `reader` has just read.
std::string LengthDamage(const CGafReader& reader, EGafObjectType kind);

// The first of both.
std::string RecordDamage(const CGafReader& reader, EGafObjectType kind, const OGRGeometry& geometry);

}  // namespace kro

#endif
