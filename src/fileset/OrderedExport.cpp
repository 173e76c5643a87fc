#include "fileset/OrderedExport.h"

#include <cstring>

#include "engine/datafile/CGafFile.h"
#include "engine/indexfile/CIndexProgress.h"
#include "engine/keyindex/KifBulkLoader.h"
#include "engine/ordering/ExternalSorter.h"
#include "engine/ordering/HilbertCurve.h"
#include "engine/spatialindex/SifBulkLoader.h"

namespace kro {
namespace {

// The share of the progress the records take; the key index the rest.
constexpr double kRecordShare = 90;
constexpr uint64_t kProgressStep = 4096;

// A staged record, in this process's byte order: kind, the three texts each
// after its length, the part counts after their number, the vertices after
// theirs.
class StagedBytes {
 public:
  explicit StagedBytes(std::vector<uint8_t>& out) : out_(out) { out_.clear(); }
  void U32(uint32_t value) { Raw(&value, sizeof value); }
  void Text(const std::string& text) {
    U32(static_cast<uint32_t>(text.size()));
    Raw(text.data(), text.size());
  }
  template <typename T>
  void Array(const std::vector<T>& values) {
    U32(static_cast<uint32_t>(values.size()));
    Raw(values.data(), values.size() * sizeof(T));
  }

 private:
  void Raw(const void* bytes, size_t size) {
    const uint8_t* from = static_cast<const uint8_t*>(bytes);
    out_.insert(out_.end(), from, from + size);
  }
  std::vector<uint8_t>& out_;
};

// Reads back what StagedBytes wrote; false when the bytes end early (a run
// file that does not hold what was written).
class StagedReader {
 public:
  StagedReader(const uint8_t* bytes, uint32_t size) : at_(bytes), end_(bytes + size) {}
  bool U32(uint32_t& value) { return Raw(&value, sizeof value); }
  bool Text(std::string& text) {
    uint32_t size = 0;
    if (!U32(size) || size > Left()) return false;
    text.assign(reinterpret_cast<const char*>(at_), size);
    at_ += size;
    return true;
  }
  template <typename T>
  bool Array(std::vector<T>& values) {
    uint32_t count = 0;
    if (!U32(count) || count > Left() / sizeof(T)) return false;
    values.resize(count);
    return Raw(values.data(), count * sizeof(T));
  }
  bool AtEnd() const { return at_ == end_; }

 private:
  size_t Left() const { return static_cast<size_t>(end_ - at_); }
  bool Raw(void* out, size_t size) {
    if (size > Left()) return false;
    std::memcpy(out, at_, size);
    at_ += size;
    return true;
  }
  const uint8_t* at_;
  const uint8_t* end_;
};

void StageRecord(const GafRecord& record, std::vector<uint8_t>& out) {
  StagedBytes bytes(out);
  bytes.U32(static_cast<uint32_t>(record.kind));
  bytes.Text(record.name);
  bytes.Text(record.key);
  bytes.Text(record.url);
  bytes.Array(record.parts);
  bytes.Array(record.vertices);
}

bool UnstageRecord(const uint8_t* staged, uint32_t size, GafRecord& record) {
  StagedReader bytes(staged, size);
  uint32_t kind = 0;
  if (!bytes.U32(kind)) return false;
  record.kind = static_cast<EGafObjectType>(kind);
  record.box.reset();
  return bytes.Text(record.name) && bytes.Text(record.key) && bytes.Text(record.url) && bytes.Array(record.parts) &&
         bytes.Array(record.vertices) && bytes.AtEnd();
}

// A key entry of the sort: the record position, then the key's bytes.
bool KeyEntryPrecedes(const uint8_t* a, uint32_t sizeA, const uint8_t* b, uint32_t sizeB) {
  uint32_t positionA, positionB;
  std::memcpy(&positionA, a, sizeof positionA);
  std::memcpy(&positionB, b, sizeof positionB);
  return KifEntryPrecedes(reinterpret_cast<const char*>(a + 4), sizeA - 4, positionA,
                          reinterpret_cast<const char*>(b + 4), sizeB - 4, positionB);
}

// "dir/IDFname.gaf" + `kind`: the stem of the run files of one sort.
std::string RunStem(const std::string& dataFileName, const char* kind) {
  const size_t slash = dataFileName.find_last_of('/');
  const size_t base = slash == std::string::npos ? 0 : slash + 1;
  return dataFileName.substr(0, base) + "IDF" + dataFileName.substr(base) + kind;
}

bool Aborted(CIndexProgress* progress) { return progress != nullptr && progress->IsAborted(); }

void Report(CIndexProgress* progress, double percent) {
  if (progress != nullptr) progress->SetPosition(percent);
}

// An index file of the set, opened through the write session and closed
// into it on every path.
class SetIndexFile {
 public:
  SetIndexFile(const CGafRawFile& files, const std::string& name) : files_(files), name_(name) {
    opened_ = files_.Open(name.c_str(), kOpenReadWrite | kOpenCreateTruncate, handle_);
  }
  ~SetIndexFile() { Close(); }
  bool Opened() const { return opened_; }
  FileHandle Handle() const { return handle_; }
  bool Close() {
    const bool closed = handle_ == kInvalidFileHandle || files_.Close(handle_);
    handle_ = kInvalidFileHandle;
    return closed;
  }

