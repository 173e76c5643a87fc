// One writer's hold on a file set, from its open to its commit. While a
// session is active, CGafRawFile hands it every open, write, truncation and
// close of the set's three files, which lets it keep the set's promise: a
// session either commits completely, or the set ends up as it was before
// the session began.
//
// Kinds:
//  - journaled (an existing set appended to or updated): before the first
//    byte of an existing file is overwritten, its before image goes to the
//    journal beside the set, and the journal is synced before the overwrite.
//    The journal also records each file's length before the session, or that
//    the session created it. Discarding replays the journal.
//  - fresh (a set created anew, its files emptied): nothing to keep; a
//    discarded session removes the files it opened.
//
// Invariants:
//  1. Nothing of the set is written while an earlier record of the journal
//     is not yet durable.
//  2. After the first failed write, truncation, sync or journal step, the
//     session refuses every further write: the set can only be discarded.
//  3. Closing a set file only marks it closed. Its handle, and with it the
//     writer's lock, is kept until the session commits or is discarded, so
//     no other process can open (and roll back) the set in between.
//
// Commit: every file synced, data file first, and the directory; then the
// journal's commit record written and synced (that record is the commit);
// then the journal deleted and the handles closed. A journal found with its
// commit record is only deleted, never replayed.
//
// A session is used by the thread that owns its writer; the registry of its
// environment, which CGafRawFile consults, is shared by all threads.
#ifndef KRO_ENGINE_WRITESESSION_WRITESESSION_H
#define KRO_ENGINE_WRITESESSION_WRITESESSION_H

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/EngineStatus.h"
#include "engine/fileaccess/Env.h"
#include "engine/writesession/ByteRanges.h"
#include "engine/writesession/SetFileTarget.h"
#include "platform/FileSystem.h"

namespace kro {

class WriteSession {
 public:
  enum class Kind { kFresh, kJournaled };

  WriteSession(Env& env, Kind kind, const SetFileNames& names);
  // Discards a session that was neither committed nor discarded.
  ~WriteSession();
  WriteSession(const WriteSession&) = delete;
  WriteSession& operator=(const WriteSession&) = delete;

  // From here until Commit or Discard, the set's files, as the environment's
  // objects open them, go through this session. REQUIRES: called once.
  void Begin();
  // kEngineOk when the set is committed; otherwise the session is
  // discarded and the status says why (eGafWriteError, or eGafJournalError
  // when even the rollback failed and the journal stays for the next open).
  EngineStatus Commit();
  // Puts the set back as it was; kEngineOk, or eGafJournalError when the
  // journal could not be replayed (it stays, and the next open replays it).
  EngineStatus Discard();
  bool Failed() const { return failed_; }

  // The file layer's side (SessionRegistry finds the session by these).
  bool Owns(const char* fileName) const { return IndexOfName(fileName) >= 0; }
  bool OwnsHandle(FileHandle handle) const { return IndexOfHandle(handle) >= 0; }
  bool OpenFile(const char* fileName, uint32_t flagWord, FileHandle& handle);
  bool WriteFile(FileHandle handle, const void* buffer, uint32_t count);
  bool TruncateFile(FileHandle handle, uint32_t size);
  bool CloseFile(FileHandle handle);

 private:
  struct SessionFile {
    FileHandle handle = kInvalidFileHandle;
    uint32_t lengthBefore = 0;  // what the journal may restore; 0 for a created file
    ByteRanges saved;           // parts whose before image is in the journal
  };

  int IndexOfName(const char* fileName) const;
  int IndexOfHandle(FileHandle handle) const;

  bool OpenJournaled(int file, const char* fileName, uint32_t flagWord, FileHandle& handle);
  bool StartJournal();
  void NoteFile(int file, bool existed, uint32_t length);
  // Puts the before image of the part of [start, end) that lies inside the
  // file's old length and is not saved yet into the journal's pending bytes
  // (for an index file, of the whole aligned window around it).
  bool SaveBeforeImage(int file, uint64_t start, uint64_t end);
  // Writes and syncs what the journal has pending (invariant 1).
  bool MakeJournalDurable();
  // Writes the pending records to the journal, unsynced.
  bool WritePending();
  // Appends the commit record and makes it durable; on failure the journal
  // is cut back so that it can still roll the session back.
  bool WriteCommitRecord();
  bool Fail();
  std::array<FileHandle, 3> Handles() const;
  void CloseAll();
  void Unregister();

  FileSystem& Files() const { return env_.Files(); }

  Env& env_;
  const Kind kind_;
  const SetFileNames names_;
  const std::string journalName_;
  std::array<SessionFile, 3> files_{};
  FileHandle journal_ = kInvalidFileHandle;
  uint32_t journalLength_ = 0;
  // Journal records not yet written; past kPendingLimit bytes they are
  // written before more are added.
  static constexpr size_t kPendingLimit = 256u << 10;
  std::vector<uint8_t> pending_;
  bool journalSynced_ = true;  // every record written is synced
  bool journalDirectorySynced_ = false;
  bool active_ = false;
  bool failed_ = false;
};

}  // namespace kro

#endif
