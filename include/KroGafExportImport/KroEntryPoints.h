// The four entry points of the component module, for hosts that link the
// module directly instead of loading it with dlopen (see KroModule.h).
#ifndef KROGAFEXPORTIMPORT_KROENTRYPOINTS_H
#define KROGAFEXPORTIMPORT_KROENTRYPOINTS_H

#include "KroPlatform.h"

extern "C" {
// The requested interface of the class object of `rclsid`;
// CLASS_E_CLASSNOTAVAILABLE for a class the module does not have.
HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);
// S_OK when no object of the module lives and no LockServer lock is held,
// S_FALSE otherwise.
HRESULT DllCanUnloadNow();
// Write and remove the classes' registration in the registry stand-in (see
// the README: $KRO_REGISTRY, else $XDG_DATA_HOME or ~/.local/share,
// KroGafExportImport/registry.reg).
HRESULT DllRegisterServer();
HRESULT DllUnregisterServer();
}

#endif
