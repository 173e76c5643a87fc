// Texts handed to GDAL are UTF-8, as the layer promises (OLCStringsAsUTF8):
// a stored text that is not is repaired by the library's own rule, each byte
// that starts no valid sequence read as U+FFFD.
#ifndef KRO_GDAL_GAFUTF8_H
#define KRO_GDAL_GAFUTF8_H

#include <string>

namespace kro {

// Whether `text` is valid UTF-8; an ASCII text is found so without decoding.
bool IsValidUtf8(const std::string& text);

// Replaces each invalid byte of `text` by U+FFFD; a valid text is left as it
// is. Returns whether anything was replaced.
bool RepairUtf8(std::string& text);

}  // namespace kro

#endif
