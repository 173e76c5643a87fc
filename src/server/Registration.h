// Registration of the module's classes and type library in the registry
// stand-in. Registration writes every script of a class-table row; removal
// deletes exactly what registration wrote. Both are idempotent.
#ifndef KRO_SERVER_REGISTRATION_H
#define KRO_SERVER_REGISTRATION_H

#include <string>

#include "KroGafExportImport/KroPlatform.h"

namespace kro {

// REQUIRES: `modulePath` is the module's own file. S_OK, or SELFREG_E_CLASS
// when the registry cannot be read or written (nothing is then changed).
HRESULT RegisterModule(const std::string& registryPath, const std::string& modulePath);
HRESULT UnregisterModule(const std::string& registryPath);

}  // namespace kro

#endif
