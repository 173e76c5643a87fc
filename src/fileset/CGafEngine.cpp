#include "fileset/CGafEngine.h"

#include <new>

#include "engine/datafile/CGafFile.h"
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

EngineStatus FirstFailure(EngineStatus first, EngineStatus next) { return first != kEngineOk ? first : next; }

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

uint32_t CGafEngine::Open(const char* fileName, EKroGafOpenFlags openMode, LONG useKif) {
  if (mode_ != Mode::kNoFileSet) return eKroIllegalFunctionCall;
  if (fileName == nullptr) return eKroInvalidParameter;
  const uint32_t flagWord = OpenFlagWord(openMode);
  if (flagWord == 0) return eKroUnableToOpen;

  lastStatus_ = OpenComponents(fileName, flagWord, useKif);
  if (lastStatus_ != kEngineOk) {
    damaged_ = true;
    Close();
    return lastStatus_;
  }
  ShareIndexCacheBudget();
  mode_ = Mode::kIdle;
  state_ = State::kOpen;
  return eKroOk;
}

EngineStatus CGafEngine::OpenComponents(const char* fileName, uint32_t flagWord, LONG useKif) {
  CompanionNames names;
  EngineStatus status = DeriveCompanionNames(fileName, names);
  if (status == kEngineOk) status = BeginSession(fileName, names, flagWord);
  if (status != kEngineOk) return status;
  dataFile_ = OpenEngine<CGafFile>(fileName, flagWord, eGafOutOfMemory, Environment(), status);
  if (status != kEngineOk) return status;
  status = OpenIndexes(names, flagWord, useKif);
  if (status == kEngineOk && dataFile_->IsReadOnly()) status = CheckIndexCounts();
  return status;
}

EngineStatus CGafEngine::BeginSession(const char* fileName, const CompanionNames& names, uint32_t flagWord) {
  const SetFileNames setNames{fileName, names.spatialIndex, names.keyIndex};
  const EngineStatus recovered = RecoverFileSet(Environment(), setNames);
  if (recovered != kEngineOk || (flagWord & kOpenReadOnly) != 0) return recovered;
  const bool fresh = (flagWord & kOpenCreateTruncate) != 0;
  session_.reset(new (std::nothrow)
                     WriteSession(Environment(), fresh ? WriteSession::Kind::kFresh : WriteSession::Kind::kJournaled,
                                  setNames));
  if (session_ == nullptr) return eGafOutOfMemory;
  session_->Begin();
  return kEngineOk;
}

EngineStatus CGafEngine::CheckIndexCounts() const {
  const uint32_t objects = dataFile_->GetObjectCount();
  const bool agree = spatialIndex_->GetObjectCount() == objects &&
                     (keyIndex_ == nullptr || keyIndex_->GetEntryCount() == objects);
  return agree ? kEngineOk : eGafBadFormat;
}

EngineStatus CGafEngine::OpenIndexes(const CompanionNames& names, uint32_t flagWord, LONG useKif) {
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
    if (status != kEngineOk) return status;
  }
  spatialIndex_ = OpenEngine<CSpatialIndex>(names.spatialIndex.c_str(), indexFlagWord, eSifCannotOpen, Environment(), status);
  if (status != kEngineOk) return status;

  // Only the width of an existing data file can disagree with its index.
  if (writable && !dataFile_->IsNewFile() && dataFile_->GetPrecision() != spatialIndex_->GetCoordinateBits()) {
    return eGafPrecisionMismatch;
  }

  const bool alwaysKeyIndex = useKif == -1;
  if (!alwaysKeyIndex && !FilePresent(files_, names.keyIndex.c_str())) return kEngineOk;
  if (alwaysKeyIndex && WouldCreateIncompleteIndex(names.keyIndex.c_str())) {
    status = RebuildIndexes(*dataFile_, std::string(), names.keyIndex, kRebuildForAppend);
    if (status != kEngineOk) return status;
  }
  keyIndex_ = OpenEngine<CKeyIndex>(names.keyIndex.c_str(), indexFlagWord, eKifCannotOpen, Environment(), status);
  return status;
}

void CGafEngine::ShareIndexCacheBudget() {
  // Both caches start empty, so setting a budget writes nothing back.
  const size_t share = keyIndex_ != nullptr ? indexCacheBudget_ / 2 : indexCacheBudget_;
  (void)spatialIndex_->SetCacheBudget(share);
  if (keyIndex_ != nullptr) (void)keyIndex_->SetCacheBudget(share);
}

bool CGafEngine::WouldCreateIncompleteIndex(const char* indexName) const {
  return !dataFile_->IsReadOnly() && !dataFile_->IsNewFile() && dataFile_->GetObjectCount() > 0 &&
         !files_.Exists(indexName);
}

EngineStatus CGafEngine::CloseFiles() {
  // The indexes finish first and the data file last: its end-of-data chunk
  // and final count are the last bytes a new set gets, so a writer that dies
  // before them leaves a set that every read-only open refuses.
  EngineStatus status = kEngineOk;
  if (spatialIndex_ != nullptr) status = spatialIndex_->Close();
  if (keyIndex_ != nullptr) status = FirstFailure(status, keyIndex_->Close());
  const bool writable = dataFile_ != nullptr && !dataFile_->IsReadOnly();
  if (writable) status = FirstFailure(status, dataFile_->Close());
  dataFile_.reset();
  spatialIndex_.reset();
  keyIndex_.reset();
  if (damaged_ && status == kEngineOk) status = eGafWriteError;
  if (session_ != nullptr) {
    const EngineStatus ended = status == kEngineOk ? session_->Commit() : session_->Discard();
    if (ended != kEngineOk) status = ended;
    session_.reset();
  }
  damaged_ = false;
  mode_ = Mode::kNoFileSet;
  state_ = State::kClosed;
  return status;
}

void CGafEngine::Close() { (void)CloseFiles(); }

}  // namespace kro
