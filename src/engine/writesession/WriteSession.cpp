#include "engine/writesession/WriteSession.h"

#include <algorithm>

#include "engine/writesession/JournalFormat.h"

namespace kro {
namespace {

using journal::RecordHead;
using journal::RecordKind;

constexpr int kDataFile = 0;

// An index rewrites its old blocks all over the file, one at a time as its
// cache evicts them. Saving the whole aligned window around a block at once
// makes one journal sync cover all the blocks of the window; the data file
// only ever rewrites its info chunk and its end marker, saved exactly.
constexpr uint64_t kIndexImageWindow = 256 * 1024;

}  // namespace

WriteSession::WriteSession(Env& env, Kind kind, const SetFileNames& names)
    : env_(env), kind_(kind), names_(names), journalName_(JournalNameFor(names[kDataFile])) {}

WriteSession::~WriteSession() {
  if (active_) Discard();
}

void WriteSession::Begin() {
  env_.Sessions().Add(this);
  active_ = true;
}

void WriteSession::Unregister() {
  env_.Sessions().Remove(this);
  active_ = false;
}

int WriteSession::IndexOfName(const char* fileName) const {
  for (int i = 0; i < 3; ++i) {
    if (!names_[i].empty() && names_[i] == fileName) return i;
  }
  return -1;
}

int WriteSession::IndexOfHandle(FileHandle handle) const {
  for (int i = 0; i < 3; ++i) {
    if (files_[i].handle == handle) return i;
  }
  return -1;
}

bool WriteSession::Fail() {
  failed_ = true;
  return false;
}

bool WriteSession::OpenFile(const char* fileName, uint32_t flagWord, FileHandle& handle) {
  handle = kInvalidFileHandle;
  const int file = IndexOfName(fileName);
  // A set file is opened once per session: its first handle still holds the
  // lock until the session ends.
  if (file < 0 || failed_ || files_[file].handle != kInvalidFileHandle) return false;
  const bool opened = kind_ == Kind::kFresh ? Files().Open(fileName, flagWord, handle)
                                            : OpenJournaled(file, fileName, flagWord, handle);
  if (opened) files_[file].handle = handle;
  return opened;
}

bool WriteSession::OpenJournaled(int file, const char* fileName, uint32_t flagWord, FileHandle& handle) {
  // Emptying an existing file is an overwrite like any other: it is opened
  // as it is and then cut to nothing through the session.
  const bool truncate = (flagWord & kOpenCreateTruncate) != 0 && (flagWord & kOpenCreateNew) == 0;
  if (truncate) flagWord = (flagWord & ~kOpenCreateTruncate) | kOpenCreateAlways;
  const bool mayCreate = (flagWord & (kOpenCreateNew | kOpenCreateAlways)) != 0;
  const bool first = journal_ == kInvalidFileHandle;
  // Whether the file existed is learnt by opening it without creating it: a
  // file wrongly taken for new would be deleted by a rollback.
  const bool existed = Files().Open(fileName, flagWord & ~(kOpenCreateNew | kOpenCreateAlways), handle);
  if (!existed) {
    if (!mayCreate || Files().Exists(fileName)) return false;
    // The journal is made only once the data file's lock is held, so two
    // writers never share one. An index file the session is about to create
    // is noted, durably, before it exists.
    if (!first) {
      NoteFile(file, false, 0);
      if (!MakeJournalDurable()) return false;
    }
    if (!Files().Open(fileName, flagWord, handle)) return false;
  }
  uint32_t length = 0;
  const bool ready = (!first || StartJournal()) && (!existed || Files().Size(handle, length));
  if (!ready) {
    Files().Close(handle);
    handle = kInvalidFileHandle;
    if (!existed) Files().Delete(fileName);
    return Fail();
  }
  if (first || existed) NoteFile(file, existed, length);
  files_[file].handle = handle;
  return !truncate || !existed || TruncateFile(handle, 0);
}

bool WriteSession::StartJournal() {
  // Created new: a journal already there belongs to a session that has not
  // been rolled back, and this one must not write over it.
  if (!Files().Open(journalName_.c_str(), kOpenReadWrite | kOpenCreateNew, journal_)) {
    journal_ = kInvalidFileHandle;
    return false;
  }
  pending_.assign(journal::kMagic, journal::kMagic + journal::kMagicSize);
  return true;
}

void WriteSession::NoteFile(int file, bool existed, uint32_t length) {
  files_[file].lengthBefore = existed ? length : 0;
  const RecordHead head{existed ? RecordKind::kFileExisted : RecordKind::kFileCreated, static_cast<uint8_t>(file),
                        files_[file].lengthBefore, 0};
  journal::AppendRecord(pending_, head, nullptr);
}

bool WriteSession::SaveBeforeImage(int file, uint64_t start, uint64_t end) {
  SessionFile& state = files_[file];
  end = std::min<uint64_t>(end, state.lengthBefore);
  if (start >= end) return true;
  if (file != kDataFile) {
    start -= start % kIndexImageWindow;
    end = std::min<uint64_t>((end + kIndexImageWindow - 1) / kIndexImageWindow * kIndexImageWindow, state.lengthBefore);
  }
  const auto gaps = state.saved.Gaps(static_cast<uint32_t>(start), static_cast<uint32_t>(end));
  if (gaps.empty()) return true;
  uint32_t resume = 0;
  if (!Files().Tell(state.handle, resume)) return false;
  std::vector<uint8_t> image;
  for (const auto& gap : gaps) {
    for (uint32_t piece = gap.first; piece < gap.second;) {
      const uint32_t count = std::min(gap.second - piece, journal::kMaxImageBytes);
      image.resize(count);
      if (!Files().Seek(state.handle, static_cast<int32_t>(piece), SeekOrigin::kBegin) ||
          !Files().Read(state.handle, image.data(), count)) {
        return false;
      }
      journal::AppendRecord(pending_, RecordHead{RecordKind::kBeforeImage, static_cast<uint8_t>(file), piece, count},
                            image.data());
      // A long stretch (a whole file an ordered export empties) goes to the
      // journal as it is read, so memory holds at most a piece or two; it is
      // synced with the rest before the set is overwritten.
      if (pending_.size() >= kPendingLimit && !WritePending()) return false;
      piece += count;
    }
    state.saved.Add(gap.first, gap.second);
  }
  return Files().Seek(state.handle, static_cast<int32_t>(resume), SeekOrigin::kBegin);
}

bool WriteSession::WritePending() {
  if (pending_.empty()) return true;
  const bool written = Files().Seek(journal_, static_cast<int32_t>(journalLength_), SeekOrigin::kBegin) &&
                       Files().Write(journal_, pending_.data(), static_cast<uint32_t>(pending_.size()));
  if (!written) return Fail();
  journalLength_ += static_cast<uint32_t>(pending_.size());
  pending_.clear();
  journalSynced_ = false;
  return true;
}

bool WriteSession::MakeJournalDurable() {
  if (kind_ != Kind::kJournaled || journal_ == kInvalidFileHandle) return true;
  if (pending_.empty() && journalSynced_ && journalDirectorySynced_) return true;
  if (!pending_.empty() || !journalSynced_) {
    if (!WritePending() || !Files().Sync(journal_)) return Fail();
    journalSynced_ = true;
  }
  if (!journalDirectorySynced_) {
    if (!Files().SyncDirectory(journalName_.c_str())) return Fail();
    journalDirectorySynced_ = true;
  }
  return true;
}

bool WriteSession::WriteFile(FileHandle handle, const void* buffer, uint32_t count) {
  const int file = IndexOfHandle(handle);
  if (file < 0 || failed_) return false;
  if (kind_ == Kind::kJournaled) {
    uint32_t position = 0;
    if (!Files().Tell(handle, position) || !SaveBeforeImage(file, position, uint64_t{position} + count)) {
      return Fail();
    }
    if (!MakeJournalDurable()) return false;
  }
  return Files().Write(handle, buffer, count) || Fail();
}

bool WriteSession::TruncateFile(FileHandle handle, uint32_t size) {
  const int file = IndexOfHandle(handle);
  if (file < 0 || failed_) return false;
  if (kind_ == Kind::kJournaled) {
    uint32_t current = 0;
    if (!Files().Size(handle, current) || !SaveBeforeImage(file, size, current)) return Fail();
    if (!MakeJournalDurable()) return false;
  }
  return Files().Truncate(handle, size) || Fail();
}

bool WriteSession::CloseFile(FileHandle handle) { return IndexOfHandle(handle) >= 0; }

std::array<FileHandle, 3> WriteSession::Handles() const {
  return {files_[0].handle, files_[1].handle, files_[2].handle};
}

EngineStatus WriteSession::Commit() {
  if (!active_) return kEngineOk;
  SetFileTarget target(Files(), names_, Handles());
  // What the set holds must be durable before the commit is: its files, then
  // their names in the directory. The commit itself is the journal's commit
  // record; a fresh session commits with the directory.
  const bool committed =
      !failed_ && target.SyncAll() && Files().SyncDirectory(names_[kDataFile].c_str()) && WriteCommitRecord();
  if (!committed) {
    const EngineStatus discarded = Discard();
    return discarded != kEngineOk ? discarded : eGafWriteError;
  }
  // A committed journal that cannot be deleted now is deleted by the next
  // open, which finds its commit record.
  if (journal_ != kInvalidFileHandle) Files().Delete(journalName_.c_str());
  CloseAll();
  Unregister();
  return kEngineOk;
}

bool WriteSession::WriteCommitRecord() {
  if (kind_ != Kind::kJournaled || journal_ == kInvalidFileHandle) return true;
  const uint32_t durableLength = journalLength_;
  journal::AppendRecord(pending_, RecordHead{RecordKind::kCommit, 0, 0, 0}, nullptr);
  if (MakeJournalDurable()) return true;
  // Whether the record reached the disk is unknown: take it away again, so
  // that the session can still be rolled back.
  Files().Truncate(journal_, durableLength);
  return false;
}

EngineStatus WriteSession::Discard() {
  if (!active_) return kEngineOk;
  SetFileTarget target(Files(), names_, Handles());
  EngineStatus status = kEngineOk;
  if (kind_ == Kind::kFresh) {
    for (uint8_t file = 0; file < 3; ++file) {
      if (files_[file].handle != kInvalidFileHandle && !target.Remove(file)) status = eGafWriteError;
    }
    Files().SyncDirectory(names_[kDataFile].c_str());
  } else if (journal_ != kInvalidFileHandle) {
    const bool restored = ReplayJournal(Files(), journal_, target, false) == ReplayResult::kDone && target.SyncAll() &&
                          Files().Delete(journalName_.c_str());
    if (restored) Files().SyncDirectory(journalName_.c_str());
    if (!restored) status = eGafJournalError;
  }
  CloseAll();
  Unregister();
  return status;
}

void WriteSession::CloseAll() {
  for (SessionFile& file : files_) {
    if (file.handle != kInvalidFileHandle) Files().Close(file.handle);
    file.handle = kInvalidFileHandle;
  }
  if (journal_ != kInvalidFileHandle) Files().Close(journal_);
  journal_ = kInvalidFileHandle;
}

}  // namespace kro
