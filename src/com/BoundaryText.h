// Text at the component boundary. Inside the library text is UTF-8 and a text
// property may be absent; outside it is a BSTR that the receiver frees, and an
// absent text is a null BSTR. Every function here reports a failed allocation
// as E_OUTOFMEMORY instead of throwing.
#ifndef KRO_COM_BOUNDARYTEXT_H
#define KRO_COM_BOUNDARYTEXT_H

#include <optional>
#include <string>

#include "KroGafExportImport/KroPlatform.h"

namespace kro {

// A text property: std::nullopt when absent, otherwise UTF-8 text (which may be
// empty).
using OptionalText = std::optional<std::string>;

// Converts `text` to UTF-8 into `*out`; a null BSTR gives empty text.
// S_OK or E_OUTOFMEMORY (then `*out` is unchanged).
HRESULT BstrToText(BSTR text, std::string* out);

// Converts `text` into `*out`, keeping a null BSTR as an absent text.
// S_OK or E_OUTOFMEMORY (then `*out` is unchanged).
HRESULT BstrToOptionalText(BSTR text, OptionalText* out);

// Hands out a new copy of `text` for the receiver to free: a null string when
// absent, an empty (non-null) string when empty. E_POINTER for a null `out`;
// E_OUTOFMEMORY when the copy cannot be made (then *out is null).
HRESULT TextToBstr(const OptionalText& text, BSTR* out);
// The same for text that is always present: `text` (zero-terminated UTF-8)
// becomes a new string, never null on success.
HRESULT TextToBstr(const char* text, BSTR* out);

}  // namespace kro

#endif
