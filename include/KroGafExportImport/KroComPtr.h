// A reference-holding smart pointer for the library's interfaces: it releases
// what it holds when it goes out of scope, and copies add a reference.
//
//   kro::KroComPtr<IKroPoint> point;
//   module.CreateInstance(CLSID_KroPoint, IID_IKroPoint, point.PutVoid());
//   point->SetCoords(7.5, 47.3);
//   kro::KroComPtr<IKroGeometry> geometry;
//   point.As(&geometry);
#ifndef KROGAFEXPORTIMPORT_KROCOMPTR_H
#define KROGAFEXPORTIMPORT_KROCOMPTR_H

#include <cstddef>
#include <utility>

#include "KroGafExportImport.h"

namespace kro {

// The identifier of each interface, so that As() needs no IID argument.
template <class Interface>
struct KroInterfaceId;  // deliberately undefined for unknown interfaces

#define KRO_INTERFACE_ID(Interface, id) \
  template <>                           \
  struct KroInterfaceId<Interface> {    \
    static const IID& Get() { return id; } \
  }
KRO_INTERFACE_ID(IUnknown, IID_IUnknown);
KRO_INTERFACE_ID(IClassFactory, IID_IClassFactory);
KRO_INTERFACE_ID(ISupportErrorInfo, IID_ISupportErrorInfo);
KRO_INTERFACE_ID(IKroGafExport, IID_IKroGafExport);
KRO_INTERFACE_ID(IKroGafImport, IID_IKroGafImport);
KRO_INTERFACE_ID(IKroGafPreferences, IID_IKroGafPreferences);
KRO_INTERFACE_ID(IKroGeometrySource, IID_IKroGeometrySource);
KRO_INTERFACE_ID(IKroEnumGeometry, IID_IKroEnumGeometry);
KRO_INTERFACE_ID(IKroProgressIndicator, IID_IKroProgressIndicator);
KRO_INTERFACE_ID(IKroGeometry, IID_IKroGeometry);
KRO_INTERFACE_ID(IKroPoint, IID_IKroPoint);
KRO_INTERFACE_ID(IKroPolyline, IID_IKroPolyline);
KRO_INTERFACE_ID(IKroPolygon, IID_IKroPolygon);
KRO_INTERFACE_ID(IKroPolyPolyline, IID_IKroPolyPolyline);
KRO_INTERFACE_ID(IKroPolyPolygon, IID_IKroPolyPolygon);
#undef KRO_INTERFACE_ID

// T is an interface, or any class with AddRef, Release and QueryInterface.
template <class T>
class KroComPtr {
 public:
  KroComPtr() = default;
  KroComPtr(std::nullptr_t) {}  // so that `return nullptr;` reads naturally

  // Takes over a reference the caller already owns.
  static KroComPtr Adopt(T* object) {
    KroComPtr result;
    result.object_ = object;
    return result;
  }
  // Takes a new reference of its own.
  static KroComPtr Share(T* object) {
    if (object != nullptr) object->AddRef();
    return Adopt(object);
  }

  KroComPtr(const KroComPtr& other) : object_(other.object_) {
    if (object_ != nullptr) object_->AddRef();
  }
  KroComPtr(KroComPtr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  KroComPtr& operator=(KroComPtr other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }
  ~KroComPtr() { Reset(); }

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
  HRESULT As(KroComPtr<U>* out) const {
    if (out == nullptr) return E_POINTER;
    if (object_ == nullptr) {
      out->Reset();
      return E_POINTER;
    }
    return object_->QueryInterface(KroInterfaceId<U>::Get(), out->PutVoid());
  }

 private:
  T* object_ = nullptr;
};

}  // namespace kro

#endif
