#include "platform/CodePage.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/MultiByte.h"

namespace kro {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// Writes `code` as one or two UTF-16 units; returns how many.
size_t PutUtf16(char16_t* out, char32_t code) {
  if (code < 0x10000) {
    out[0] = static_cast<char16_t>(code);
    return 1;
  }
  code -= 0x10000;
  out[0] = static_cast<char16_t>(0xD800 | (code >> 10));
  out[1] = static_cast<char16_t>(0xDC00 | (code & 0x3FF));
  return 2;
}

// Decodes one well-formed sequence of `length` bytes (as MbCharLength found).
char32_t DecodeUtf8(const unsigned char* bytes, size_t length) {
  if (length == 1) return bytes[0] < 0x80 ? bytes[0] : kReplacement;
  char32_t code = bytes[0] & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) code = (code << 6) | (bytes[i] & 0x3F);
  return code;
}

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

std::string WideToMultiByte(const char16_t* text, size_t length) {
  std::string out;
  out.reserve(length);
  for (size_t i = 0; i < length; ++i) {
    const char16_t unit = text[i];
    if (IsHighSurrogate(unit) && i + 1 < length && IsLowSurrogate(text[i + 1])) {
      const char32_t code = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
                            (static_cast<char32_t>(text[i + 1]) - 0xDC00);
      AppendUtf8(out, code);
      ++i;
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}

std::string BstrToMultiByte(BSTR text) {
  if (text == nullptr) return std::string();
  size_t length = 0;
  while (text[length] != 0) ++length;
  return WideToMultiByte(text, length);
}

// Calls `emit` with each code point of `length` bytes of UTF-8, an invalid
// byte giving U+FFFD.
template <typename Emit>
void ForEachCodePoint(const char* text, size_t length, Emit emit) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  size_t i = 0;
  while (i < length) {
    if (bytes[i] < 0x80) {
      emit(static_cast<char32_t>(bytes[i++]));
      continue;
    }
    const size_t step = MbCharLength(text + i, length - i);
    emit(DecodeUtf8(bytes + i, step));
    i += step;
  }
}

std::u16string MultiByteToWide(const char* text, size_t length) {
  std::u16string out;
  out.reserve(length);
  ForEachCodePoint(text, length, [&out](char32_t code) {
    char16_t units[2];
    out.append(units, PutUtf16(units, code));
  });
  return out;
}

BSTR MultiByteToBstr(const char* text) { return MultiByteToBstr(text, std::strlen(text)); }

// ASCII text, the common case, is widened in one pass; other text takes two,
// counting the UTF-16 units and then decoding into the string itself. Either
// way a conversion makes one allocation.
BSTR MultiByteToBstr(const char* text, size_t length) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  const bool ascii = IsAsciiRun(text, length);
  size_t units = length;
  if (!ascii) {
    units = 0;
    ForEachCodePoint(text, length, [&units](char32_t code) { units += code < 0x10000 ? 1 : 2; });
  }
  if (units > std::numeric_limits<UINT>::max()) return nullptr;
  BSTR out = SysAllocStringLen(nullptr, static_cast<UINT>(units));
  if (out == nullptr) return nullptr;
  if (ascii) {
    std::copy_n(bytes, length, out);
    return out;
  }
  OLECHAR* next = out;
  ForEachCodePoint(text, length, [&next](char32_t code) { next += PutUtf16(next, code); });
  return out;
}

}  // namespace kro
