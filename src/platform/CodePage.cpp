#include "platform/CodePage.h"

#include <cstring>

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

void AppendUtf16(std::u16string& out, char32_t code) {
  if (code < 0x10000) {
    out += static_cast<char16_t>(code);
  } else {
    code -= 0x10000;
    out += static_cast<char16_t>(0xD800 | (code >> 10));
    out += static_cast<char16_t>(0xDC00 | (code & 0x3FF));
  }
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

std::u16string MultiByteToWide(const char* text, size_t length) {
  std::u16string out;
  out.reserve(length);
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  size_t i = 0;
  while (i < length) {
    const size_t step = MbCharLength(text + i, length - i);
    AppendUtf16(out, DecodeUtf8(bytes + i, step));
    i += step;
  }
  return out;
}

BSTR MultiByteToBstr(const char* text) {
  const std::u16string wide = MultiByteToWide(text, std::strlen(text));
  return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

}  // namespace kro
