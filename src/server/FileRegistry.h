// A small file-based stand-in for a system registry, kept in the text form of
// registry export files:
//
//   REGEDIT4
//
//   [HKEY_CLASSES_ROOT\KroGafExportImport.KroPoint.1]
//   @="KroPoint Class"
//   "ThreadingModel"="Apartment"
//
// Keys are paths separated by backslashes and compared case-insensitively, as
// registry keys are; "@" is a key's default value. Backslashes and quotes in
// values are escaped with a backslash. Saving replaces the file atomically.
#ifndef KRO_SERVER_FILEREGISTRY_H
#define KRO_SERVER_FILEREGISTRY_H

#include <map>
#include <string>

namespace kro {

class FileRegistry {
 public:
  // Values of one key by name; "" names the default value.
  using Values = std::map<std::string, std::string>;
  // Case-insensitive key order, so lookups ignore the case like a registry.
  struct KeyLess {
    bool operator()(const std::string& a, const std::string& b) const;
  };
  using KeyMap = std::map<std::string, Values, KeyLess>;

  // Where the registry lives: $KRO_REGISTRY when set, otherwise
  // $XDG_DATA_HOME/KroGafExportImport/registry.reg, otherwise
  // $HOME/.local/share/KroGafExportImport/registry.reg.
  static std::string DefaultPath();

  explicit FileRegistry(std::string path) : path_(std::move(path)) {}

  // Reads the file; a missing file is an empty registry. False when the file
  // exists but cannot be read or parsed.
  bool Load();
  // Writes the whole registry (creating the folder when needed).
  bool Save() const;

  // Keys are kept flat: creating one needs no parent entries.
  void CreateKey(const std::string& key);
  void SetValue(const std::string& key, const std::string& name, const std::string& value);
  // Removes the key and every key below it.
  void DeleteTree(const std::string& key);

  bool HasKey(const std::string& key) const;
  // The value, or nullptr when the key or the value is missing.
  const std::string* Value(const std::string& key, const std::string& name) const;
  const KeyMap& Keys() const { return keys_; }

 private:
  bool Parse(const std::string& text);

  std::string path_;
  KeyMap keys_;
};

}  // namespace kro

#endif
