// Owns one BSTR and frees it when it goes away; for the library's own calls of
// getters that hand out strings.
#ifndef KRO_COM_SCOPEDBSTR_H
#define KRO_COM_SCOPEDBSTR_H

#include <utility>

#include "KroGafExportImport/KroPlatform.h"

namespace kro {

class ScopedBstr {
 public:
  ScopedBstr() = default;
  explicit ScopedBstr(BSTR adopted) : text_(adopted) {}
  ScopedBstr(const ScopedBstr&) = delete;
  ScopedBstr& operator=(const ScopedBstr&) = delete;
  ScopedBstr(ScopedBstr&& other) noexcept : text_(std::exchange(other.text_, nullptr)) {}
  ScopedBstr& operator=(ScopedBstr&& other) noexcept {
    std::swap(text_, other.text_);
    return *this;
  }
  ~ScopedBstr() { SysFreeString(text_); }

  BSTR Get() const { return text_; }
  bool IsNull() const { return text_ == nullptr; }
  // For out-parameters: frees what is held and returns the slot to fill.
  BSTR* Put() {
    SysFreeString(std::exchange(text_, nullptr));
    return &text_;
  }
  BSTR Detach() { return std::exchange(text_, nullptr); }

 private:
  BSTR text_ = nullptr;
};

}  // namespace kro

#endif
