// Loading the component module and creating its classes, for hosts.
//
//   std::string error;
//   auto module = kro::KroModule::Load("/usr/local/lib/libKroGafExportImport.so", &error);
//   kro::KroComPtr<IKroGafExport> exporter;
//   module->CreateInstance("KroGafExportImport.KroGafExport", IID_IKroGafExport, exporter.PutVoid());
//
// A host needs nothing but the module's path: class identifiers come from
// KroGafExportImport.h and ProgIDs ("KroGafExportImport.<Class>" or the
// versioned "KroGafExportImport.<Class>.1") are resolved by KroClsidFromProgId.
#ifndef KROGAFEXPORTIMPORT_KROMODULE_H
#define KROGAFEXPORTIMPORT_KROMODULE_H

#include <dlfcn.h>

#include <cstring>
#include <memory>
#include <string>

#include "KroGafExportImport.h"

namespace kro {

// The class identifier of a ProgID of this library; false for any other text.
inline bool KroClsidFromProgId(const char* progId, CLSID& clsid) {
  struct Row {
    const char* name;
    const CLSID* clsid;
  };
  static const Row rows[] = {
      {"KroGafExport", &CLSID_KroGafExport},       {"KroGafPreferences", &CLSID_KroGafPreferences},
      {"KroGeometrySource", &CLSID_KroGeometrySource}, {"KroProgressIndicator", &CLSID_KroProgressIndicator},
      {"KroEnumGeometry", &CLSID_KroEnumGeometry}, {"KroPoint", &CLSID_KroPoint},
      {"KroPolyline", &CLSID_KroPolyline},         {"KroPolygon", &CLSID_KroPolygon},
      {"KroPolyPolyline", &CLSID_KroPolyPolyline}, {"KroPolyPolygon", &CLSID_KroPolyPolygon},
      {"KroGafImport", &CLSID_KroGafImport},       {"KroGafOrderedExport", &CLSID_KroGafOrderedExport},
  };
  static const char prefix[] = "KroGafExportImport.";
  if (progId == nullptr || std::strncmp(progId, prefix, sizeof prefix - 1) != 0) return false;
  std::string name = progId + sizeof prefix - 1;
  if (name.size() > 2 && name.compare(name.size() - 2, 2, ".1") == 0) name.resize(name.size() - 2);
  for (const Row& row : rows) {
    if (name == row.name) {
      clsid = *row.clsid;
      return true;
    }
  }
  return false;
}

class KroModule {
 public:
  using GetClassObjectFunction = HRESULT (*)(REFCLSID, REFIID, void**);
  using CanUnloadNowFunction = HRESULT (*)();

  // Loads the module; null with a reason in `error` when it cannot be loaded
  // or lacks the entry points.
  static std::unique_ptr<KroModule> Load(const std::string& path, std::string* error = nullptr) {
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      if (error != nullptr) *error = ::dlerror();
      return nullptr;
    }
    auto getClassObject = reinterpret_cast<GetClassObjectFunction>(::dlsym(handle, "DllGetClassObject"));
    auto canUnloadNow = reinterpret_cast<CanUnloadNowFunction>(::dlsym(handle, "DllCanUnloadNow"));
    if (getClassObject == nullptr || canUnloadNow == nullptr) {
      if (error != nullptr) *error = "the module has no DllGetClassObject or DllCanUnloadNow";
      ::dlclose(handle);
      return nullptr;
    }
    return std::unique_ptr<KroModule>(new KroModule(handle, getClassObject, canUnloadNow));
  }

  KroModule(const KroModule&) = delete;
  KroModule& operator=(const KroModule&) = delete;
  // Unloads the module only when it says it can be: a module with live
  // objects stays loaded for the rest of the process.
  ~KroModule() {
    if (canUnloadNow_() == S_OK) ::dlclose(handle_);
  }

  HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** ppv) const { return getClassObject_(clsid, iid, ppv); }
  HRESULT CanUnloadNow() const { return canUnloadNow_(); }

  // Creates an instance through the class's class object.
  HRESULT CreateInstance(REFCLSID clsid, REFIID iid, void** ppv) const {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    IClassFactory* factory = nullptr;
    HRESULT hr = getClassObject_(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return hr;
    hr = factory->CreateInstance(nullptr, iid, ppv);
    factory->Release();
    return hr;
  }

  HRESULT CreateInstance(const char* progId, REFIID iid, void** ppv) const {
    CLSID clsid;
    if (!KroClsidFromProgId(progId, clsid)) {
      if (ppv != nullptr) *ppv = nullptr;
      return CLASS_E_CLASSNOTAVAILABLE;
    }
    return CreateInstance(clsid, iid, ppv);
  }

 private:
  KroModule(void* handle, GetClassObjectFunction getClassObject, CanUnloadNowFunction canUnloadNow)
      : handle_(handle), getClassObject_(getClassObject), canUnloadNow_(canUnloadNow) {}

  void* handle_;
  GetClassObjectFunction getClassObject_;
  CanUnloadNowFunction canUnloadNow_;
};

}  // namespace kro

#endif
