#include "ByteFile.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include "platform/FileSystem.h"

namespace kro::inspection {

bool ByteFile::Load(const std::string& path, std::string& error) {
  bytes_.clear();
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  exists_ = in.is_open();
  if (!exists_) {
    error = path + ": cannot open: " + std::strerror(errno);
    return false;
  }
  const std::streamoff size = in.tellg();
  if (size < 0 || static_cast<uint64_t>(size) > kro::kMaxFileOffset) {
    error = path + ": cannot read: size out of range";
    return false;
  }
  bytes_.resize(static_cast<size_t>(size));
  in.seekg(0);
  if (size > 0 && !in.read(reinterpret_cast<char*>(bytes_.data()), size)) {
    error = path + ": cannot read";
    return false;
  }
  return true;
}

}  // namespace kro::inspection
