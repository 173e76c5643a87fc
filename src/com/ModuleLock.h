// The module lock count: how many objects of the library are alive plus how
// many explicit server locks a host holds. The module may be unloaded only
// while it is zero. It is the one piece of state that several threads may
// touch, so it is atomic; everything else is apartment-threaded.
#ifndef KRO_COM_MODULELOCK_H
#define KRO_COM_MODULELOCK_H

#include "KroGafExportImport/KroPlatform.h"

namespace kro {

// Adds one to the count and returns the new value.
LONG LockModule();
// Takes one from the count and returns the new value.
LONG UnlockModule();
// The current value.
LONG ModuleLockCount();

}  // namespace kro

#endif
