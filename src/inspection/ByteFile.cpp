#include "ByteFile.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include "engine/indexfile/CIndexFile.h"
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

bool ByteFile::U8(uint64_t offset, uint32_t& value) const {
  if (!Has(offset, 1)) return false;
  value = bytes_[offset];
  return true;
}

bool ByteFile::U16(uint64_t offset, uint32_t& value) const {
  if (!Has(offset, 2)) return false;
  value = kro::CIndexFile::GetUInt(bytes_.data() + offset, 16);
  return true;
}

bool ByteFile::U32(uint64_t offset, uint32_t& value) const {
  if (!Has(offset, 4)) return false;
  value = kro::CIndexFile::GetUInt(bytes_.data() + offset, 32);
  return true;
}

bool ByteFile::Real(uint64_t offset, int bits, double& value) const {
  if (!Has(offset, bits == 32 ? 4 : 8)) return false;
  value = kro::CIndexFile::GetReal(bytes_.data() + offset, bits);
  return true;
}

}  // namespace kro::inspection
