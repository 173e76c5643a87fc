#include "engine/writesession/SetRecovery.h"

#include "platform/FileSystem.h"

namespace kro {
namespace {

// The handles a recovery holds; every one is closed on the way out.
class RecoveryHandles {
 public:
  explicit RecoveryHandles(FileSystem& files) : files_(files) { handles_.fill(kInvalidFileHandle); }
  ~RecoveryHandles() {
    for (FileHandle handle : handles_) {
      if (handle != kInvalidFileHandle) files_.Close(handle);
    }
    if (journal_ != kInvalidFileHandle) files_.Close(journal_);
  }
  RecoveryHandles(const RecoveryHandles&) = delete;
  RecoveryHandles& operator=(const RecoveryHandles&) = delete;

  // Takes the journal, then every set file that exists, each exclusively.
  bool OpenAll(const SetFileNames& names, const std::string& journalName) {
    if (!files_.Open(journalName.c_str(), kOpenReadWrite, journal_)) return false;
    for (size_t i = 0; i < names.size(); ++i) {
      if (names[i].empty() || !files_.Exists(names[i].c_str())) continue;
      if (!files_.Open(names[i].c_str(), kOpenReadWrite, handles_[i])) return false;
    }
    return true;
  }

  FileHandle Journal() const { return journal_; }
  const std::array<FileHandle, 3>& Files() const { return handles_; }

 private:
  FileSystem& files_;
  std::array<FileHandle, 3> handles_{};
  FileHandle journal_ = kInvalidFileHandle;
};

}  // namespace

EngineError RecoverFileSet(Env& env, const SetFileNames& names) {
  const std::string journalName = JournalNameFor(names[0]);
  const auto failure = [&journalName](EngineStatus status, const char* reason) {
    return EngineError{status, journalName, EngineError::kNoOffset, reason};
  };
  // Straight to the file services: nothing of a recovery is journaled.
  FileSystem& files = env.Files();
  if (!files.Exists(journalName.c_str())) return EngineError{};
  RecoveryHandles handles(files);
  if (!handles.OpenAll(names, journalName)) {
    return failure(eGafCannotOpen, "the journal or a file of its set cannot be opened (is a writer still at work?)");
  }
  SetFileTarget target(files, names, handles.Files());
  const ReplayResult replayed = ReplayJournal(files, handles.Journal(), target, true);
  if (replayed == ReplayResult::kBadJournal) {
    return failure(eGafJournalError, "the journal is not one this library wrote");
  }
  if (replayed == ReplayResult::kFailed) {
    return failure(eGafJournalError, "the journal's before images cannot be restored");
  }
  // The journal goes only once the restored bytes are on the disk; until
  // then a second recovery would simply do the same again.
  if (replayed == ReplayResult::kDone && !target.SyncAll()) {
    return failure(eGafJournalError, "the restored files cannot be synced to the disk");
  }
  if (!files.Delete(journalName.c_str())) return failure(eGafJournalError, "the replayed journal cannot be removed");
  files.SyncDirectory(journalName.c_str());
  return EngineError{};
}

}  // namespace kro
