// The small component runtime that a host and the module share: status
// values, identifiers, the reference-counted base interface, class factories
// and length-prefixed UTF-16 strings. The names are those that component
// programmers know from other platforms, so that host code reads as usual.
#ifndef KROGAFEXPORTIMPORT_KROPLATFORM_H
#define KROGAFEXPORTIMPORT_KROPLATFORM_H

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

// 32-bit integer types of the component boundary. `long` of the interfaces is
// 32 bits wide on every platform, so it is spelled LONG here.
typedef int32_t HRESULT;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int16_t SHORT;
typedef uint32_t UINT;
typedef char16_t OLECHAR;
typedef OLECHAR* BSTR;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111u);
constexpr HRESULT SELFREG_E_CLASS = static_cast<HRESULT>(0x80040201u);

inline bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
inline bool FAILED(HRESULT hr) { return hr < 0; }

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
typedef GUID IID;
typedef GUID CLSID;
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;

inline bool IsEqualGUID(REFGUID a, REFGUID b) {
  return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
         std::memcmp(a.Data4, b.Data4, sizeof a.Data4) == 0;
}
inline bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }
inline bool operator!=(REFGUID a, REFGUID b) { return !IsEqualGUID(a, b); }

// Text form of an identifier: "{8D2F3B01-5A6B-4C7D-A1B2-C3D4E5F60701}".
// `text` must hold 39 characters including the terminator.
inline void GuidToText(REFGUID guid, char (&text)[39]) {
  const char* digits = "0123456789ABCDEF";
  auto put = [&](int at, uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i, value >>= 4) text[at + i] = digits[value & 15];
  };
  text[0] = '{';
  put(1, guid.Data1, 8);
  text[9] = '-';
  put(10, guid.Data2, 4);
  text[14] = '-';
  put(15, guid.Data3, 4);
  text[19] = '-';
  put(20, guid.Data4[0], 2);
  put(22, guid.Data4[1], 2);
  text[24] = '-';
  for (int i = 2; i < 8; ++i) put(25 + 2 * (i - 2), guid.Data4[i], 2);
  text[37] = '}';
  text[38] = '\0';
}

// Parses the text form (braces required, hex digits of either case).
inline bool TextToGuid(const char* text, GUID& guid) {
  if (text == nullptr || std::strlen(text) != 38 || text[0] != '{' || text[37] != '}' || text[9] != '-' ||
      text[14] != '-' || text[19] != '-' || text[24] != '-') {
    return false;
  }
  auto hex = [&](int at, int count, uint32_t& value) {
    value = 0;
    for (int i = 0; i < count; ++i) {
      const char c = text[at + i];
      const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
      if (digit < 0) return false;
      value = value << 4 | static_cast<uint32_t>(digit);
    }
    return true;
  };
  uint32_t part = 0;
  GUID result{};
  if (!hex(1, 8, part)) return false;
  result.Data1 = part;
  if (!hex(10, 4, part)) return false;
  result.Data2 = static_cast<uint16_t>(part);
  if (!hex(15, 4, part)) return false;
  result.Data3 = static_cast<uint16_t>(part);
  const int offsets[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (int i = 0; i < 8; ++i) {
    if (!hex(offsets[i], 2, part)) return false;
    result.Data4[i] = static_cast<uint8_t>(part);
  }
  guid = result;
  return true;
}

// Interfaces are plain vtables: no virtual destructor, so that the slot order
// is exactly the order of declaration. Objects free themselves in Release.
struct IUnknown {
  virtual HRESULT QueryInterface(REFIID riid, void** ppvObject) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
};

struct IClassFactory : IUnknown {
  virtual HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) = 0;
  virtual HRESULT LockServer(int fLock) = 0;
};

// Error-information support query; the library answers it for each class's own
// interface but never produces an error-information object.
struct ISupportErrorInfo : IUnknown {
  virtual HRESULT InterfaceSupportsErrorInfo(REFIID riid) = 0;
};

// {00000000-0000-0000-C000-000000000046}
constexpr GUID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// {00000001-0000-0000-C000-000000000046}
constexpr GUID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// {DF0B3D60-548F-101B-8E65-08002B2BD119}
constexpr GUID IID_ISupportErrorInfo = {
    0xDF0B3D60, 0x548F, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};

// BSTR: a pointer to zero-terminated UTF-16 text preceded by a 32-bit byte
// length. The block comes from malloc, so a host and the module, which share
// the process's C runtime, can free each other's strings. These functions are
// inline on purpose: the module exports nothing but its four entry points.
inline BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
  const size_t bytes = static_cast<size_t>(length) * sizeof(OLECHAR);
  if (bytes > 0x7FFFFFF0u) return nullptr;
  auto* block = static_cast<unsigned char*>(std::malloc(sizeof(uint32_t) + bytes + sizeof(OLECHAR)));
  if (block == nullptr) return nullptr;
  const uint32_t prefix = static_cast<uint32_t>(bytes);
  std::memcpy(block, &prefix, sizeof prefix);
  BSTR result = reinterpret_cast<BSTR>(block + sizeof(uint32_t));
  if (text != nullptr && length != 0) std::memcpy(result, text, bytes);
  else if (length != 0) std::memset(result, 0, bytes);
  result[length] = 0;
  return result;
}

inline BSTR SysAllocString(const OLECHAR* text) {
  if (text == nullptr) return nullptr;
  UINT length = 0;
  while (text[length] != 0) ++length;
  return SysAllocStringLen(text, length);
}

inline void SysFreeString(BSTR text) {
  if (text != nullptr) std::free(reinterpret_cast<unsigned char*>(text) - sizeof(uint32_t));
}

inline UINT SysStringByteLen(BSTR text) {
  if (text == nullptr) return 0;
  uint32_t prefix = 0;
  std::memcpy(&prefix, reinterpret_cast<unsigned char*>(text) - sizeof(uint32_t), sizeof prefix);
  return prefix;
}

inline UINT SysStringLen(BSTR text) { return SysStringByteLen(text) / sizeof(OLECHAR); }

#endif
