#include "engine/ordering/ExternalSorter.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <queue>

namespace kro {
namespace {

constexpr uint32_t kIoChunk = 1u << 20;
// The runs' read buffers while merging share an eighth of the budget, so
// that memory does not grow with the number of runs, within these bounds.
constexpr uint32_t kLeastRunBuffer = 16u << 10;
constexpr uint32_t kLargestRunBuffer = 1u << 20;
// An entry in a run file: its key, its size, then its bytes.
constexpr uint32_t kEntryHead = 12;
// Bookkeeping of an entry in memory, counted against the budget.
constexpr size_t kSlotCost = 24;

void PutU64(uint8_t* out, uint64_t value) { std::memcpy(out, &value, 8); }
void PutU32(uint8_t* out, uint32_t value) { std::memcpy(out, &value, 4); }
uint64_t GetU64(const uint8_t* in) {
  uint64_t value;
  std::memcpy(&value, in, 8);
  return value;
}
uint32_t GetU32(const uint8_t* in) {
  uint32_t value;
  std::memcpy(&value, in, 4);
  return value;
}

}  // namespace

// One sorted run on disk: written once through a buffer, then read back
// entry by entry. The file is in this process's native byte order; it never
// outlives the sorter.
class ExternalSorter::Run {
 public:
  Run(const CGafRawFile& files, std::string name) : files_(files), name_(std::move(name)) {}
  ~Run() {
    if (handle_ != kInvalidFileHandle) files_.Close(handle_);
  }
  const std::string& Name() const { return name_; }

  bool Create() { return files_.Open(name_.c_str(), kOpenReadWrite | kOpenCreateNew, handle_); }
  bool Append(const uint8_t* bytes, size_t size) {
    while (size > 0) {
      const size_t room = kIoChunk - buffer_.size();
      const size_t take = std::min(room, size);
      buffer_.insert(buffer_.end(), bytes, bytes + take);
      bytes += take;
      size -= take;
      if (buffer_.size() == kIoChunk && !FlushWrites()) return false;
    }
    return true;
  }
  // Ends writing: the write buffer is let go, since every run written
  // waits for the merge.
  bool EndWriting() {
    const bool flushed = FlushWrites();
    buffer_.shrink_to_fit();
    return flushed;
  }
  // Goes back to the start for reading through a buffer of `bufferSize`.
  bool StartReading(uint32_t bufferSize) {
    bufferSize_ = bufferSize;
    return files_.Size(handle_, left_) && files_.Seek(handle_, 0, SeekOrigin::kBegin);
  }
  // The next entry into `entry_`; false at the end (Failed() tells a
  // failure from it).
  bool Next() {
    uint8_t head[kEntryHead];
    if (left_ == 0 && unread_ == 0) return false;
    if (!Take(head, kEntryHead)) return false;
    key_ = GetU64(head);
    const uint32_t size = GetU32(head + 8);
    // A size the rest of the file cannot hold is a damaged run, not a
    // reason to allocate.
    if (size > left_ + unread_) return failed_ = true, false;
    try {
      entry_.resize(size);
    } catch (const std::bad_alloc&) {
      return failed_ = true, false;
    }
    return Take(entry_.data(), size);
  }
  bool Failed() const { return failed_; }
  uint64_t Key() const { return key_; }
  const std::vector<uint8_t>& Entry() const { return entry_; }

 private:
  bool FlushWrites() {
    const bool written =
        buffer_.empty() || files_.Write(handle_, buffer_.data(), static_cast<uint32_t>(buffer_.size()));
    buffer_.clear();
    return written;
  }
  // `size` bytes from the file through the read buffer; a file that ends
  // inside an entry is a failure.
  bool Take(uint8_t* out, size_t size) {
    while (size > 0) {
      if (unread_ == 0 && !Refill()) return failed_ = true, false;
      const size_t take = std::min<size_t>(unread_, size);
      std::memcpy(out, buffer_.data() + next_, take);
      out += take;
      size -= take;
      next_ += take;
      unread_ -= take;
    }
    return true;
  }
  bool Refill() {
    if (left_ == 0) return false;
    const uint32_t chunk = std::min(left_, bufferSize_);
    buffer_.resize(chunk);
    if (!files_.Read(handle_, buffer_.data(), chunk)) return false;
    left_ -= chunk;
    next_ = 0;
    unread_ = chunk;
    return true;
  }

