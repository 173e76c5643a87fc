#include "support/GafBytes.h"

#include "engine/datafile/GafByteOrder.h"
#include "engine/datafile/GafFormat.h"

namespace kro::test {

GafBytes& GafBytes::U8(uint32_t value) {
  bytes.push_back(static_cast<uint8_t>(value));
  return *this;
}

GafBytes& GafBytes::U16(uint32_t value) { return U8(value >> 8).U8(value); }
GafBytes& GafBytes::U32(uint32_t value) { return U16(value >> 16).U16(value); }

GafBytes& GafBytes::F64(double value) {
  uint8_t out[8];
  gaf::StoreF64(out, value);
  return Raw(Bytes(out, out + 8));
}

GafBytes& GafBytes::F32(double value) {
  uint8_t out[4];
  gaf::StoreF32(out, value);
  return Raw(Bytes(out, out + 4));
}

GafBytes& GafBytes::Raw(const Bytes& more) {
  bytes.insert(bytes.end(), more.begin(), more.end());
  return *this;
}

GafBytes& GafBytes::Zeros(size_t count) { return Raw(Bytes(count, 0)); }

GafBytes& GafBytes::Str(const std::string& text) {
  if (text.size() <= 126) U8(static_cast<uint32_t>(text.size()));
  else U8(127).U16(static_cast<uint32_t>(text.size()));
  return Raw(Bytes(text.begin(), text.end()));
}

GafBytes& GafBytes::Tag(uint32_t code, uint32_t length, bool longForm) {
  longForm = longForm || length > 126;
  U16(code << 10 | (longForm ? 127 : length));
  return longForm ? U32(length) : *this;
}

GafBytes& GafBytes::Pad(uint32_t length) { return (length & 1) != 0 ? U8(0) : *this; }

GafBytes& AddInfo(GafBytes& out, uint32_t count, uint32_t freeHead, uint32_t kinds, const BoundingBoxNode& box) {
  return out.Tag(0, 44).U32(count).U32(freeHead).U32(kinds).F64(box.xMin).F64(box.yMin).F64(box.xMax).F64(box.yMax);
}

GafBytes HeaderBytes(uint32_t count, uint32_t freeHead, uint32_t kinds, int version, uint32_t bits) {
  GafBytes out;
  AddInfo(out, count, freeHead, kinds);
  if (version >= 0) out.Tag(16, 2).U16(static_cast<uint32_t>(version));
  if (bits != 0) out.Tag(18, 2).U16(bits);
  out.Tag(2, 0);
  return out;
}

GafRecord Record(EGafObjectType kind, std::vector<int32_t> parts, std::vector<CKroDoublePointNode> vertices,
                 const std::string& name, const std::string& key, const std::string& url) {
  GafRecord record;
  record.kind = kind;
  record.parts = std::move(parts);
  record.vertices = std::move(vertices);
  record.name = name;
  record.key = key;
  record.url = url;
  return record;
}

}  // namespace kro::test