 private:
  const CGafRawFile& files_;
  std::string name_;
  FileHandle handle_ = kInvalidFileHandle;
  bool opened_ = false;
};

EngineError IndexError(EngineStatus status, const std::string& file, const char* reason) {
  return EngineError{status, file, EngineError::kNoOffset, reason};
}

}  // namespace

OrderedExport::OrderedExport(const CGafRawFile& files, const std::string& dataFileName, size_t budget)
    : files_(files),
      recordRuns_(RunStem(dataFileName, ".records.")),
      keyRuns_(RunStem(dataFileName, ".keys.")),
      budget_(budget) {
  ExternalSorter::RemoveLeftoverRuns(files_, recordRuns_);
  ExternalSorter::RemoveLeftoverRuns(files_, keyRuns_);
  records_ = std::make_unique<ExternalSorter>(files_, recordRuns_, budget_);
}

OrderedExport::~OrderedExport() = default;

uint64_t OrderedExport::Staged() const { return records_->Count(); }

bool OrderedExport::Stage(const GafRecord& record, const BoundingBoxNode& box) {
  if (error_.Failed()) return false;
  try {
    StageRecord(record, scratch_);
  } catch (const std::bad_alloc&) {
    error_ = EngineError{eGafOutOfMemory, recordRuns_, EngineError::kNoOffset, "no memory to stage the object"};
    return false;
  }
  if (records_->Add(PlaneHilbertKey(box), scratch_.data(), static_cast<uint32_t>(scratch_.size()))) return true;
  error_ = records_->Error();
  return false;
}

EngineError OrderedExport::WriteOut(CGafFile& dataFile, const std::string& spatialIndexName,
                                    const std::string& keyIndexName, CIndexProgress* progress) {
  if (error_.Failed()) return error_;
  SetIndexFile spatialIndex(files_, spatialIndexName);
  if (!spatialIndex.Opened()) return IndexError(eSifCannotOpen, spatialIndexName, "the spatial index cannot be created");
  std::unique_ptr<ExternalSorter> keys;
  // The records' batches are let go as they are merged; the keys get half
  // the budget, the read buffers of the record runs the rest.
  if (!keyIndexName.empty()) keys = std::make_unique<ExternalSorter>(files_, keyRuns_, budget_ / 2, KeyEntryPrecedes);
  EngineError error = WriteRecords(dataFile, spatialIndex.Handle(), spatialIndexName, keys.get(), progress);
  if (!spatialIndex.Close() && !error.Failed()) {
    error = IndexError(eSifWriteError, spatialIndexName, "the spatial index cannot be closed");
  }
  records_.reset();  // its run files go before the key index is written
  if (error.Failed() || keys == nullptr) return error;
  SetIndexFile keyIndex(files_, keyIndexName);
  if (!keyIndex.Opened()) return IndexError(eKifCannotOpen, keyIndexName, "the key index cannot be created");
  error = WriteKeyIndex(*keys, keyIndex.Handle(), keyIndexName);
  if (!keyIndex.Close() && !error.Failed()) {
    error = IndexError(eKifWriteError, keyIndexName, "the key index cannot be closed");
  }
  if (!error.Failed()) Report(progress, 100);
  return error;
}

EngineError OrderedExport::WriteRecords(CGafFile& dataFile, FileHandle spatialIndexFile, const std::string& indexName,
                                        ExternalSorter* keys, CIndexProgress* progress) {
  const uint64_t count = records_->Count();
  if (!records_->StartReading()) return records_->Error();
  SifStreamLoader spatialIndex(files_, spatialIndexFile, count);
  GafRecord record;
  uint64_t key = 0;
  const uint8_t* staged = nullptr;
  uint32_t size = 0;
  for (uint64_t written = 0; records_->Next(key, staged, size); ++written) {
    if (!UnstageRecord(staged, size, record)) {
      return EngineError{eGafReadError, recordRuns_, EngineError::kNoOffset, "a run file does not hold what was staged"};
    }
    uint32_t position = 0;
    BoundingBoxNode box{};
    const EngineStatus status = dataFile.WriteRecord(record, position, &box);
    if (status != kEngineOk) return dataFile.ErrorFor(status);
    const EngineStatus indexed = spatialIndex.Add(SifBulkEntry{position, static_cast<uint32_t>(record.kind), box});
    if (indexed != kEngineOk) return IndexError(indexed, indexName, "the spatial index cannot take the object");
    if (keys != nullptr) {
      // The key index takes a key up to a zero byte, as it takes any key.
      const size_t keyLength = std::strlen(record.key.c_str());
      scratch_.resize(4 + keyLength);
      std::memcpy(scratch_.data(), &position, 4);
      std::memcpy(scratch_.data() + 4, record.key.data(), keyLength);
      if (!keys->Add(0, scratch_.data(), static_cast<uint32_t>(scratch_.size()))) return keys->Error();
    }
    if (written % kProgressStep == 0) {
      Report(progress, kRecordShare * static_cast<double>(written) / static_cast<double>(count));
      if (Aborted(progress)) return EngineError{eGafWriteError, recordRuns_, EngineError::kNoOffset, "the export was aborted"};
    }
  }
  if (records_->Error().Failed()) return records_->Error();
  const EngineStatus finished = spatialIndex.Finish();
  if (finished != kEngineOk) return IndexError(finished, indexName, "the spatial index cannot be finished");
  Report(progress, kRecordShare);
  return EngineError{};
}

EngineError OrderedExport::WriteKeyIndex(ExternalSorter& keys, FileHandle keyIndexFile, const std::string& indexName) {
  if (!keys.StartReading()) return keys.Error();
  KifBulkLoader keyIndex(files_, keyIndexFile, keys.Count());
  uint64_t key = 0;
  const uint8_t* entry = nullptr;
  uint32_t size = 0;
  while (keys.Next(key, entry, size)) {
    uint32_t position = 0;
    std::memcpy(&position, entry, 4);
    const EngineStatus added = keyIndex.Add(reinterpret_cast<const char*>(entry + 4), size - 4, position);
    if (added != kEngineOk) return IndexError(added, indexName, "the key index cannot take the key");
  }
  if (keys.Error().Failed()) return keys.Error();
  const EngineStatus finished = keyIndex.Finish();
  return finished == kEngineOk ? EngineError{} : IndexError(finished, indexName, "the key index cannot be finished");
}

}  // namespace kro
