// Big-endian encoding of the data file's integers and IEEE numbers into and
// out of memory. Callers check the room; these only move bytes.
#ifndef KRO_ENGINE_DATAFILE_GAFBYTEORDER_H
#define KRO_ENGINE_DATAFILE_GAFBYTEORDER_H

#include <cstdint>
#include <cstring>

namespace kro::gaf {

inline void StoreU16(uint8_t* out, uint32_t value) {
  out[0] = static_cast<uint8_t>(value >> 8);
  out[1] = static_cast<uint8_t>(value);
}

inline void StoreU32(uint8_t* out, uint32_t value) {
  for (int i = 3; i >= 0; --i, value >>= 8) out[i] = static_cast<uint8_t>(value);
}

inline void StoreU64(uint8_t* out, uint64_t value) {
  for (int i = 7; i >= 0; --i, value >>= 8) out[i] = static_cast<uint8_t>(value);
}

inline uint32_t LoadU16(const uint8_t* in) { return static_cast<uint32_t>(in[0]) << 8 | in[1]; }

inline uint32_t LoadU32(const uint8_t* in) {
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value = value << 8 | in[i];
  return value;
}

inline uint64_t LoadU64(const uint8_t* in) {
  uint64_t value = 0;
  for (int i = 0; i < 8; ++i) value = value << 8 | in[i];
  return value;
}

inline void StoreF64(uint8_t* out, double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  StoreU64(out, bits);
}

// Rounds to the nearest single first.
inline void StoreF32(uint8_t* out, double value) {
  const float single = static_cast<float>(value);
  uint32_t bits;
  std::memcpy(&bits, &single, sizeof bits);
  StoreU32(out, bits);
}

inline double LoadF64(const uint8_t* in) {
  const uint64_t bits = LoadU64(in);
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

inline double LoadF32(const uint8_t* in) {
  const uint32_t bits = LoadU32(in);
  float single;
  std::memcpy(&single, &bits, sizeof single);
  return single;
}

}  // namespace kro::gaf

#endif
