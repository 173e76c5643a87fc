// Reading object records: record headers, the sequential scan step, lookups
// by record position, and the six readers.
#include <algorithm>
#include <limits>
#include <new>

#include "engine/datafile/CGafFile.h"
#include "engine/datafile/GafFormat.h"
#include "engine/datafile/GafPayloadReader.h"
#include "engine/datafile/GafRecordDecoder.h"

namespace kro {
namespace {

// The arrays grow with the records, doubling up to their fixed size, so a
// file of small records never holds or clears more than it needs; a record
// larger than the fixed size gets an array of its own size, given back at
// the next ordinary record.
template <typename T>
bool FitArray(std::vector<T>& array, uint64_t count, size_t fixedSize) {
  const bool ordinary = array.size() <= fixedSize;
  if (ordinary && count <= array.size()) return true;
  const size_t wanted = count <= fixedSize ? std::min(fixedSize, std::max<size_t>(count, ordinary ? 2 * array.size() : 0))
                                           : static_cast<size_t>(count);
  try {
    std::vector<T>(wanted).swap(array);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

// The engine's buffers as the record decoder's sink: texts into the 256-byte
// buffers, counts and vertices into the arrays, grown as FitArray says.
struct RecordSink {
  char* texts[3];
  std::vector<int32_t>& setCounts;
  std::vector<CKroDoublePointNode>& vertices;

  bool Text(GafPayloadReader& reader, int index, uint32_t& stored) {
    return reader.GetString(texts[index], gaf::kTextBufferSize, stored);
  }
  bool SetCounts(uint32_t count, int32_t*& out) {
    if (!FitArray(setCounts, count, gaf::kSetCountArraySize)) return false;
    out = setCounts.data();
    return true;
  }
  bool Vertices(uint64_t count, CKroDoublePointNode*& out) {
    if (!FitArray(vertices, count, gaf::kVertexArraySize)) return false;
    out = vertices.data();
    return true;
  }
};

}  // namespace

EngineStatus CGafFile::ReadRecordHeader(EGafObjectType& type) {
  type = recordType_ = kGafUndefinedObject;
  recordLength_ = 0;
  if (status_ != kEngineOk) return status_;
  if (firstObjectPosition_ == 0) return eGafNoObjectArea;
  // In a writable file the end-of-data chunk belongs at the append position,
  // where close writes it: records written in this session end there.
  const bool atAppendPosition = !readOnly_ && LogicalOffset() == appendPosition_;
  ChunkTag tag;
  const bool read = atAppendPosition || ReadTag(tag);
  recordStart_ = recordEnd_ = atAppendPosition ? appendPosition_ : filePosition_;
  recordAt_ = recordStart_ - (read && !atAppendPosition ? tag.HeaderSize() : 0);
  if (!read) return status_;
  recordLength_ = tag.length;
  if (atAppendPosition || tag.code == gaf::kCodeEndOfData) {
    state_ = GafFileState::kEndOfData;
    status_ = kEngineEndOfResults;
    return status_;
  }
  const EGafObjectType found = gaf::IsObjectCode(tag.code)
                                   ? static_cast<EGafObjectType>(tag.code - gaf::kCodeFirstObject)
                                   : tag.code == gaf::kCodeFree ? gaf::kFreeRecordType : kGafUndefinedObject;
  if (IsOldMultiSet(found)) {
    recordEnd_ = kUnknownPosition;
  } else if (FitsInFile(recordStart_, tag.length)) {
    recordEnd_ = recordStart_ + gaf::RoundUpEven(tag.length);
  } else {
    return Fail(eGafBadFormat, recordAt_, "the record length runs past the end of the file");
  }
  recordType_ = type = found;
  return status_;
}

EngineStatus CGafFile::NextRecord(EGafObjectType& type, uint32_t& position) {
  type = kGafUndefinedObject;
  position = 0;
  if (status_ != kEngineOk) return status_;
  if (firstObjectPosition_ == 0) return eGafNoObjectArea;
  if (SkipRecord() != kEngineOk) return status_;
  position = filePosition_;
  return ReadRecordHeader(type);
}

EngineStatus CGafFile::ReadRecordAt(uint32_t position, EGafObjectType& type, uint32_t readThrough) {
  type = kGafUndefinedObject;
  if (status_ != kEngineOk) return status_;
  if (firstObjectPosition_ == 0) return eGafNoObjectArea;
  FlushPending();
  if ((position & 1u) != 0 || position < firstObjectPosition_ ||
      static_cast<uint64_t>(position) + gaf::kTagWordSize > fileSize_) {
    return Fail(eGafSeekError, position, "an index points to no record position of the file");
  }
  if (!SeekTo(position)) return status_;
  readThrough_ = readThrough;
  ReadRecordHeader(type);
  readThrough_ = 0;
  return status_;
}

// Idempotent: the end of the current record is an absolute position. An old
// multi-set record can only be passed by reading it.
EngineStatus CGafFile::SkipRecord() {
  if (status_ != kEngineOk) return status_;
  if (firstObjectPosition_ == 0) return eGafNoObjectArea;
  if (recordEnd_ == kUnknownPosition) {
    const char *name, *key, *url;
    int32_t setCount;
    const int32_t* setCounts;
    const CKroDoublePointNode* vertices;
    return recordType_ == kGafPolyPolylineObject ? ReadPolyPolyline(name, key, url, setCount, setCounts, vertices)
                                                 : ReadPolyPolygon(name, key, url, setCount, setCounts, vertices);
  }
  SeekTo(recordEnd_);
  return status_;
}

EngineStatus CGafFile::ReadPoint(const char*& name, const char*& key, const char*& url,
                                 const CKroDoublePointNode*& vertices) {
  int32_t count = 0;
  return ReadSingleSet(kGafPointObject, name, key, url, count, vertices);
}

EngineStatus CGafFile::ReadMultiPoint(const char*& name, const char*& key, const char*& url, int32_t& count,
                                      const CKroDoublePointNode*& vertices) {
  return ReadSingleSet(gaf::kMultiPointType, name, key, url, count, vertices);
}

EngineStatus CGafFile::ReadPolyline(const char*& name, const char*& key, const char*& url, int32_t& count,
                                    const CKroDoublePointNode*& vertices) {
  return ReadSingleSet(kGafPolylineObject, name, key, url, count, vertices);
}

EngineStatus CGafFile::ReadPolyPolyline(const char*& name, const char*& key, const char*& url, int32_t& setCount,
                                        const int32_t*& setCounts, const CKroDoublePointNode*& vertices) {
  return ReadMultiSet(kGafPolyPolylineObject, name, key, url, setCount, setCounts, vertices);
}

EngineStatus CGafFile::ReadPolygon(const char*& name, const char*& key, const char*& url, int32_t& count,
                                   const CKroDoublePointNode*& vertices) {
  return ReadSingleSet(kGafPolygonObject, name, key, url, count, vertices);
}

EngineStatus CGafFile::ReadPolyPolygon(const char*& name, const char*& key, const char*& url, int32_t& setCount,
                                       const int32_t*& setCounts, const CKroDoublePointNode*& vertices) {
  return ReadMultiSet(kGafPolyPolygonObject, name, key, url, setCount, setCounts, vertices);
}

EngineStatus CGafFile::ReadSingleSet(EGafObjectType type, const char*& name, const char*& key, const char*& url,
                                     int32_t& count, const CKroDoublePointNode*& vertices) {
  RecordBody body;
  const EngineStatus status = ReadBody(type, body);
  HandOut(name, key, url, vertices);
  count = body.count;
  return status;
}

EngineStatus CGafFile::ReadMultiSet(EGafObjectType type, const char*& name, const char*& key, const char*& url,
                                    int32_t& setCount, const int32_t*& setCounts,
                                    const CKroDoublePointNode*& vertices) {
  RecordBody body;
  const EngineStatus status = ReadBody(type, body);
  HandOut(name, key, url, vertices);
  setCount = body.setCount;
  setCounts = setCounts_.data();
  return status;
}

void CGafFile::HandOut(const char*& name, const char*& key, const char*& url,
                       const CKroDoublePointNode*& vertices) const {
  name = nameBuffer_.get();
  key = keyBuffer_.get();
  url = urlBuffer_.get();
  vertices = vertices_.data();
}

bool CGafFile::IsOldMultiSet(EGafObjectType type) const {
  return version_ <= gaf::kLastOldLayoutVersion && (type == kGafPolyPolylineObject || type == kGafPolyPolygonObject);
}

// Decodes the current record from its start, so a record can be read again.
// Leaves the file at the next record; counts are 0 unless it succeeds.
EngineStatus CGafFile::ReadBody(EGafObjectType type, RecordBody& body) {
  if (status_ != kEngineOk) return status_;
  if (firstObjectPosition_ == 0) return eGafNoObjectArea;
  if (recordType_ != type) return Fail(eGafWrongType, recordAt_, "the record is of another kind than was asked for");
  if (!SeekTo(recordStart_)) return status_;
  // An old multi-set record's length is not relied on: its content, which
  // must lie in the file, says where it ends.
  const bool oldMultiSet = IsOldMultiSet(type);
  const uint32_t restOfFile = recordStart_ <= fileSize_ ? fileSize_ - recordStart_ : 0;
  const uint32_t limit = oldMultiSet ? restOfFile : recordLength_;
  const uint32_t load = oldMultiSet ? limit : recordEnd_ - recordStart_;
  // A record that fits the read-ahead buffer is decoded there: tag, length
  // and body came in with one read, or none on a sequential pass.
  const AheadLoad ahead = LoadAhead(recordStart_, load);
  if (ahead == AheadLoad::kSeekFailed || ahead == AheadLoad::kReadFailed) {
    FailAhead(ahead);
    return status_;
  }
  const bool inMemory = ahead == AheadLoad::kLoaded;
  GafPayloadReader reader = PayloadReader(recordStart_, limit, load, inMemory);
  const Shape shape = gaf::ShapeOf(type);
  RecordBody decoded;
  const bool ok = DecodeBody(reader, shape, decoded);
  filePosition_ = reader.Failure() == eGafReadError ? kUnknownPosition : recordStart_ + reader.Loaded();
  if (inMemory) MoveTo(filePosition_);
  if (!ok) return FailPayload(reader, recordAt_, "the record's contents run past its length");
  if (oldMultiSet) recordEnd_ = recordStart_ + reader.Consumed();
  lastReadContent_ = reader.Consumed();
  lastReadUnused_ = version_ <= gaf::kLastOldLayoutVersion ? 0 : reader.Unconsumed();
  if (SeekTo(recordEnd_)) body = decoded;
  return status_;
}

// Name, key and (from version 2 on) URL are cut to 255 bytes.
bool CGafFile::DecodeBody(GafPayloadReader& reader, Shape shape, RecordBody& body) {
  urlBuffer_[0] = '\0';
  RecordSink sink{{nameBuffer_.get(), keyBuffer_.get(), urlBuffer_.get()}, setCounts_, vertices_};
  gaf::RecordFields fields;
  payloadFault_ = gaf::DecodeRecordPayload(reader, shape, gaf::LayoutFor(version_, coordinateBits_), sink, fields);
  if (payloadFault_ != gaf::PayloadFault::kNone) return false;
  body.count = shape == Shape::kMultiSet ? 0 : static_cast<int32_t>(fields.count);
  body.setCount = shape == Shape::kMultiSet ? static_cast<int32_t>(fields.count) : 0;
  return true;
}

}  // namespace kro
