#include "platform/MultiByte.h"

#include <cstdint>
#include <cstring>

namespace kro {
namespace {

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Expected sequence length from a lead byte, or 0 when it cannot start one.
size_t SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

// Rejects overlong forms, surrogates and code points above U+10FFFF, which
// the lead byte alone cannot exclude.
bool SecondByteAllowed(unsigned char lead, unsigned char second) {
  if (lead == 0xE0) return second >= 0xA0;
  if (lead == 0xED) return second <= 0x9F;
  if (lead == 0xF0) return second >= 0x90;
  if (lead == 0xF4) return second <= 0x8F;
  return true;
}

}  // namespace

size_t MbCharLength(const char* text, size_t available) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  const size_t wanted = SequenceLength(bytes[0]);
  if (wanted <= 1 || wanted > available) return 1;
  if (!SecondByteAllowed(bytes[0], bytes[1])) return 1;
  for (size_t i = 1; i < wanted; ++i) {
    if (!IsContinuation(bytes[i])) return 1;
  }
  return wanted;
}

size_t BoundedLength(const char* text, size_t limit) {
  const void* end = std::memchr(text, 0, limit);
  return end == nullptr ? limit : static_cast<size_t>(static_cast<const char*>(end) - text);
}

// Eight bytes at a time: keys and names are short, and mostly ASCII.
bool IsAsciiRun(const char* text, size_t length) {
  uint64_t highBits = 0;
  size_t i = 0;
  for (; i + sizeof highBits <= length; i += sizeof highBits) {
    uint64_t word;
    std::memcpy(&word, text + i, sizeof word);
    highBits |= word;
  }
  for (; i < length; ++i) highBits |= static_cast<unsigned char>(text[i]);
  return (highBits & 0x8080808080808080ull) == 0;
}

size_t MbBoundedPrefix(const char* text, size_t limit) {
  // Look up to three bytes past the limit, so that a sequence of up to four
  // bytes that straddles the limit is recognised as whole and left out
  // rather than split (its lead byte kept alone).
  const size_t length = BoundedLength(text, limit + 3);
  // ASCII up to the limit: every byte is a character, none straddles it.
  const size_t within = length < limit ? length : limit;
  if (IsAsciiRun(text, within)) return within;
  size_t taken = 0;
  while (taken < length) {
    const size_t step = MbCharLength(text + taken, length - taken);
    if (taken + step > limit) break;
    taken += step;
  }
  return taken;
}

size_t MbCopyBounded(char* dst, const char* src, size_t limit) {
  const size_t taken = MbBoundedPrefix(src, limit);
  std::memcpy(dst, src, taken);
  if (taken < limit) dst[taken] = '\0';
  return taken;
}

void MbCopyField(char* field, const char* src, size_t width) {
  const size_t taken = MbBoundedPrefix(src, width);
  std::memcpy(field, src, taken);
  std::memset(field + taken, 0, width - taken);
}

int MbCompareBounded(const char* a, const char* b, size_t count) {
  const auto* x = reinterpret_cast<const unsigned char*>(a);
  const auto* y = reinterpret_cast<const unsigned char*>(b);
  for (size_t i = 0; i < count; ++i) {
    if (x[i] != y[i]) return x[i] < y[i] ? -1 : 1;
    if (x[i] == 0) return 0;
  }
  return 0;
}

}  // namespace kro
