// What the tools count as damage in a record that the data file's framing
// and decoding let through: a coordinate that is no finite number (no writer
// of the library stores one, and none can be written back), and a stored
// length its contents leave too much of.
#ifndef KRO_GAFTOOL_RECORDDAMAGE_H
#define KRO_GAFTOOL_RECORDDAMAGE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "KroGafExportImport/KroGafExportImport.h"

namespace gaftool {

constexpr size_t kAllFinite = static_cast<size_t>(-1);

// The index of the first vertex with a NaN or infinite coordinate, or
// kAllFinite.
size_t FirstNonFiniteVertex(const std::vector<CKroDoublePointNode>& points);

// "the record at 0x..: vertex N has a coordinate that is not a finite number".
std::string NonFiniteMessage(uint32_t position, size_t vertex);

// A record may be longer than its contents: a writer that reuses a free
// record keeps that record's length, but only when what is left over is less
// than the new contents (the data file's own length rule). Anything left over
// beyond that cannot come from a reuse: a count of the record is damaged.
// The empty text, or why the record of `kind` at `position` is damaged.
std::string LengthDamage(EGafObjectType kind, uint32_t position, uint32_t contentBytes, uint32_t unusedBytes);

}  // namespace gaftool

#endif
