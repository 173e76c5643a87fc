#include "engine/keyindex/CKeyIndex.h"


namespace kro {

using namespace kif;

CKeyIndex::CKeyIndex(const char* fileName, uint32_t flagWord, EngineStatus& status, Env& env) : CIndexFile(env) {
  status = Open(fileName, flagWord);
}

CKeyIndex::~CKeyIndex() { Close(); }

EngineStatus CKeyIndex::Open(const char* fileName, uint32_t flagWord) {
  if (fileName == nullptr || !OpenIndexFile(fileName, flagWord)) {
    return Fail(eKifCannotOpen, EngineError::kNoOffset, "the file cannot be opened");
  }
  header_ = KifHeader{};
  const EngineStatus status = WasCreated() ? WriteHeader(Handle()) : ReadHeader();
  if (status != kEngineOk) return status;
  uint32_t size = 0;
  if (!RawFile().Size(Handle(), size)) {
    return Fail(eKifReadError, EngineError::kNoOffset, "the size of the file cannot be read");
  }
  SetFileSize(size);
  ResetFreeLists();
  NodeStore<KifNode>& store = *this;
  cache_ = std::make_unique<NodeCache<KifNode>>(store);
  results_.assign(kBatchSize, 0);
  return kEngineOk;
}

EngineStatus CKeyIndex::Close() {
  EngineStatus status = kEngineOk;
  if (cache_ != nullptr && Handle() != kInvalidFileHandle && !IsReadOnly()) {
    // Nodes first, the header last (see CSpatialIndex::Close). The cached
    // blocks go out before the close reports: a session commits only what
    // reached the file.
    status = cache_->FlushNodes(true);
    if (!FlushBlocks() && status == kEngineOk) {
      status = Fail(eKifWriteError, EngineError::kNoOffset, "cached nodes cannot be written");
    }
    const EngineStatus header = WriteHeader(Handle());
    if (status == kEngineOk) status = header;
  }
  EndSearch();
  cache_.reset();
  CloseIndexFile();
  return status;
}

EngineStatus CKeyIndex::NoteChange(EngineStatus status) {
  // A duplicate or a missing pair is found before anything changes.
  if (status != kEngineOk && status != eKifDuplicate && status != eKifNotFound) changeFailure_ = status;
  return status;
}

bool CKeyIndex::IsOpen() const { return cache_ != nullptr && Handle() != kInvalidFileHandle; }

void CKeyIndex::EndSearch() {
  searchActive_ = false;
  resultCount_ = 0;
  resultCursor_ = 0;
  if (cache_ != nullptr) cache_->ClearStack();
}

EngineStatus CKeyIndex::SetDescription(const char* text) {
  if (!IsOpen()) return eKifCannotOpen;
  if (text == nullptr) return eKifInvalidParameter;
  CopyBounded(header_.description, text, kMaxIndexDescription);
  header_.description[kMaxIndexDescription] = '\0';
  return WriteHeader(Handle());
}

// The block sizes follow from capacity and key length, so they may change
// only while the file holds no block at all (a tree emptied by deletion
// still has blocks on its free lists).
bool CKeyIndex::CanReshape() const {
  return WasCreated() && !IsReadOnly() && header_.rootPosition == 0 && FileSize() == kHeaderSize;
}

EngineStatus CKeyIndex::Reshape(uint32_t capacity, uint32_t keyLength) {
  if (!CanReshape()) return kEngineOk;
  header_.SetShape(capacity, keyLength);
  return WriteHeader(Handle());
}

EngineStatus CKeyIndex::SetNodeCapacity(uint32_t maximum) {
  if (!IsOpen()) return eKifCannotOpen;
  if (maximum < kMinCapacity || maximum > kMaxCapacity) return eKifInvalidParameter;
  return Reshape(maximum, header_.keyLength);
}

EngineStatus CKeyIndex::SetKeyLength(uint32_t length) {
  if (!IsOpen()) return eKifCannotOpen;
  if (length < kMinKeyLength || length > kMaxKeyLength) return eKifInvalidParameter;
  return Reshape(header_.capacity, length);
}

}  // namespace kro
