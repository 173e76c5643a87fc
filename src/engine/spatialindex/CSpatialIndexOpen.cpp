// Opening, closing, header accessors and setters, and the checked cache access
// every tree walk goes through.
#include <cstring>

#include "engine/spatialindex/CSpatialIndex.h"

namespace kro {

CSpatialIndex::CSpatialIndex(const char* fileName, uint32_t flagWord, EngineStatus& status, Env& env)
    : CIndexFile(env) {
  if (fileName == nullptr || !OpenIndexFile(fileName, flagWord)) {
    status = Fail(eSifCannotOpen, EngineError::kNoOffset, "the file cannot be opened");
    return;
  }
  header_.ComputeBlockSizes();
  status = WasCreated() ? WriteHeader(Handle()) : ReadHeader();
  if (status != kEngineOk) return;
  uint32_t size = 0;
  if (!RawFile().Size(Handle(), size)) {
    status = Fail(eSifReadError, EngineError::kNoOffset, "the size of the file cannot be read");
    return;
  }
  SetFileSize(size);
  // Room for one leaf (a leaf scan hands out a node at a time); a search
  // grows the batch with its hits, up to kBatchCapacity.
  batch_.resize(sif::kMaxSlots);
  order_.resize(sif::kMaxSlots);
  NodeStore<SifNode>& store = *this;
  cache_ = std::make_unique<Cache>(store);
}

CSpatialIndex::~CSpatialIndex() { Close(); }

EngineStatus CSpatialIndex::Close() {
  if (closed_) return kEngineOk;
  closed_ = true;
  EngineStatus status = kEngineOk;
  if (IsOpen() && Handle() != kInvalidFileHandle && !IsReadOnly()) {
    // Nodes first, the header last: a writer that dies in between leaves a
    // header whose count disagrees with the data file, never one that claims
    // nodes the file lacks. The cached blocks go out before the close
    // reports: a session commits only what reached the file.
    status = cache_->FlushNodes(true);
    if (!FlushBlocks() && status == kEngineOk) {
      status = Fail(eSifWriteError, EngineError::kNoOffset, "cached nodes cannot be written");
    }
    const EngineStatus header = WriteHeader(Handle());
    if (status == kEngineOk) status = header;
  }
  searchActive_ = false;
  leafScanActive_ = false;
  cache_.reset();
  batch_ = std::vector<SifHit>();
  order_ = std::vector<uint32_t>();
  dissolved_ = std::vector<SifNode>();
  CloseIndexFile();
  return status;
}

void CSpatialIndex::GetNodeCapacity(uint32_t& maximum, uint32_t& minimum) const {
  maximum = header_.maxEntries;
  minimum = header_.minEntries;
}

EngineStatus CSpatialIndex::SetDescription(const char* text) {
  if (text == nullptr) return eSifInvalidParameter;
  if (IsReadOnly()) return eSifReadOnly;
  if (!IsOpen()) return eSifCannotOpen;
  const size_t copied = CopyBounded(header_.description, text, kMaxIndexDescription);
  header_.description[copied] = '\0';
  return WriteHeader(Handle());
}

bool CSpatialIndex::CanChangeLayout() const {
  // Only a file this open created and that holds no block yet: any block
  // already in the file was laid out for the old sizes.
  return IsOpen() && WasCreated() && header_.rootPosition == 0 && FileSize() == kIndexHeaderSize;
}

EngineStatus CSpatialIndex::SetCoordinateBits(uint32_t bits) {
  if (!sif::IsValidCoordinateBits(bits)) return eSifInvalidParameter;
  if (!CanChangeLayout()) return kEngineOk;
  header_.coordinateBits = bits;
  header_.ComputeBlockSizes();
  return WriteHeader(Handle());
}

EngineStatus CSpatialIndex::SetNodeCapacity(uint32_t maximum, uint32_t minimum) {
  if (maximum < sif::kMinMaxEntries || maximum > sif::kMaxSlots || minimum < 1 || minimum > maximum / 2) {
    return eSifInvalidParameter;
  }
  if (!CanChangeLayout()) return kEngineOk;
  header_.maxEntries = maximum;
  header_.minEntries = minimum;
  header_.ComputeBlockSizes();
  return WriteHeader(Handle());
}

SifNode* CSpatialIndex::FetchNode(uint32_t position, uint32_t level, EngineStatus& status) {
  SifNode* node = cache_->FetchNode(position, level, status);
  if (node != nullptr && node->level != level) {
    status = Fail(eSifReadError, position, "a node lies at another level of the tree than its parent says");
    return nullptr;
  }
  return node;
}

EngineStatus CSpatialIndex::PushNode(uint32_t position, uint32_t level) {
  const EngineStatus status = cache_->PushNode(position, level, true);
  if (status != kEngineOk) return status;
  if (cache_->TopNode()->level != level) {
    cache_->PopNode();
    return Fail(eSifReadError, position, "a node lies at another level of the tree than its parent says");
  }
  return kEngineOk;
}

EngineStatus CSpatialIndex::StartWalk() {
  if (!IsOpen()) return eSifCannotOpen;
  EndWalks();
  if (header_.rootPosition == 0) return kEngineOk;
  const EngineStatus status = PushNode(header_.rootPosition, header_.height - 1);
  if (status != kEngineOk) cache_->ClearStack();
  return status;
}

void CSpatialIndex::EndWalks() {
  if (IsOpen()) cache_->ClearStack();
  blockWalk_ = false;
  blockTop_ = -1;
  searchActive_ = false;
  leafScanActive_ = false;
  batchCount_ = 0;
  batchCursor_ = 0;
}

}  // namespace kro
