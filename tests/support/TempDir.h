// A fresh directory for one test, removed with everything in it afterwards,
// and small helpers to look at whole files byte for byte.
#ifndef KRO_TESTS_SUPPORT_TEMPDIR_H
#define KRO_TESTS_SUPPORT_TEMPDIR_H

#include <cstdint>
#include <string>
#include <vector>

namespace kro::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // The path of `name` inside the directory.
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

using Bytes = std::vector<uint8_t>;

Bytes ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const Bytes& bytes);
bool FileExists(const std::string& path);
// Bytes from text such as "00 2C 40 02"; spaces and line breaks are ignored.
Bytes HexBytes(const std::string& hex);
// "00 2C 40 02 ..." for failure messages.
std::string ToHex(const Bytes& bytes);
// Names of the files in `directory` that start with `prefix`, sorted.
std::vector<std::string> FilesStartingWith(const std::string& directory, const std::string& prefix);
// The same in the temporary directory.
std::vector<std::string> TemporaryFilesStartingWith(const std::string& prefix);

}  // namespace kro::test

#endif
