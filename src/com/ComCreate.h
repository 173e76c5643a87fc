// Creating objects of the library's classes: through an interface identifier,
// as a class factory does, or directly for the library's own use.
#ifndef KRO_COM_COMCREATE_H
#define KRO_COM_COMCREATE_H

#include <new>
#include <utility>

#include "com/ComPtr.h"

namespace kro {

// A new object of class T holding one reference, or empty when memory runs
// out.
template <class T, class... Args>
ComPtr<T> MakeObject(Args&&... args) {
  T* object = new (std::nothrow) T(std::forward<Args>(args)...);
  if (object != nullptr) object->AddRef();
  return ComPtr<T>::Adopt(object);
}

// A new object of class T, made from `args` and handed out as interface
// `riid` with one reference. E_POINTER for a null `ppv`; E_OUTOFMEMORY;
// E_NOINTERFACE when T does not implement `riid` (no object survives then).
// *ppv is null on every failure.
template <class T, class... Args>
HRESULT CreateInstance(REFIID riid, void** ppv, Args&&... args) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  ComPtr<T> object = MakeObject<T>(std::forward<Args>(args)...);
  if (!object) return E_OUTOFMEMORY;
  return object->QueryInterface(riid, ppv);
}

}  // namespace kro

#endif
