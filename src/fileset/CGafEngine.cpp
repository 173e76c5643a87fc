#include "fileset/CGafEngine.h"

#include <new>

#include "engine/datafile/CGafFile.h"
#include "engine/datafile/GafFormat.h"
#include "engine/writesession/SetRecovery.h"
#include "engine/writesession/WriteSession.h"
#include "engine/keyindex/CKeyIndex.h"
#include "engine/spatialindex/CSpatialIndex.h"
#include "fileset/CompanionNames.h"
#include "fileset/IndexRebuild.h"
#include "platform/FileSystem.h"

namespace kro {
namespace {

// The flag word of the file layer for an open mode, the same for all three
// files; 0 for a mode that is refused.
uint32_t OpenFlagWord(EKroGafOpenFlags openMode) {
  switch (openMode) {
    case kGafReadOnly:
    case kGafReadPartial:
      return kOpenReadOnly;
    case kGafOpenUpdate:
      return kOpenReadWrite;
    case kGafCreateNew:
      return kOpenReadWrite | kOpenCreateTruncate;
    case kGafOpenAppend:
      return kOpenReadWrite | kOpenCreateAlways;
    default:
      return 0;
  }
}

// Constructs an engine object that opens a file; its status arrives through
// the out-parameter. An object that cannot be allocated reports `noMemory`.
template <class Engine>
std::unique_ptr<Engine> OpenEngine(const char* fileName, uint32_t flagWord, EngineStatus noMemory, Env& env,
                                   EngineStatus& status) {
  status = noMemory;
  std::unique_ptr<Engine> engine(new (std::nothrow) Engine(fileName, flagWord, status, env));
  if (engine == nullptr) status = noMemory;
  return engine;
}

// A session that could not end as asked: eGafWriteError when the commit
// failed (the set was rolled back), eGafJournalError when even the rollback
// failed.
EngineError SessionError(EngineStatus ended, const std::string& setName) {
  return EngineError{ended, setName, EngineError::kNoOffset,
                     ended == eGafJournalError ? "the set cannot be rolled back; its journal stays for the next open"
                                               : "the set cannot be committed, so it is rolled back"};
}

// Whether a file is there. An existence test that fails must not make a set
// lose its key index: a file counts as missing only when it can neither be
// opened nor be found.
bool FilePresent(const CGafRawFile& files, const char* fileName) {
  FileHandle handle = kInvalidFileHandle;
  if (files.Open(fileName, kOpenReadOnly, handle)) {
    files.Close(handle);
    return true;
  }
  return files.Exists(fileName);
}

// A lost index is rebuilt packed: bottom-up is the fastest way to a complete
// index, and the result is an ordinary tree that later inserts extend.
const SpatialRebuild kRebuildForAppend{true, SifPackOrder::kSortTileRecursive};

}  // namespace

CGafEngine::CGafEngine(Env& env) : files_(env) {}

CGafEngine::~CGafEngine() { Close(); }

EKroErrCode CGafEngine::Open(const char* fileName, EKroGafOpenFlags openMode, LONG useKif) {
  if (mode_ != Mode::kNoFileSet) return eKroIllegalFunctionCall;
  if (fileName == nullptr) return eKroInvalidParameter;
  const uint32_t flagWord = OpenFlagWord(openMode);
  if (flagWord == 0) return eKroUnableToOpen;

  setName_ = fileName;
  if (Decide(OpenComponents(fileName, flagWord, useKif)) != kEngineOk) {
    damaged_ = true;
    Close();
    return eKroUnableToOpen;
  }
  lastError_ = EngineError{};
  ShareIndexCacheBudget();
  mode_ = Mode::kIdle;
  state_ = State::kOpen;
  return eKroOk;
}

EngineStatus CGafEngine::Decide(const EngineError& error) {
  lastStatus_ = error.status;
  lastError_ = error;
  return lastStatus_;
}

EngineError CGafEngine::LastError() const {
  if (lastError_.status == lastStatus_) return lastError_;
  return ErrorOfFiles(lastStatus_);
}

EngineError CGafEngine::ErrorOfFiles(EngineStatus status) const {
  const EngineStatus family = status & 0xFFFFF000u;
  if (family == (eSifCannotOpen & 0xFFFFF000u) && spatialIndex_ != nullptr) return spatialIndex_->ErrorFor(status);
  if (family == (eKifCannotOpen & 0xFFFFF000u) && keyIndex_ != nullptr) return keyIndex_->ErrorFor(status);
  if (family == (eGafCannotOpen & 0xFFFFF000u) && dataFile_ != nullptr) return dataFile_->ErrorFor(status);
  return ErrorForAnswer(EngineError{}, status, setName_);
}

EngineError CGafEngine::OpenComponents(const char* fileName, uint32_t flagWord, LONG useKif) {
  CompanionNames names;
  EngineStatus status = DeriveCompanionNames(fileName, names);
  if (status != kEngineOk) {
    return EngineError{status, fileName, EngineError::kNoOffset,
                       status == eGafNotAGaf ? "the name does not end in .gaf" : "the name is 260 bytes or longer"};
  }
  const EngineError session = BeginSession(fileName, names, flagWord);
  if (session.Failed()) return session;
  dataFile_ = OpenEngine<CGafFile>(fileName, flagWord, eGafOutOfMemory, Environment(), status);
  if (status != kEngineOk) return ErrorOfFiles(status);
  if (ordered_) {
    // The indexes are written whole at close, through the session.
    deferredIndexes_ = names;
    if (!KeepsKeyIndex(names.keyIndex, useKif)) deferredIndexes_.keyIndex.clear();
    return EngineError{};
  }
  EngineError error = OpenIndexes(names, flagWord, useKif);
  if (!error.Failed() && dataFile_->IsReadOnly()) error = CheckIndexCounts();
  return error;
}

EngineError CGafEngine::BeginSession(const char* fileName, const CompanionNames& names, uint32_t flagWord) {
  const SetFileNames setNames{fileName, names.spatialIndex, names.keyIndex};
  const EngineError recovered = RecoverFileSet(Environment(), setNames);
  if (recovered.Failed() || (flagWord & kOpenReadOnly) != 0) return recovered;
  // An ordered export keeps a journal even of a set it creates: the set
  // stays as it was (or absent) until the export commits, whenever it dies.
  const bool fresh = (flagWord & kOpenCreateTruncate) != 0 && !ordered_;
  session_.reset(new (std::nothrow)
                     WriteSession(Environment(), fresh ? WriteSession::Kind::kFresh : WriteSession::Kind::kJournaled,
                                  setNames));
  if (session_ == nullptr) {
    return EngineError{eGafOutOfMemory, fileName, EngineError::kNoOffset, "no memory for the write session"};
  }
  session_->Begin();
  return EngineError{};
}

EngineError CGafEngine::CheckIndexCounts() const {
  const uint32_t objects = dataFile_->GetObjectCount();
  const bool spatialAgrees = spatialIndex_->GetObjectCount() == objects;
  const uint32_t indexed =
      spatialAgrees && keyIndex_ != nullptr ? keyIndex_->GetEntryCount() : spatialIndex_->GetObjectCount();
  if (indexed == objects) return EngineError{};
  // The header's count is where the data file and its index part.
  return EngineError{eGafBadFormat, setName_, gaf::kTagWordSize + gaf::kInfoObjectCount,
                     "the header counts " + std::to_string(objects) + " objects, the " +
                         (spatialAgrees ? "key" : "spatial") + " index " + std::to_string(indexed) +
                         " (a writer did not finish the set, or the files are of different sets)"};
}

EngineError CGafEngine::OpenIndexes(const CompanionNames& names, uint32_t flagWord, LONG useKif) {
  const bool writable = !dataFile_->IsReadOnly();
  // A data file created by this open starts a new file set: index files left
  // from an earlier set of the same name are emptied, never mixed in.
  const uint32_t indexFlagWord =
      (writable && dataFile_->IsNewFile()) ? (kOpenReadWrite | kOpenCreateTruncate) : flagWord;

  EngineStatus status = kEngineOk;
  // An append onto a set that lost an index first rebuilds it from the data
  // file, so that the index holds the objects already in the set.
  if (WouldCreateIncompleteIndex(names.spatialIndex.c_str())) {
    status = RebuildIndexes(*dataFile_, names.spatialIndex, std::string(), kRebuildForAppend);
    if (status != kEngineOk) return ErrorForAnswer(dataFile_->Error(), status, names.spatialIndex);
  }
  spatialIndex_ = OpenEngine<CSpatialIndex>(names.spatialIndex.c_str(), indexFlagWord, eSifCannotOpen, Environment(),
                                            status);
  if (status != kEngineOk) return ErrorOfFiles(status);

  // Only the width of an existing data file can disagree with its index.
  if (writable && !dataFile_->IsNewFile() && dataFile_->GetPrecision() != spatialIndex_->GetCoordinateBits()) {
    return EngineError{eGafPrecisionMismatch, setName_, EngineError::kNoOffset,
                       "the data file's precision differs from its spatial index's"};
  }

  if (!KeepsKeyIndex(names.keyIndex, useKif)) return EngineError{};
  if (useKif == -1 && WouldCreateIncompleteIndex(names.keyIndex.c_str())) {
    status = RebuildIndexes(*dataFile_, std::string(), names.keyIndex, kRebuildForAppend);
    if (status != kEngineOk) return ErrorForAnswer(dataFile_->Error(), status, names.keyIndex);
  }
  keyIndex_ = OpenEngine<CKeyIndex>(names.keyIndex.c_str(), indexFlagWord, eKifCannotOpen, Environment(), status);
  return status != kEngineOk ? ErrorOfFiles(status) : EngineError{};
}

bool CGafEngine::KeepsKeyIndex(const std::string& keyIndexName, LONG useKif) const {
  return useKif == -1 || FilePresent(files_, keyIndexName.c_str());
}

void CGafEngine::ShareIndexCacheBudget() {
  // Both caches start empty, so setting a budget writes nothing back.
  if (spatialIndex_ == nullptr) return;
  const size_t share = keyIndex_ != nullptr ? indexCacheBudget_ / 2 : indexCacheBudget_;
  (void)spatialIndex_->SetCacheBudget(share);
  if (keyIndex_ != nullptr) (void)keyIndex_->SetCacheBudget(share);
}

bool CGafEngine::WouldCreateIncompleteIndex(const char* indexName) const {
  return !dataFile_->IsReadOnly() && !dataFile_->IsNewFile() && dataFile_->GetObjectCount() > 0 &&
         !files_.Exists(indexName);
}

EngineError CGafEngine::CloseFiles() {
  // The indexes finish first and the data file last: its end-of-data chunk
  // and final count are the last bytes a new set gets, so a writer that dies
  // before them leaves a set that every read-only open refuses.
  EngineError error;
  const auto keepFirst = [&error](const EngineError& next) {
    if (!error.Failed()) error = next;
  };
  if (spatialIndex_ != nullptr) keepFirst(spatialIndex_->ErrorFor(spatialIndex_->Close()));
  if (keyIndex_ != nullptr) keepFirst(keyIndex_->ErrorFor(keyIndex_->Close()));
  const bool writable = dataFile_ != nullptr && !dataFile_->IsReadOnly();
  if (writable) keepFirst(dataFile_->ErrorFor(dataFile_->Close()));
  dataFile_.reset();
  spatialIndex_.reset();
  keyIndex_.reset();
  if (damaged_) {
    keepFirst(EngineError{eGafWriteError, setName_, EngineError::kNoOffset,
                          "a file failed while taking an object, so the set is given up"});
  }
  if (session_ != nullptr) {
    const EngineStatus ended = error.Failed() ? session_->Discard() : session_->Commit();
    if (ended != kEngineOk) error = SessionError(ended, setName_);
    session_.reset();
  }
  damaged_ = false;
  deferredIndexes_ = CompanionNames{};
  mode_ = Mode::kNoFileSet;
  state_ = State::kClosed;
  return error;
}

void CGafEngine::Close() { (void)CloseFiles(); }

}  // namespace kro
