// The library's owning pointer is the one hosts use (KroComPtr.h): it holds
// one reference and releases it when it goes away. T is an interface or a
// class of the library.
#ifndef KRO_COM_COMPTR_H
#define KRO_COM_COMPTR_H

#include "KroGafExportImport/KroComPtr.h"
#include "com/InterfaceTraits.h"

namespace kro {

template <class T>
using ComPtr = KroComPtr<T>;

}  // namespace kro

#endif
