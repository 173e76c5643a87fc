// Small helpers of the host programs: wide strings for the interface built
// from plain ASCII text, and a check that prints a failed call.
#ifndef KRO_HOST_DEMO_HOSTTEXT_H
#define KRO_HOST_DEMO_HOSTTEXT_H

#include <KroGafExportImport/KroGafExportImport.h>

#include <cstdio>
#include <string>

// A BSTR owned for the length of a call, from UTF-8 text (a malformed
// sequence becomes U+FFFD).
class Text {
 public:
  explicit Text(const std::string& text) { bstr_ = SysAllocString(Utf16(text).c_str()); }
  ~Text() { SysFreeString(bstr_); }
  Text(const Text&) = delete;
  Text& operator=(const Text&) = delete;
  operator BSTR() const { return bstr_; }

 private:
  static std::u16string Utf16(const std::string& text) {
    std::u16string wide;
    for (size_t i = 0; i < text.size();) {
      const unsigned char lead = static_cast<unsigned char>(text[i]);
      const size_t length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
      char32_t code = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
      bool valid = length != 0 && i + length <= text.size();
      for (size_t k = 1; valid && k < length; ++k) {
        const unsigned char next = static_cast<unsigned char>(text[i + k]);
        valid = (next & 0xC0) == 0x80;
        code = (code << 6) | (next & 0x3F);
      }
      if (!valid) code = 0xFFFD;
      if (code >= 0x10000) {
        wide += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
        wide += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
      } else {
        wide += static_cast<char16_t>(code);
      }
      i += valid ? length : 1;
    }
    return wide;
  }

  BSTR bstr_;
};

inline bool Check(HRESULT hr, const char* what) {
  if (FAILED(hr)) std::printf("%s failed: 0x%08X\n", what, static_cast<unsigned>(hr));
  return SUCCEEDED(hr);
}

#endif
