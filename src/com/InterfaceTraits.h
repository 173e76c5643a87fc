// Compile-time facts about each interface of the boundary: its identifier and
// the interface it directly derives from. Every interface of the library has
// a single chain of bases ending in IUnknown, so an object that implements an
// interface also answers the identifiers of the whole chain with the same
// pointer.
#ifndef KRO_COM_INTERFACETRAITS_H
#define KRO_COM_INTERFACETRAITS_H

#include <type_traits>

#include "KroGafExportImport/KroComPtr.h"

namespace kro {

template <class Itf>
struct InterfaceTraits;  // deliberately undefined for unknown interfaces

template <>
struct InterfaceTraits<IUnknown> {
  static const IID& Id() { return KroInterfaceId<IUnknown>::Get(); }
  using Parent = void;
};

#define KRO_DECLARE_INTERFACE(Itf, ParentItf)                                   \
  template <>                                                                   \
  struct InterfaceTraits<Itf> {                                                 \
    static const IID& Id() { return KroInterfaceId<Itf>::Get(); }              \
    using Parent = ParentItf;                                                   \
    static_assert(std::is_base_of_v<ParentItf, Itf>, "parent must be a base");  \
  }

KRO_DECLARE_INTERFACE(IClassFactory, IUnknown);
KRO_DECLARE_INTERFACE(ISupportErrorInfo, IUnknown);
KRO_DECLARE_INTERFACE(IKroGafExport, IUnknown);
KRO_DECLARE_INTERFACE(IKroGafImport, IUnknown);
KRO_DECLARE_INTERFACE(IKroGafPreferences, IUnknown);
KRO_DECLARE_INTERFACE(IKroGeometrySource, IUnknown);
KRO_DECLARE_INTERFACE(IKroEnumGeometry, IUnknown);
KRO_DECLARE_INTERFACE(IKroProgressIndicator, IUnknown);
KRO_DECLARE_INTERFACE(IKroGeometry, IUnknown);
KRO_DECLARE_INTERFACE(IKroPoint, IKroGeometry);
KRO_DECLARE_INTERFACE(IKroPolyline, IKroGeometry);
KRO_DECLARE_INTERFACE(IKroPolygon, IKroGeometry);
KRO_DECLARE_INTERFACE(IKroPolyPolyline, IKroGeometry);
KRO_DECLARE_INTERFACE(IKroPolyPolygon, IKroGeometry);

#undef KRO_DECLARE_INTERFACE

template <class Itf>
const IID& IidOf() {
  return InterfaceTraits<Itf>::Id();
}

// True when `riid` names `Itf` or one of the interfaces it derives from.
template <class Itf>
bool InterfaceChainContains(REFIID riid) {
  if (riid == InterfaceTraits<Itf>::Id()) return true;
  using Parent = typename InterfaceTraits<Itf>::Parent;
  if constexpr (std::is_void_v<Parent>) {
    return false;
  } else {
    return InterfaceChainContains<Parent>(riid);
  }
}

}  // namespace kro

#endif
