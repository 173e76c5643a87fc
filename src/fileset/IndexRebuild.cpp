#include "fileset/IndexRebuild.h"

#include <cstring>
#include <memory>
#include <new>

#include "engine/datafile/CGafFile.h"
#include "engine/datafile/GafGeometry.h"
#include "engine/datafile/GafRecordCodec.h"
#include "engine/fileaccess/CGafRawFile.h"
#include "engine/indexfile/CIndexProgress.h"
#include "engine/keyindex/CKeyIndex.h"
#include "engine/spatialindex/CSpatialIndex.h"
#include "fileset/CGafEngine.h"
#include "platform/FileSystem.h"

namespace kro {
namespace {

constexpr size_t kProgressStep = 4096;

std::string TemporaryName(const std::string& fileName) { return fileName + ".rebuild"; }

bool SyncFile(const CGafRawFile& files, const std::string& fileName) {
  FileHandle handle = kInvalidFileHandle;
  if (!files.Open(fileName.c_str(), kOpenReadWrite, handle)) return false;
  const bool synced = files.Sync(handle);
  return files.Close(handle) && synced;
}

// Moves a completely written temporary file over `fileName`, or removes it
// when writing it failed. Its bytes reach the disk before its new name does,
// or a later sync of the directory (a session's journal beside the set)
// could make the name durable over bytes that never were.
EngineStatus PutInPlace(const CGafRawFile& files, const std::string& temporary, const std::string& fileName,
                        EngineStatus written, EngineStatus replaceFailed) {
  if (written != kEngineOk) {
    files.Delete(temporary.c_str());
    return written;
  }
  if (!SyncFile(files, temporary) || !files.Replace(temporary.c_str(), fileName.c_str())) {
    files.Delete(temporary.c_str());
    return replaceFailed;
  }
  // Should this fail, a power loss finds the old index, which is whole too.
  (void)files.Files().SyncDirectory(fileName.c_str());
  return kEngineOk;
}

EngineStatus InsertSpatialIndex(const std::vector<IndexedRecord>& records, const std::string& fileName, Env& env) {
  EngineStatus status = eSifCannotOpen;
  std::unique_ptr<CSpatialIndex> index(
      new (std::nothrow) CSpatialIndex(fileName.c_str(), kOpenReadWrite | kOpenCreateTruncate, status, env));
  if (index == nullptr) return eSifCannotOpen;
  for (size_t i = 0; i < records.size() && status == kEngineOk; ++i) {
    status = index->Insert(records[i].type, records[i].box, records[i].position);
  }
  const EngineStatus closed = index->Close();
  return status != kEngineOk ? status : closed;
}

}  // namespace

EngineStatus CollectIndexedRecords(CGafFile& dataFile, std::vector<IndexedRecord>& records,
                                   CIndexProgress* progress) {
  const double expected = dataFile.GetObjectCount() > 0 ? dataFile.GetObjectCount() : 1;
  EngineStatus status = dataFile.Rewind();
  GafRecord read;
  EGafObjectType type = kGafUndefinedObject;
  uint32_t position = 0;
  while (status == kEngineOk && (status = dataFile.NextRecord(type, position)) == kEngineOk) {
    if (!gaf::IsRecordKind(type)) continue;
    if ((status = dataFile.ReadRecord(read)) != kEngineOk) break;
    IndexedRecord record;
    record.position = position;
    record.type = static_cast<uint32_t>(type);
    record.box = VerticesBox(read.vertices.data(), read.vertices.size());
    record.key = read.key;
    records.push_back(std::move(record));
    if (progress != nullptr && records.size() % kProgressStep == 0) progress->SetPosition(records.size() * 100.0 / expected);
  }
  const EngineStatus ended = dataFile.EndSearch();
  if (status == kEngineEndOfResults) status = ended;
  return status;
}

EngineStatus WriteSpatialIndex(const std::vector<IndexedRecord>& records, const std::string& fileName,
                               const SpatialRebuild& how, Env& env) {
  const std::string temporary = TemporaryName(fileName);
  EngineStatus status = kEngineOk;
  if (how.packed) {
    std::vector<SifBulkEntry> entries;
    entries.reserve(records.size());
    for (const IndexedRecord& r : records) entries.push_back(SifBulkEntry{r.position, r.type, r.box});
    status = BulkLoadSpatialIndex(temporary.c_str(), entries, how.order, env);
  } else {
    status = InsertSpatialIndex(records, temporary, env);
  }
  return PutInPlace(CGafRawFile(env), temporary, fileName, status, eSifReplaceFailed);
}

EngineStatus WriteKeyIndex(const std::vector<IndexedRecord>& records, const std::string& fileName,
                           uint32_t& skippedKeys, Env& env) {
  skippedKeys = 0;
  const std::string temporary = TemporaryName(fileName);
  EngineStatus status = eKifCannotOpen;
  {
    std::unique_ptr<CKeyIndex> index(
        new (std::nothrow) CKeyIndex(temporary.c_str(), kOpenReadWrite | kOpenCreateTruncate, status, env));
    if (index == nullptr) return eKifCannotOpen;
    // Keys come in the order of the records, which is no order of the keys:
    // without a block cache nearly every insertion would read and write a
    // node. A key index's bytes do not depend on the budget, and the cache
    // starts empty, so setting the budget writes nothing back and cannot fail.
    if (status == kEngineOk) (void)index->SetCacheBudget(CGafEngine::kDefaultIndexCacheBudget);
    for (size_t i = 0; i < records.size() && status == kEngineOk; ++i) {
      if (std::strlen(records[i].key.c_str()) > index->GetKeyLength()) {
        ++skippedKeys;
        continue;
      }
      status = index->Insert(records[i].key.c_str(), records[i].position);
    }
    const EngineStatus closed = index->Close();
    if (status == kEngineOk) status = closed;
  }
  return PutInPlace(CGafRawFile(env), temporary, fileName, status, eKifReplaceFailed);
}

EngineStatus RebuildIndexes(CGafFile& dataFile, const std::string& spatialIndexName, const std::string& keyIndexName,
                            const SpatialRebuild& how, CIndexProgress* progress) {
  std::vector<IndexedRecord> records;
  // The indexes go beside the data file, in its environment.
  Env& env = dataFile.Environment();
  EngineStatus status = CollectIndexedRecords(dataFile, records, progress);
  if (status == kEngineOk && !spatialIndexName.empty()) {
    status = WriteSpatialIndex(records, spatialIndexName, how, env);
  }
  uint32_t skippedKeys = 0;
  if (status == kEngineOk && !keyIndexName.empty()) status = WriteKeyIndex(records, keyIndexName, skippedKeys, env);
  return status;
}

}  // namespace kro
