#include "engine/writesession/JournalFormat.h"

#include <array>

namespace kro::journal {
namespace {

std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t value = i;
    for (int bit = 0; bit < 8; ++bit) value = (value & 1) ? (value >> 1) ^ 0xEDB88320u : value >> 1;
    table[i] = value;
  }
  return table;
}

void PutU32(uint8_t* out, uint32_t value) {
  out[0] = static_cast<uint8_t>(value >> 24);
  out[1] = static_cast<uint8_t>(value >> 16);
  out[2] = static_cast<uint8_t>(value >> 8);
  out[3] = static_cast<uint8_t>(value);
}

uint32_t GetU32(const uint8_t* in) {
  return (uint32_t{in[0]} << 24) | (uint32_t{in[1]} << 16) | (uint32_t{in[2]} << 8) | uint32_t{in[3]};
}

}  // namespace

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc) {
  static const std::array<uint32_t, 256> table = MakeCrcTable();
  crc = ~crc;
  for (size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFFu] ^ (crc >> 8);
  return ~crc;
}

void AppendRecord(std::vector<uint8_t>& out, const RecordHead& head, const uint8_t* bytes) {
  uint8_t encoded[kRecordHeadSize];
  encoded[0] = static_cast<uint8_t>(head.kind);
  encoded[1] = head.file;
  PutU32(encoded + 2, head.offset);
  PutU32(encoded + 6, head.count);
  uint8_t crc[kRecordCrcSize];
  PutU32(crc, Crc32(bytes, head.count, Crc32(encoded, kRecordHeadSize)));
  out.insert(out.end(), encoded, encoded + kRecordHeadSize);
  out.insert(out.end(), bytes, bytes + head.count);
  out.insert(out.end(), crc, crc + kRecordCrcSize);
}

bool DecodeRecordHead(const uint8_t* bytes, RecordHead& head) {
  const uint8_t kind = bytes[0];
  if (kind < static_cast<uint8_t>(RecordKind::kFileExisted) || kind > static_cast<uint8_t>(RecordKind::kCommit)) {
    return false;
  }
  head.kind = static_cast<RecordKind>(kind);
  head.file = bytes[1];
  head.offset = GetU32(bytes + 2);
  head.count = GetU32(bytes + 6);
  if (head.file >= kFileCount) return false;
  if (head.kind == RecordKind::kBeforeImage) return head.count > 0 && head.count <= kMaxImageBytes;
  if (head.kind == RecordKind::kCommit) return head.file == 0 && head.offset == 0 && head.count == 0;
  return head.count == 0;
}

bool RecordCrcMatches(const uint8_t* head, const uint8_t* body, uint32_t count, const uint8_t* crc) {
  return Crc32(body, count, Crc32(head, kRecordHeadSize)) == GetU32(crc);
}

}  // namespace kro::journal
