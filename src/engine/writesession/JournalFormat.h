// The rollback journal that stands beside a file set while an existing set is
// being appended to or updated ("name.gaf-journal"). Its one place of
// constants and codecs; docs/journal-format.md describes the layout.
//
// A journal is an 8-byte magic followed by records, each protected by a
// CRC-32, all integers big-endian:
//
//   kind u8 | file u8 | offset u32 | count u32 | count bytes | crc u32
//
// kind 1 "file existed": `file` had `offset` bytes before the session;
// kind 2 "file created": `file` did not exist before the session;
// kind 3 "before image": the `count` bytes at `offset` of `file` as they were
// before the session first overwrote them;
// kind 4 "commit": the session committed (file 0, offset 0, no bytes); the
// set is whole as it stands, and the journal is only left to delete.
//
// Invariant: a record is on the disk (written and synced) before the bytes it
// protects are overwritten. So a record that is incomplete or fails its CRC
// protects nothing that happened, and reading stops at the first such one.
#ifndef KRO_ENGINE_WRITESESSION_JOURNALFORMAT_H
#define KRO_ENGINE_WRITESESSION_JOURNALFORMAT_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kro::journal {

constexpr uint8_t kMagic[8] = {'K', 'G', 'A', 'F', 'J', 'R', 'N', 'L'};
constexpr uint32_t kMagicSize = 8;
constexpr uint32_t kRecordHeadSize = 10;  // kind, file, offset, count
constexpr uint32_t kRecordCrcSize = 4;
// The set's files by number: the data file, the spatial index, the key index.
constexpr uint8_t kFileCount = 3;
// Before images are cut into pieces of at most this size, so that replaying
// one needs no more memory than this.
constexpr uint32_t kMaxImageBytes = 64 * 1024;

enum class RecordKind : uint8_t { kFileExisted = 1, kFileCreated = 2, kBeforeImage = 3, kCommit = 4 };

struct RecordHead {
  RecordKind kind = RecordKind::kFileExisted;
  uint8_t file = 0;
  uint32_t offset = 0;
  uint32_t count = 0;
};

// The standard CRC-32 (reflected, polynomial 0xEDB88320) of `size` bytes.
uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0);

// Appends one whole record (head, `head.count` bytes of `bytes`, CRC) to `out`.
void AppendRecord(std::vector<uint8_t>& out, const RecordHead& head, const uint8_t* bytes);

// Decodes a record head; false for an unknown kind or file number, or a
// file record that carries bytes.
bool DecodeRecordHead(const uint8_t* bytes, RecordHead& head);

// Whether the CRC stored after a record's bytes matches them.
bool RecordCrcMatches(const uint8_t* head, const uint8_t* body, uint32_t count, const uint8_t* crc);

}  // namespace kro::journal

#endif
