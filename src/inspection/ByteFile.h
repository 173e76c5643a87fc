// A whole file held in memory, read through bounded big-endian getters: a
// getter that would pass the end answers false and reads nothing, so every
// walk over damaged bytes stays inside the buffer.
#ifndef KRO_INSPECTION_BYTEFILE_H
#define KRO_INSPECTION_BYTEFILE_H

#include <cstdint>
#include <string>
#include <vector>

namespace kro::inspection {

class ByteFile {
 public:
  // False (with `error` set) when the file cannot be read or exceeds the 2 GiB
  // a Gaf file can address.
  bool Load(const std::string& path, std::string& error);
  bool Exists() const { return exists_; }

  uint64_t Size() const { return bytes_.size(); }
  const uint8_t* Data() const { return bytes_.data(); }
  bool Has(uint64_t offset, uint64_t count) const { return offset <= bytes_.size() && count <= bytes_.size() - offset; }
  bool U8(uint64_t offset, uint32_t& value) const;
  bool U16(uint64_t offset, uint32_t& value) const;
  bool U32(uint64_t offset, uint32_t& value) const;
  // `bits` 32 reads an IEEE single and widens it, otherwise a double.
  bool Real(uint64_t offset, int bits, double& value) const;

 private:
  std::vector<uint8_t> bytes_;
  bool exists_ = false;
};

}  // namespace kro::inspection

#endif
