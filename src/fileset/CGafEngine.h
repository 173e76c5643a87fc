// The engine facade: one object that opens the three files of a file set
// together from the data file's name (data file, spatial index and, when the
// set has one, key index), and closes them together, the data file last. The
// writing form (CGafWriter) and the reading form (CGafReader) derive from it.
//
// Operations answer with EKroErrCode values; the engine status word of the
// step that decided the outcome stays in LastStatus() until the next step,
// and LastError() tells the file, the offset and the reason of its failure.
//
// A writable open holds the set in a write session (WriteSession): a set
// created anew is removed again, and an existing set appended to or updated
// is rolled back from its journal, unless the session commits at close. Any
// open first rolls back a journal that an earlier writer left behind.
//
// state / mode: closed (0 / -1) -> Open -> open (1 / 0) -> a reader's
// BeginSequential / BeginSpatialSearch -> reading (2 / 1 or 2) -> EndSearch
// -> open. A facade opens one file set once; destruction closes it.
#ifndef KRO_FILESET_CGAFENGINE_H
#define KRO_FILESET_CGAFENGINE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "KroGafExportImport/KroGafExportImport.h"
#include "engine/EngineError.h"
#include "engine/EngineStatus.h"
#include "engine/fileaccess/CGafRawFile.h"
#include "fileset/CompanionNames.h"

namespace kro {

class CGafFile;
class CSpatialIndex;
class CKeyIndex;
class WriteSession;

class CGafEngine {
 public:
  // Every file of the set, and the write session, live in `env`.
  explicit CGafEngine(Env& env = Env::Default());
  virtual ~CGafEngine();
  CGafEngine(const CGafEngine&) = delete;
  CGafEngine& operator=(const CGafEngine&) = delete;

  // 0 on success; eKroIllegalFunctionCall when a file set is already open;
  // eKroInvalidParameter for a null name; eKroUnableToOpen for an open mode
  // other than 1 to 5 and for every failure of the files, whose status word
  // stays in LastStatus() (eGafNotAGaf for a name without the ".gaf"
  // extension, eGafCannotOpen for a name of 260 bytes or more,
  // eGafPrecisionMismatch, or an open status of one of the three files) and
  // whose error in LastError(). A failed open leaves no file open. `useKif`
  // -1 always keeps a key index; any other value opens one only when the
  // ".kif" file already exists.
  EKroErrCode Open(const char* fileName, EKroGafOpenFlags openMode, LONG useKif);

  // Memory the index caches of one open set may hold together, in bytes
  // (docs/index-cache.md). The spatial index has it alone, or shares it
  // equally with the key index. 0 keeps only each index's 30 node buffers,
  // every other block read and written at once. Takes effect at Open.
  static constexpr size_t kDefaultIndexCacheBudget = size_t{48} << 20;
  void SetIndexCacheBudget(size_t bytes) { indexCacheBudget_ = bytes; }
  size_t IndexCacheBudget() const { return indexCacheBudget_; }

  EngineStatus LastStatus() const { return lastStatus_; }
  // The error of LastStatus(): the file it concerns, the offset where it
  // applies and the engine's reason, from the file that gave the word. A
  // word that is no failure gives an error that is not Failed().
  EngineError LastError() const;
  bool IsOpen() const { return mode_ != Mode::kNoFileSet; }
  bool HasKeyIndex() const { return keyIndex_ != nullptr || !deferredIndexes_.keyIndex.empty(); }
  Env& Environment() const { return files_.Environment(); }

 protected:
  enum class State : int32_t { kClosed = 0, kOpen = 1, kReading = 2 };
  enum class Mode : int32_t { kNoFileSet = -1, kIdle = 0, kSequential = 1, kSpatial = 2, kKey = 3, kPosition = 4 };

  // Recovers the set from a journal left beside it, then, for a writable
  // open, starts the write session.
  EngineError BeginSession(const char* fileName, const CompanionNames& names, uint32_t flagWord);
  // CloseFiles, unreported.
  void Close();
  // The step that decided an outcome: its status word and its error.
  EngineStatus Decide(const EngineError& error);
  // The error a file of the set holds for `status`, by the file family the
  // word belongs to; the word's phrase when that file is not open.
  EngineError ErrorOfFiles(EngineStatus status) const;
  // Finishes the spatial index, then the key index, then the data file, and
  // ends the write session: committed when every file finished and nothing
  // is damaged, else discarded. kEngineOk when committed (or read-only);
  // otherwise the first failure's error (eGafWriteError for a damaged set,
  // eGafJournalError when even the rollback failed).
  EngineError CloseFiles();

  const CGafRawFile files_;
  State state_ = State::kClosed;
  EngineStatus lastStatus_ = kEngineOk;
  // The error of a step that closed the files (open, finish); while they are
  // open, the files themselves hold the errors of their steps.
  EngineError lastError_;
  std::string setName_;
  Mode mode_ = Mode::kNoFileSet;
  std::unique_ptr<CGafFile> dataFile_;
  std::unique_ptr<CSpatialIndex> spatialIndex_;
  std::unique_ptr<CKeyIndex> keyIndex_;
  std::unique_ptr<WriteSession> session_;
  // The set must not be committed: its open failed part-way, or a file took
  // part of an object and another failed, or a file failed for good.
  bool damaged_ = false;
  // A writer that stages its objects and writes the set whole at close
  // (CGafWriter::SetSpatialOrder): set before the open. Its open journals a
  // set it creates and opens no index; the names of the index files it is
  // to write (no key index: empty) are kept instead.
  bool ordered_ = false;
  CompanionNames deferredIndexes_;

 private:
  EngineError OpenComponents(const char* fileName, uint32_t flagWord, LONG useKif);
  EngineError OpenIndexes(const CompanionNames& names, uint32_t flagWord, LONG useKif);
  // A set opened read-only must be whole: indexes that count other than the
  // data file mean a writer died before it finished.
  EngineError CheckIndexCounts() const;

  // A file set whose data file already holds objects must not get an index
  // created empty beside it: the index would miss those objects, so such an
  // index is rebuilt from the data file first.
  bool WouldCreateIncompleteIndex(const char* indexName) const;
  void ShareIndexCacheBudget();
  // `useKif` -1 always keeps a key index; any other value keeps one only
  // when its file is there.
  bool KeepsKeyIndex(const std::string& keyIndexName, LONG useKif) const;

  size_t indexCacheBudget_ = kDefaultIndexCacheBudget;
};

}  // namespace kro

#endif
