// A whole file held in memory. The walks hand its bytes to the engine's
// decoders with the limit Has and Size give, so every walk over damaged bytes
// stays inside the buffer; nothing here takes a field of a format apart.
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

 private:
  std::vector<uint8_t> bytes_;
  bool exists_ = false;
};

}  // namespace kro::inspection

#endif
