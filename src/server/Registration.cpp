#include "server/Registration.h"

#include "server/ClassTable.h"
#include "server/FileRegistry.h"
#include "server/RegistrationScripts.h"

namespace kro {
namespace {

// Only the scripts bound to a class-table row are registered; the
// KroGeometry script is carried but never written.

void Apply(FileRegistry& registry, const std::vector<RegistryEntry>& entries) {
  for (const RegistryEntry& entry : entries) {
    if (entry.keyOnly) registry.CreateKey(entry.key);
    else registry.SetValue(entry.key, entry.name, entry.value);
  }
}

}  // namespace

HRESULT RegisterModule(const std::string& registryPath, const std::string& modulePath) {
  FileRegistry registry(registryPath);
  if (!registry.Load()) return SELFREG_E_CLASS;
  for (size_t i = 0; i < kClassTableSize; ++i) Apply(registry, ScriptEntries(*ClassTableRows()[i].script, modulePath));
  Apply(registry, TypeLibraryEntries(modulePath));
  return registry.Save() ? S_OK : SELFREG_E_CLASS;
}

HRESULT UnregisterModule(const std::string& registryPath) {
  FileRegistry registry(registryPath);
  if (!registry.Load()) return SELFREG_E_CLASS;
  for (size_t i = 0; i < kClassTableSize; ++i) {
    for (const std::string& key : ScriptRemovals(*ClassTableRows()[i].script)) registry.DeleteTree(key);
  }
  registry.DeleteTree(TypeLibraryKey());
  return registry.Save() ? S_OK : SELFREG_E_CLASS;
}

}  // namespace kro
