// An owning pointer to a reference-counted object: it holds one reference and
// releases it when it goes away. T is an interface or a class of the library.
#ifndef KRO_COMPONENT_COMPTR_H
#define KRO_COMPONENT_COMPTR_H

#include <utility>

#include "component/InterfaceTraits.h"

namespace kro {

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}  // so that `return nullptr;` reads naturally

  // Takes over a reference the caller already owns.
  static ComPtr Adopt(T* object) {
    ComPtr result;
    result.object_ = object;
    return result;
  }
  // Takes a new reference of its own.
  static ComPtr Share(T* object) {
    if (object != nullptr) object->AddRef();
    return Adopt(object);
  }

  ComPtr(const ComPtr& other) : object_(other.object_) {
    if (object_ != nullptr) object_->AddRef();
  }
  ComPtr(ComPtr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }
  ~ComPtr() { Reset(); }

  T* Get() const { return object_; }
  T* operator->() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

  void Reset() {
    if (object_ != nullptr) std::exchange(object_, nullptr)->Release();
  }
  // Gives up the reference to the caller.
  T* Detach() { return std::exchange(object_, nullptr); }

  // For out-parameters: releases what is held and returns the slot to fill.
  T** Put() {
    Reset();
    return &object_;
  }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }

  // Asks the object for interface U; `out` is emptied first.
  template <class U>
  HRESULT As(ComPtr<U>* out) const {
    if (out == nullptr) return E_POINTER;
    if (object_ == nullptr) {
      out->Reset();
      return E_POINTER;
    }
    return object_->QueryInterface(IidOf<U>(), out->PutVoid());
  }

 private:
  T* object_ = nullptr;
};

}  // namespace kro

#endif