  const CGafRawFile& files_;
  std::string name_;
  FileHandle handle_ = kInvalidFileHandle;
  std::vector<uint8_t> buffer_;
  uint32_t bufferSize_ = kLeastRunBuffer;
  uint32_t left_ = 0;  // bytes of the file not yet in the buffer
  size_t next_ = 0;
  size_t unread_ = 0;
  uint64_t key_ = 0;
  std::vector<uint8_t> entry_;
  bool failed_ = false;
};

// The merge of the runs and the batch left in memory: a heap of sources by
// their current entry; a source's number breaks ties, since runs were
// written in the order of adding and the batch in memory came last.
class ExternalSorter::Merge {
 public:
  Merge(const ExternalSorter& sorter) : sorter_(sorter), heap_(Later{this}) {}

  bool Start() {
    const size_t runs = std::max<size_t>(sorter_.runs_.size(), 1);
    const uint32_t buffer = static_cast<uint32_t>(
        std::clamp<size_t>(sorter_.budget_ / 8 / runs, kLeastRunBuffer, kLargestRunBuffer));
    for (size_t i = 0; i < sorter_.runs_.size(); ++i) {
      if (!sorter_.runs_[i]->StartReading(buffer)) return false;
      if (!Advance(i)) return false;
    }
    return Advance(MemorySource());
  }
  // The source of the smallest entry, or false at the end.
  bool Pop(size_t& source) {
    if (heap_.empty()) return false;
    source = heap_.top();
    heap_.pop();
    return true;
  }
  // Steps `source` on and back into the heap; false on a failure.
  bool Advance(size_t source) {
    if (source == MemorySource()) {
      if (memoryNext_ < sorter_.slots_.size()) heap_.push(source);
      return true;
    }
    Run& run = *sorter_.runs_[source];
    if (run.Next()) {
      heap_.push(source);
      return true;
    }
    return !run.Failed();
  }
  void Current(size_t source, uint64_t& key, const uint8_t*& bytes, uint32_t& size) const {
    if (source == MemorySource()) {
      const Slot& slot = sorter_.slots_[memoryNext_];
      key = slot.key, bytes = sorter_.arena_.data() + slot.offset, size = slot.size;
      return;
    }
    const Run& run = *sorter_.runs_[source];
    key = run.Key(), bytes = run.Entry().data(), size = static_cast<uint32_t>(run.Entry().size());
  }
  void StepMemory() { ++memoryNext_; }
  size_t MemorySource() const { return sorter_.runs_.size(); }

 private:
  struct Later {
    const Merge* merge;
    bool operator()(size_t a, size_t b) const {
      uint64_t keyA, keyB;
      const uint8_t *bytesA, *bytesB;
      uint32_t sizeA, sizeB;
      merge->Current(a, keyA, bytesA, sizeA);
      merge->Current(b, keyB, bytesB, sizeB);
      if (merge->sorter_.Precedes(keyA, bytesA, sizeA, keyB, bytesB, sizeB)) return false;
      if (merge->sorter_.Precedes(keyB, bytesB, sizeB, keyA, bytesA, sizeA)) return true;
      return a > b;
    }
  };

