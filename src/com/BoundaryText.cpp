#include "com/BoundaryText.h"

#include <cstring>
#include <new>

#include "platform/CodePage.h"

namespace kro {
namespace {

HRESULT CopyOut(const char* text, size_t length, BSTR* out) {
  try {
    *out = MultiByteToBstr(text, length);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

HRESULT BstrToText(BSTR text, std::string* out) {
  try {
    *out = BstrToMultiByte(text);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT BstrToOptionalText(BSTR text, OptionalText* out) {
  if (text == nullptr) {
    out->reset();
    return S_OK;
  }
  std::string converted;
  const HRESULT hr = BstrToText(text, &converted);
  if (hr == S_OK) *out = std::move(converted);
  return hr;
}

HRESULT TextToBstr(const OptionalText& text, BSTR* out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  // A stored text holds no zero byte: every way in stops at the first one.
  return text ? CopyOut(text->data(), text->size(), out) : S_OK;
}

HRESULT TextToBstr(const char* text, BSTR* out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  return CopyOut(text, std::strlen(text), out);
}

}  // namespace kro
