#include "engine/writesession/JournalReplay.h"

#include <array>
#include <cstring>
#include <vector>

#include "engine/writesession/JournalFormat.h"

namespace kro {
namespace {

using journal::RecordHead;
using journal::RecordKind;

struct FileBefore {
  bool known = false;
  bool existed = false;
  uint32_t length = 0;
};

// Reads the next whole, intact record; false at the end of what was made
// durable (an incomplete or damaged record, or the journal's end).
bool ReadRecord(FileSystem& files, FileHandle journal, uint32_t& remaining, RecordHead& head, std::vector<uint8_t>& body) {
  uint8_t encoded[journal::kRecordHeadSize];
  if (remaining < journal::kRecordHeadSize + journal::kRecordCrcSize) return false;
  if (!files.Read(journal, encoded, sizeof encoded)) return false;
  if (!journal::DecodeRecordHead(encoded, head)) return false;
  remaining -= journal::kRecordHeadSize + journal::kRecordCrcSize;
  if (head.count > remaining) return false;
  body.resize(head.count);
  uint8_t crc[journal::kRecordCrcSize];
  if (head.count > 0 && !files.Read(journal, body.data(), head.count)) return false;
  if (!files.Read(journal, crc, sizeof crc)) return false;
  remaining -= head.count;
  return journal::RecordCrcMatches(encoded, body.data(), head.count, crc);
}

// Positions `journal` after its magic and answers true; otherwise false, and
// `stop` says why: kDone for a journal too short to hold its magic,
// kBadJournal for another magic, kFailed for a failed read.
bool SkipMagic(FileSystem& files, FileHandle journal, uint32_t& remaining, ReplayResult& stop) {
  uint32_t size = 0;
  remaining = 0;
  stop = ReplayResult::kFailed;
  if (!files.Size(journal, size) || !files.Seek(journal, 0, SeekOrigin::kBegin)) return false;
  stop = ReplayResult::kDone;
  if (size < journal::kMagicSize) return false;
  uint8_t magic[journal::kMagicSize];
  stop = ReplayResult::kFailed;
  if (!files.Read(journal, magic, sizeof magic)) return false;
  stop = ReplayResult::kBadJournal;
  if (std::memcmp(magic, journal::kMagic, sizeof magic) != 0) return false;
  remaining = size - journal::kMagicSize;
  return true;
}

bool HoldsCommit(FileSystem& files, FileHandle journal) {
  uint32_t remaining = 0;
  ReplayResult stop = ReplayResult::kDone;
  if (!SkipMagic(files, journal, remaining, stop)) return false;
  RecordHead head;
  std::vector<uint8_t> body;
  while (ReadRecord(files, journal, remaining, head, body)) {
    if (head.kind == RecordKind::kCommit) return true;
  }
  return false;
}

}  // namespace

ReplayResult ReplayJournal(FileSystem& files, FileHandle journal, JournalTarget& target, bool honourCommit) {
  if (honourCommit && HoldsCommit(files, journal)) return ReplayResult::kCommitted;
  uint32_t remaining = 0;
  ReplayResult stop = ReplayResult::kDone;
  if (!SkipMagic(files, journal, remaining, stop)) return stop;

  std::array<FileBefore, journal::kFileCount> before{};
  RecordHead head;
  std::vector<uint8_t> body;
  while (ReadRecord(files, journal, remaining, head, body)) {
    if (head.kind == RecordKind::kBeforeImage) {
      if (!target.WriteBack(head.file, head.offset, body.data(), head.count)) return ReplayResult::kFailed;
    } else if (head.kind != RecordKind::kCommit && !before[head.file].known) {
      before[head.file] = {true, head.kind == RecordKind::kFileExisted, head.offset};
    }
  }
  for (uint8_t file = 0; file < journal::kFileCount; ++file) {
    if (!before[file].known) continue;
    const bool ok = before[file].existed ? target.CutTo(file, before[file].length) : target.Remove(file);
    if (!ok) return ReplayResult::kFailed;
  }
  return ReplayResult::kDone;
}

}  // namespace kro
