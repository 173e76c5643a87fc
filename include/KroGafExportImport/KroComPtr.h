// A reference-holding smart pointer for the library's interfaces: it releases
// what it holds when it goes out of scope, and copies add a reference.
//
//   kro::KroComPtr<IKroPoint> point;
//   module.CreateInstance(CLSID_KroPoint, IID_IKroPoint, point.PutVoid());
//   point->SetCoords(7.5, 47.3);
#ifndef KROGAFEXPORTIMPORT_KROCOMPTR_H
#define KROGAFEXPORTIMPORT_KROCOMPTR_H

#include <utility>

#include "KroPlatform.h"

namespace kro {

template <typename Interface>
class KroComPtr {
 public:
  KroComPtr() = default;
  // Takes over a reference the caller already owns.
  static KroComPtr Attach(Interface* raw) {
    KroComPtr result;
    result.raw_ = raw;
    return result;
  }
  KroComPtr(const KroComPtr& other) : raw_(other.raw_) {
    if (raw_ != nullptr) raw_->AddRef();
  }
  KroComPtr(KroComPtr&& other) noexcept : raw_(std::exchange(other.raw_, nullptr)) {}
  KroComPtr& operator=(KroComPtr other) noexcept {
    std::swap(raw_, other.raw_);
    return *this;
  }
  ~KroComPtr() { Reset(); }

  void Reset() {
    if (raw_ != nullptr) std::exchange(raw_, nullptr)->Release();
  }
  // Hands the reference to the caller.
  Interface* Detach() { return std::exchange(raw_, nullptr); }

  // For out-parameters: releases what is held and exposes the slot.
  Interface** Put() {
    Reset();
    return &raw_;
  }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }

  // Asks for another interface of the same object.
  template <typename Other>
  HRESULT As(REFIID iid, KroComPtr<Other>& out) const {
    if (raw_ == nullptr) return E_POINTER;
    return raw_->QueryInterface(iid, out.PutVoid());
  }

  Interface* Get() const { return raw_; }
  Interface* operator->() const { return raw_; }
  explicit operator bool() const { return raw_ != nullptr; }

 private:
  Interface* raw_ = nullptr;
};

}  // namespace kro

#endif
