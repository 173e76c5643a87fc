// CGafReader: parking an idle reader and resuming it. A parked reader keeps
// its descriptors, index block caches and data file buffers, but holds no
// lock, so a writer may open the set meanwhile exactly as if the reader had
// closed it. Resuming takes the shared locks back first; from then on no
// writer can change the set, and what the reader kept is valid again only
// if nothing changed while it held no lock (SetFileStamps) and no writer
// left a journal to roll back. Anything else sends the caller to a fresh
// open, which handles every such case as it always has.
#include <new>

#include "engine/datafile/CGafFile.h"
#include "engine/keyindex/CKeyIndex.h"
#include "engine/spatialindex/CSpatialIndex.h"
#include "fileset/CGafReader.h"
#include "fileset/CompanionNames.h"

namespace kro {
namespace {

bool JournalBeside(const CGafRawFile& files, const std::string& dataFileName) {
  try {
    return files.Exists(JournalNameFor(dataFileName).c_str());
  } catch (const std::bad_alloc&) {
    return true;  // unknown counts as present: the fresh open looks for itself
  }
}

// The names of the set's three files; false when they cannot be made.
bool SetNamesFor(const std::string& dataFileName, SetFileNames& names) {
  CompanionNames companions;
  if (DeriveCompanionNames(dataFileName.c_str(), companions) != kEngineOk) return false;
  try {
    names = SetFileNames{dataFileName, companions.spatialIndex, companions.keyIndex};
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

}  // namespace

std::array<FileHandle, 3> CGafReader::SetHandles() const {
  return {dataFile_->Handle(), spatialIndex_->Handle(),
          keyIndex_ != nullptr ? keyIndex_->Handle() : kInvalidFileHandle};
}

bool CGafReader::LastStepFailed() const { return lastStatus_ != kEngineOk && lastStatus_ != kEngineEndOfResults; }

const std::string& CGafReader::FileName() const {
  static const std::string kNoName;
  return dataFile_ != nullptr ? dataFile_->FileName() : kNoName;
}

bool CGafReader::Park() {
  // Only a reader of the whole set (data file and spatial index, as
  // OpenForRead opens it) whose files are sound is worth keeping.
  if (parked_ || state_ < State::kOpen || spatialIndex_ == nullptr || session_ != nullptr || LastStepFailed()) {
    return false;
  }
  if (IsReading() && EndSearch() != eKroOk) return false;
  if (dataFile_->Status() != kEngineOk) return false;
  // The stamps are taken while the locks are still held: nothing changes
  // the files before they are let go of. A resumed reader's stamps were
  // checked against the files when it took its locks back, and no writer
  // could change the files while it held them, so they stand as they are
  // (and times that were settled then are settled now).
  const std::array<FileHandle, 3> handles = SetHandles();
  if (!parkedStamps_.Taken()) {
    SetFileNames names;
    if (!SetNamesFor(dataFile_->FileName(), names) || !parkedStamps_.Take(names, handles)) return false;
  }
  for (FileHandle handle : handles) {
    if (handle != kInvalidFileHandle && !files_.Unlock(handle)) return false;
  }
  parked_ = true;
  state_ = State::kClosed;  // every Begin... refuses until Resume
  return true;
}

bool CGafReader::Resume() {
  if (!parked_) return false;
  parked_ = false;
  for (FileHandle handle : SetHandles()) {
    if (handle != kInvalidFileHandle && !files_.LockShared(handle)) return false;
  }
  if (JournalBeside(files_, dataFile_->FileName()) || !parkedStamps_.Unchanged()) return false;
  lastStatus_ = kEngineOk;
  mode_ = Mode::kIdle;
  state_ = State::kOpen;
  return true;
}

}  // namespace kro
