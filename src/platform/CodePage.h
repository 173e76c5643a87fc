// Conversion between the boundary's wide strings (UTF-16) and the library's
// 8-bit multi-byte text (UTF-8). Invalid input never fails a conversion: an
// invalid UTF-8 byte or an unpaired surrogate becomes U+FFFD.
#ifndef KRO_PLATFORM_CODEPAGE_H
#define KRO_PLATFORM_CODEPAGE_H

#include <string>

#include "KroGafExportImport/KroPlatform.h"

namespace kro {

// UTF-16 (not necessarily terminated, `length` code units) to UTF-8.
std::string WideToMultiByte(const char16_t* text, size_t length);

// A BSTR to UTF-8; a null string gives empty text.
std::string BstrToMultiByte(BSTR text);

// UTF-8 (`length` bytes) to UTF-16.
std::u16string MultiByteToWide(const char* text, size_t length);

// Zero-terminated UTF-8 to a newly allocated BSTR that the receiver frees;
// null only when memory runs out.
BSTR MultiByteToBstr(const char* text);
// The same for `length` bytes of UTF-8 without a zero byte among them.
BSTR MultiByteToBstr(const char* text, size_t length);

}  // namespace kro

#endif
