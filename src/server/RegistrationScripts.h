// The registration scripts of the module's classes, kept as data: for every
// class the keys and values that make it findable by class identifier and by
// ProgID, with the module path filled in at registration time.
#ifndef KRO_SERVER_REGISTRATIONSCRIPTS_H
#define KRO_SERVER_REGISTRATIONSCRIPTS_H

#include <string>
#include <vector>

#include "KroGafExportImport/KroGafExportImport.h"

namespace kro {

struct RegistrationScript {
  const char* className;  // "KroGafExport"
  const CLSID* clsid;
  bool programmable;  // every class but KroGafImport carries an empty Programmable key
};

struct RegistryEntry {
  std::string key;
  std::string name;  // "" is the key's default value
  std::string value;
  bool keyOnly;  // the key is created without any value
};

// The thirteen scripts: one per row of the class table, in its order, except
// that KroGeometry's, which is carried along but bound to no row, comes before
// the last row's (KroGafOrderedExport, the class added last).
const std::vector<RegistrationScript>& AllRegistrationScripts();

// The script's keys and values, with "%MODULE%" replaced by `modulePath`.
std::vector<RegistryEntry> ScriptEntries(const RegistrationScript& script, const std::string& modulePath);
// The keys that unregistration removes whole (never the CLSID root itself).
std::vector<std::string> ScriptRemovals(const RegistrationScript& script);

// The type library's registration and its removal.
std::vector<RegistryEntry> TypeLibraryEntries(const std::string& modulePath);
std::string TypeLibraryKey();

}  // namespace kro

#endif