  const ExternalSorter& sorter_;
  size_t memoryNext_ = 0;
  std::priority_queue<size_t, std::vector<size_t>, Later> heap_;
};

ExternalSorter::ExternalSorter(const CGafRawFile& files, std::string runStem, size_t budget, TieRule tie)
    : files_(files), runStem_(std::move(runStem)), budget_(budget), tie_(tie) {}

ExternalSorter::~ExternalSorter() {
  merge_.reset();
  for (size_t i = runs_.size(); i-- > 0;) {
    const std::string name = runs_[i]->Name();
    runs_[i].reset();
    files_.Delete(name.c_str());
  }
}

void ExternalSorter::RemoveLeftoverRuns(const CGafRawFile& files, const std::string& runStem) {
  for (uint32_t i = 0; i < kMaxRuns; ++i) {
    const std::string name = runStem + std::to_string(i);
    if (!files.Exists(name.c_str())) return;
    files.Delete(name.c_str());
  }
}

std::string ExternalSorter::RunName(size_t index) const { return runStem_ + std::to_string(index); }

bool ExternalSorter::Fail(const std::string& file, const char* reason) {
  KeepFirstError(error_, eGafWriteError, file, EngineError::kNoOffset, reason);
  return false;
}

bool ExternalSorter::Precedes(uint64_t keyA, const uint8_t* a, uint32_t sizeA, uint64_t keyB, const uint8_t* b,
                              uint32_t sizeB) const {
  if (keyA != keyB) return keyA < keyB;
  return tie_ != nullptr && tie_(a, sizeA, b, sizeB);
}

bool ExternalSorter::Add(uint64_t key, const uint8_t* bytes, uint32_t size) {
  if (error_.Failed()) return false;
  if (reading_) return Fail(runStem_, "an entry was added after reading began");
  const size_t held = arena_.size() + slots_.size() * kSlotCost;
  if (!slots_.empty() && held + size + kSlotCost > budget_ && !SpillBatch()) return false;
  try {
    // Room for a whole batch from the start: growing by doubling would hold
    // the old and the new storage at once, half again the budget.
    if (slots_.capacity() == 0) {
      arena_.reserve(budget_);
      slots_.reserve(budget_ / (kSlotCost + 16));
    }
    slots_.push_back(Slot{key, arena_.size(), size});
    arena_.insert(arena_.end(), bytes, bytes + size);
  } catch (const std::bad_alloc&) {
    KeepFirstError(error_, eGafOutOfMemory, runStem_, EngineError::kNoOffset, "no memory for the entries to sort");
    return false;
  }
  ++count_;
  return true;
}

void ExternalSorter::SortBatch() {
  std::stable_sort(slots_.begin(), slots_.end(), [this](const Slot& a, const Slot& b) {
    return Precedes(a.key, arena_.data() + a.offset, a.size, b.key, arena_.data() + b.offset, b.size);
  });
}

bool ExternalSorter::SpillBatch() {
  if (runs_.size() >= kMaxRuns) return Fail(runStem_, "the entries need more run files than a sort may write");
  SortBatch();
  auto run = std::make_unique<Run>(files_, RunName(runs_.size()));
  if (!run->Create()) return Fail(run->Name(), "the run file of the sort could not be created");
  runs_.push_back(std::move(run));
  Run& written = *runs_.back();
  bool wrote = true;
  for (size_t i = 0; wrote && i < slots_.size(); ++i) {
    const Slot& slot = slots_[i];
    uint8_t head[kEntryHead];
    PutU64(head, slot.key);
    PutU32(head + 8, slot.size);
    wrote = written.Append(head, kEntryHead) && written.Append(arena_.data() + slot.offset, slot.size);
  }
  if (!wrote || !written.EndWriting()) {
    return Fail(written.Name(), "the run file of the sort could not be written (is the disk full?)");
  }
  slots_.clear();
  arena_.clear();
  return true;
}

bool ExternalSorter::StartReading() {
  if (error_.Failed()) return false;
  reading_ = true;
  SortBatch();
  merge_ = std::make_unique<Merge>(*this);
  if (!merge_->Start()) return Fail(runStem_, "a run file of the sort could not be read back");
  return true;
}

bool ExternalSorter::Next(uint64_t& key, const uint8_t*& bytes, uint32_t& size) {
  if (error_.Failed() || merge_ == nullptr) return false;
  if (pending_ != kNoSource) {
    // The entry handed out last is stepped past only now, so its bytes
    // stayed valid until this call.
    if (pending_ == merge_->MemorySource()) merge_->StepMemory();
    const size_t source = pending_;
    pending_ = kNoSource;
    if (!merge_->Advance(source)) return Fail(runStem_, "a run file of the sort could not be read back");
  }
  size_t source = 0;
  if (!merge_->Pop(source)) return false;
  merge_->Current(source, key, bytes, size);
  pending_ = source;
  return true;
}

}  // namespace kro
