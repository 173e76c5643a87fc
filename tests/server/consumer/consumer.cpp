// Creates every class of the installed module, once through the linked entry
// point and once through a module loaded with dlopen, and checks the answers.
#include <KroGafExportImport/KroComPtr.h>
#include <KroGafExportImport/KroEntryPoints.h>
#include <KroGafExportImport/KroGafExportImport.h>
#include <KroGafExportImport/KroModule.h>

#include <cstdio>

namespace {

struct Class {
  const char* progId;
  const CLSID* clsid;
  const IID* iid;
};

const Class kClasses[] = {
    {"KroGafExportImport.KroGafExport", &CLSID_KroGafExport, &IID_IKroGafExport},
    {"KroGafExportImport.KroGafPreferences", &CLSID_KroGafPreferences, &IID_IKroGafPreferences},
    {"KroGafExportImport.KroGeometrySource", &CLSID_KroGeometrySource, &IID_IKroGeometrySource},
    {"KroGafExportImport.KroProgressIndicator", &CLSID_KroProgressIndicator, &IID_IKroProgressIndicator},
    {"KroGafExportImport.KroEnumGeometry", &CLSID_KroEnumGeometry, &IID_IKroEnumGeometry},
    {"KroGafExportImport.KroPoint", &CLSID_KroPoint, &IID_IKroPoint},
    {"KroGafExportImport.KroPolyline", &CLSID_KroPolyline, &IID_IKroPolyline},
    {"KroGafExportImport.KroPolygon", &CLSID_KroPolygon, &IID_IKroPolygon},
    {"KroGafExportImport.KroPolyPolyline", &CLSID_KroPolyPolyline, &IID_IKroPolyPolyline},
    {"KroGafExportImport.KroPolyPolygon.1", &CLSID_KroPolyPolygon, &IID_IKroPolyPolygon},
    {"KroGafExportImport.KroGafImport.1", &CLSID_KroGafImport, &IID_IKroGafImport},
    {"KroGafExportImport.KroGafOrderedExport", &CLSID_KroGafOrderedExport, &IID_IKroGafExport},
};

int failures = 0;

void Expect(bool ok, const char* what, const char* which) {
  if (!ok) {
    std::printf("FAILED: %s (%s)\n", what, which);
    ++failures;
  }
}

void CreateThroughLinkedEntryPoint(const Class& c) {
  kro::KroComPtr<IClassFactory> factory;
  Expect(DllGetClassObject(*c.clsid, IID_IClassFactory, factory.PutVoid()) == S_OK, "class object", c.progId);
  if (!factory) return;
  kro::KroComPtr<IUnknown> object;
  Expect(factory->CreateInstance(nullptr, *c.iid, object.PutVoid()) == S_OK, "instance", c.progId);
  Expect(DllCanUnloadNow() == S_FALSE, "module busy while an object lives", c.progId);
}

void CreateThroughLoadedModule(const kro::KroModule& module, const Class& c) {
  kro::KroComPtr<IUnknown> object;
  Expect(module.CreateInstance(c.progId, *c.iid, object.PutVoid()) == S_OK, "instance by ProgID", c.progId);
}

}  // namespace

int main() {
  for (const Class& c : kClasses) CreateThroughLinkedEntryPoint(c);
  Expect(DllCanUnloadNow() == S_OK, "module free after the last release", "all");

  void* object = reinterpret_cast<void*>(1);
  const CLSID unknown = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
  Expect(DllGetClassObject(unknown, IID_IClassFactory, &object) == CLASS_E_CLASSNOTAVAILABLE,
         "unknown class refused", "unknown");
  Expect(object == nullptr, "out-pointer cleared", "unknown");

  std::string error;
  auto module = kro::KroModule::Load(KRO_MODULE_PATH, &error);
  Expect(module != nullptr, "module loads with dlopen", error.c_str());
  if (module) {
    for (const Class& c : kClasses) CreateThroughLoadedModule(*module, c);
  }
  std::printf("%d classes created, %d failures\n", static_cast<int>(sizeof kClasses / sizeof kClasses[0]), failures);
  return failures == 0 ? 0 : 1;
}
