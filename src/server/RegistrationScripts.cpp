#include "server/RegistrationScripts.h"

namespace kro {
namespace {

constexpr const char* kClassesRoot = "HKEY_CLASSES_ROOT";
constexpr const char* kLibraryName = "KroGafExportImport";
constexpr const char* kModulePlaceholder = "%MODULE%";

std::string Text(REFGUID guid) {
  char text[39];
  GuidToText(guid, text);
  return text;
}

std::string Substitute(std::string value, const std::string& modulePath) {
  const std::string placeholder = kModulePlaceholder;
  for (size_t at = value.find(placeholder); at != std::string::npos;
       at = value.find(placeholder, at + modulePath.size())) {
    value.replace(at, placeholder.size(), modulePath);
  }
  return value;
}

std::string Root(const std::string& key) { return std::string(kClassesRoot) + "\\" + key; }

std::string ProgId(const RegistrationScript& script) { return std::string(kLibraryName) + "." + script.className; }

std::string ClassKey(const RegistrationScript& script) { return Root("CLSID\\" + Text(*script.clsid)); }

}  // namespace

const std::vector<RegistrationScript>& AllRegistrationScripts() {
  static const std::vector<RegistrationScript> scripts = {
      {"KroGafExport", &CLSID_KroGafExport, true},
      {"KroGafPreferences", &CLSID_KroGafPreferences, true},
      {"KroGeometrySource", &CLSID_KroGeometrySource, true},
      {"KroProgressIndicator", &CLSID_KroProgressIndicator, true},
      {"KroEnumGeometry", &CLSID_KroEnumGeometry, true},
      {"KroPoint", &CLSID_KroPoint, true},
      {"KroPolyline", &CLSID_KroPolyline, true},
      {"KroPolygon", &CLSID_KroPolygon, true},
      {"KroPolyPolyline", &CLSID_KroPolyPolyline, true},
      {"KroPolyPolygon", &CLSID_KroPolyPolygon, true},
      {"KroGafImport", &CLSID_KroGafImport, false},
      {"KroGeometry", &CLSID_KroGeometry, true},
      {"KroGafOrderedExport", &CLSID_KroGafOrderedExport, true},
  };
  return scripts;
}

std::vector<RegistryEntry> ScriptEntries(const RegistrationScript& script, const std::string& modulePath) {
  const std::string description = std::string(script.className) + " Class";
  const std::string progId = ProgId(script);
  const std::string versioned = progId + ".1";
  const std::string clsid = Text(*script.clsid);
  const std::string classKey = ClassKey(script);
  std::vector<RegistryEntry> entries = {
      {Root(versioned), "", description, false},
      {Root(versioned) + "\\CLSID", "", clsid, false},
      {Root(progId), "", description, false},
      {Root(progId) + "\\CLSID", "", clsid, false},
      {Root(progId) + "\\CurVer", "", versioned, false},
      {classKey, "", description, false},
      {classKey + "\\ProgID", "", versioned, false},
      {classKey + "\\VersionIndependentProgID", "", progId, false},
      {classKey + "\\InprocServer32", "", kModulePlaceholder, false},
      {classKey + "\\InprocServer32", "ThreadingModel", "Apartment", false},
      {classKey + "\\TypeLib", "", Text(LIBID_KROGAFEXPORTIMPORTLib), false},
  };
  if (script.programmable) entries.push_back({classKey + "\\Programmable", "", "", true});
  for (RegistryEntry& entry : entries) entry.value = Substitute(entry.value, modulePath);
  return entries;
}

std::vector<std::string> ScriptRemovals(const RegistrationScript& script) {
  const std::string progId = ProgId(script);
  return {Root(progId + ".1"), Root(progId), ClassKey(script)};
}

std::string TypeLibraryKey() { return Root("TypeLib\\" + Text(LIBID_KROGAFEXPORTIMPORTLib)); }

std::vector<RegistryEntry> TypeLibraryEntries(const std::string& modulePath) {
  const std::string version = TypeLibraryKey() + "\\1.0";
  const size_t slash = modulePath.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string(".") : modulePath.substr(0, slash);
  return {
      {version, "", "KroGafExportImport 1.0 Type Library", false},
      {version + "\\0\\linux64", "", modulePath, false},
      {version + "\\FLAGS", "", "0", false},
      {version + "\\HELPDIR", "", folder, false},
  };
}

}  // namespace kro
