// Hand-made data file bytes for the suites that build files chunk by chunk:
// big-endian integers and reals, the string form, tag words, and the info
// chunk and a minimal header.
#ifndef KRO_TESTS_SUPPORT_GAFBYTES_H
#define KRO_TESTS_SUPPORT_GAFBYTES_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "KroGafExportImport/KroGafExportImport.h"
#include "engine/datafile/GafRecord.h"
#include "support/TempDir.h"

namespace kro::test {

// Big-endian bytes in the data file's forms.
class GafBytes {
 public:
  GafBytes& U8(uint32_t value);
  GafBytes& U16(uint32_t value);
  GafBytes& U32(uint32_t value);
  GafBytes& F64(double value);
  GafBytes& F32(double value);
  GafBytes& Raw(const Bytes& more);
  GafBytes& Zeros(size_t count);
  // The string form: short up to 126 bytes, long from 127.
  GafBytes& Str(const std::string& text);
  // A tag word; the long form when asked or when the length needs it.
  GafBytes& Tag(uint32_t code, uint32_t length, bool longForm = false);
  // A pad byte when `length` is odd.
  GafBytes& Pad(uint32_t length);
  size_t Size() const { return bytes.size(); }
  Bytes bytes;
};

// The info chunk (46 bytes).
GafBytes& AddInfo(GafBytes& out, uint32_t count, uint32_t freeHead, uint32_t kinds,
                  const BoundingBoxNode& box = {0, 0, 0, 0});
// Info chunk, a version chunk (unless version < 0), a precision chunk (unless
// bits == 0), end of header. The first object then starts at out.Size().
GafBytes HeaderBytes(uint32_t count, uint32_t freeHead, uint32_t kinds, int version = 2, uint32_t bits = 32);

// A record of `kind` with the given parts, vertices and texts.
GafRecord Record(EGafObjectType kind, std::vector<int32_t> parts, std::vector<CKroDoublePointNode> vertices,
                 const std::string& name = "", const std::string& key = "", const std::string& url = "");

}  // namespace kro::test

#endif
