#include "server/ClassTable.h"

#include <mutex>
#include <new>

#include "component/ComponentClasses.h"
#include "drivers/DriverClasses.h"
#include "server/ClassFactory.h"

namespace kro {
namespace {

// Guards the creation of class objects; the only lock of the module besides
// the atomic lock count.
std::mutex g_moduleSection;

const RegistrationScript* Script(size_t row) { return &AllRegistrationScripts()[row]; }

ClassTableRow g_rows[kClassTableSize] = {
    {&CLSID_KroGafExport, &CreateKroGafExport, Script(0), {nullptr}},
    {&CLSID_KroGafPreferences, &CreateKroGafPreferences, Script(1), {nullptr}},
    {&CLSID_KroGeometrySource, &CreateKroGeometrySource, Script(2), {nullptr}},
    {&CLSID_KroProgressIndicator, &CreateKroProgressIndicator, Script(3), {nullptr}},
    {&CLSID_KroEnumGeometry, &CreateKroEnumGeometry, Script(4), {nullptr}},
    {&CLSID_KroPoint, &CreateKroPoint, Script(5), {nullptr}},
    {&CLSID_KroPolyline, &CreateKroPolyline, Script(6), {nullptr}},
    {&CLSID_KroPolygon, &CreateKroPolygon, Script(7), {nullptr}},
    {&CLSID_KroPolyPolyline, &CreateKroPolyPolyline, Script(8), {nullptr}},
    {&CLSID_KroPolyPolygon, &CreateKroPolyPolygon, Script(9), {nullptr}},
    {&CLSID_KroGafImport, &CreateKroGafImport, Script(10), {nullptr}},
    {&CLSID_KroGafOrderedExport, &CreateKroGafOrderedExport, Script(12), {nullptr}},
};

}  // namespace

ClassTableRow* ClassTableRows() { return g_rows; }

ClassTableRow* FindClassTableRow(REFCLSID clsid) {
  for (ClassTableRow& row : g_rows) {
    if (*row.clsid == clsid) return &row;
  }
  return nullptr;
}

IClassFactory* ClassObjectOf(ClassTableRow& row) {
  IClassFactory* object = row.classObject.load(std::memory_order_acquire);
  if (object != nullptr) return object;
  std::lock_guard<std::mutex> hold(g_moduleSection);
  object = row.classObject.load(std::memory_order_relaxed);
  if (object == nullptr) {
    object = new (std::nothrow) CClassFactory(row.createInstance);
    row.classObject.store(object, std::memory_order_release);
  }
  return object;
}

}  // namespace kro
