// The module's class table: one row per creatable class, in a fixed order,
// with the function that creates an instance, the registration script and the
// slot that holds the class object once it has been created.
#ifndef KRO_SERVER_CLASSTABLE_H
#define KRO_SERVER_CLASSTABLE_H

#include <atomic>
#include <cstddef>

#include "KroGafExportImport/KroGafExportImport.h"
#include "server/RegistrationScripts.h"

namespace kro {

using CreateInstanceFunction = HRESULT (*)(REFIID riid, void** ppv);

struct ClassTableRow {
  const CLSID* clsid;
  CreateInstanceFunction createInstance;
  const RegistrationScript* script;
  // The class object, created on first use and kept for the module's life.
  std::atomic<IClassFactory*> classObject;
};

constexpr size_t kClassTableSize = 12;

// The rows in table order; null when no row holds `clsid`.
ClassTableRow* FindClassTableRow(REFCLSID clsid);
ClassTableRow* ClassTableRows();

// The row's class object, created under the module's lock on first use (the
// slot is tested again once the lock is held, so concurrent first calls create
// one object). Null only when memory runs out.
IClassFactory* ClassObjectOf(ClassTableRow& row);

}  // namespace kro

#endif
