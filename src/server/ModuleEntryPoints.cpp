// The four entry points the module exports, with C linkage; every other symbol
// stays hidden (see exports.map).
#include <dlfcn.h>

#include <string>

#include "KroGafExportImport/KroGafExportImport.h"
#include "com/ModuleLock.h"
#include "server/ClassTable.h"
#include "server/FileRegistry.h"
#include "server/Registration.h"

#define KRO_ENTRY_POINT extern "C" __attribute__((visibility("default")))

namespace {

// The file this code was loaded from: the module itself, or the program that
// linked the library statically.
std::string ModulePath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&ModulePath), &info) == 0 || info.dli_fname == nullptr) return std::string();
  char resolved[4096];
  return realpath(info.dli_fname, resolved) != nullptr ? std::string(resolved) : std::string(info.dli_fname);
}

}  // namespace

KRO_ENTRY_POINT HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  kro::ClassTableRow* row = kro::FindClassTableRow(rclsid);
  if (row == nullptr) return CLASS_E_CLASSNOTAVAILABLE;
  IClassFactory* classObject = kro::ClassObjectOf(*row);
  if (classObject == nullptr) return E_OUTOFMEMORY;
  return classObject->QueryInterface(riid, ppv);
}

KRO_ENTRY_POINT HRESULT DllCanUnloadNow() { return kro::ModuleLockCount() == 0 ? S_OK : S_FALSE; }

KRO_ENTRY_POINT HRESULT DllRegisterServer() {
  const std::string module = ModulePath();
  if (module.empty()) return SELFREG_E_CLASS;
  return kro::RegisterModule(kro::FileRegistry::DefaultPath(), module);
}

KRO_ENTRY_POINT HRESULT DllUnregisterServer() { return kro::UnregisterModule(kro::FileRegistry::DefaultPath()); }
