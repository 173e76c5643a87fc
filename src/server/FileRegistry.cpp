#include "server/FileRegistry.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace kro {
namespace {

constexpr const char* kHeader = "REGEDIT4";

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool StartsWithKey(const std::string& key, const std::string& prefix) {
  if (key.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (Lower(key[i]) != Lower(prefix[i])) return false;
  }
  return key.size() == prefix.size() || key[prefix.size()] == '\\';
}

std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

// Reads a quoted string starting at `at` (which holds the opening quote);
// leaves `at` after the closing quote. False when it is not closed.
bool Unquote(const std::string& line, size_t& at, std::string& out) {
  out.clear();
  for (++at; at < line.size(); ++at) {
    char c = line[at];
    if (c == '\\' && at + 1 < line.size()) {
      out += line[++at];
    } else if (c == '"') {
      ++at;
      return true;
    } else {
      out += c;
    }
  }
  return false;
}

bool MakeFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    const std::string folder = path.substr(0, slash);
    if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  return true;
}

}  // namespace

bool FileRegistry::KeyLess::operator()(const std::string& a, const std::string& b) const {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const char x = Lower(a[i]), y = Lower(b[i]);
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

std::string FileRegistry::DefaultPath() {
  if (const char* explicitPath = std::getenv("KRO_REGISTRY"); explicitPath && *explicitPath) return explicitPath;
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) {
    return std::string(data) + "/KroGafExportImport/registry.reg";
  }
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : "/tmp") + "/.local/share/KroGafExportImport/registry.reg";
}

bool FileRegistry::Load() {
  keys_.clear();
  std::ifstream in(path_);
  if (!in) {
    struct stat info;
    return ::stat(path_.c_str(), &info) != 0;  // missing: empty registry
  }
  std::stringstream text;
  text << in.rdbuf();
  return !in.bad() && Parse(text.str());
}

bool FileRegistry::Parse(const std::string& text) {
  std::istringstream lines(text);
  std::string line, key;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line == kHeader) continue;
    if (line.front() == '[') {
      if (line.back() != ']') return false;
      key = line.substr(1, line.size() - 2);
      CreateKey(key);
      continue;
    }
    if (key.empty()) return false;
    size_t at = 0;
    std::string name, value;
    if (line[0] == '@') at = 1;
    else if (line[0] != '"' || !Unquote(line, at, name)) return false;
    if (at >= line.size() || line[at] != '=') return false;
    ++at;
    if (at >= line.size() || line[at] != '"' || !Unquote(line, at, value)) return false;
    SetValue(key, name, value);
  }
  return true;
}

bool FileRegistry::Save() const {
  if (!MakeFolders(path_)) return false;
  const std::string staging = path_ + ".saving";
  {
    std::ofstream out(staging, std::ios::trunc);
    out << kHeader << "\n";
    for (const auto& [key, values] : keys_) {
      out << "\n[" << key << "]\n";
      for (const auto& [name, value] : values) {
        out << (name.empty() ? std::string("@") : Quote(name)) << "=" << Quote(value) << "\n";
      }
    }
    out.flush();
    if (!out) {
      std::remove(staging.c_str());
      return false;
    }
  }
  if (std::rename(staging.c_str(), path_.c_str()) != 0) {
    std::remove(staging.c_str());
    return false;
  }
  return true;
}

void FileRegistry::CreateKey(const std::string& key) { keys_[key]; }

void FileRegistry::SetValue(const std::string& key, const std::string& name, const std::string& value) {
  keys_[key][name] = value;
}

void FileRegistry::DeleteTree(const std::string& key) {
  // The registry is small; a full pass avoids relying on how '\\' sorts
  // against the other characters of sibling keys.
  for (auto it = keys_.begin(); it != keys_.end();) {
    it = StartsWithKey(it->first, key) ? keys_.erase(it) : std::next(it);
  }
}

bool FileRegistry::HasKey(const std::string& key) const { return keys_.count(key) != 0; }

const std::string* FileRegistry::Value(const std::string& key, const std::string& name) const {
  const auto found = keys_.find(key);
  if (found == keys_.end()) return nullptr;
  const auto value = found->second.find(name);
  return value == found->second.end() ? nullptr : &value->second;
}

}  // namespace kro
