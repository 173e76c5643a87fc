// Multi-byte text helpers for the library's one 8-bit encoding, UTF-8.
// "Multi-byte aware" means that a whole UTF-8 sequence is never split; a byte
// that does not start a valid sequence counts as one character on its own.
#ifndef KRO_PLATFORM_MULTIBYTE_H
#define KRO_PLATFORM_MULTIBYTE_H

#include <cstddef>

namespace kro {

// Length in bytes (1 to 4) of the character that starts at `text`, looking at
// no more than `available` bytes. Invalid or truncated sequences give 1.
// REQUIRES: available >= 1.
size_t MbCharLength(const char* text, size_t available);

// Number of bytes of the longest prefix of `text` (zero-terminated) that is at
// most `limit` bytes long and ends on a character boundary.
size_t MbBoundedPrefix(const char* text, size_t limit);

// Copies the whole characters of `src` that fit in `limit` bytes, stopping at
// the terminator of `src`; a character that would cross the limit is left out.
// A terminator follows the copied bytes only when fewer than `limit` bytes
// were copied; the caller provides dst[limit] and terminates where it needs.
// Returns the number of bytes copied.
size_t MbCopyBounded(char* dst, const char* src, size_t limit);

// Fills a fixed field of exactly `width` bytes: the whole characters of `src`
// that fit, then zero bytes up to the width. A field filled to its width has
// no terminator.
void MbCopyField(char* field, const char* src, size_t width);

// Compares at most `count` bytes of two zero-terminated (or field-bounded)
// texts character by character with unsigned byte values, ending at the first
// difference or where both end. For UTF-8 this is code point order.
// Returns <0, 0 or >0.
int MbCompareBounded(const char* a, const char* b, size_t count);

// Number of bytes before the terminator, looking at no more than `limit`.
size_t BoundedLength(const char* text, size_t limit);

// Whether the `length` bytes at `text` are all ASCII (below 0x80).
bool IsAsciiRun(const char* text, size_t length);

}  // namespace kro

#endif
