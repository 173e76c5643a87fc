#include "server/Registration.h"

#include "server/FileRegistry.h"
#include "server/RegistrationScripts.h"

namespace kro {
namespace {

// Only the scripts bound to a class-table row are registered; the last
// script, KroGeometry, is carried but never written.
constexpr size_t kRegisteredScripts = 11;

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
  const auto& scripts = AllRegistrationScripts();
  for (size_t i = 0; i < kRegisteredScripts; ++i) Apply(registry, ScriptEntries(scripts[i], modulePath));
  Apply(registry, TypeLibraryEntries(modulePath));
  return registry.Save() ? S_OK : SELFREG_E_CLASS;
}

HRESULT UnregisterModule(const std::string& registryPath) {
  FileRegistry registry(registryPath);
  if (!registry.Load()) return SELFREG_E_CLASS;
  const auto& scripts = AllRegistrationScripts();
  for (size_t i = 0; i < kRegisteredScripts; ++i) {
    for (const std::string& key : ScriptRemovals(scripts[i])) registry.DeleteTree(key);
  }
  registry.DeleteTree(TypeLibraryKey());
  return registry.Save() ? S_OK : SELFREG_E_CLASS;
}

}  // namespace kro
