// Reading object records: record headers, the sequential scan step, lookups
// by record position, and the decode of the current record.
#include "engine/datafile/CGafFile.h"
#include "engine/datafile/GafFormat.h"
#include "engine/datafile/GafPayloadReader.h"
#include "engine/datafile/GafRecordCodec.h"
#include "engine/datafile/GafRecordDecoder.h"

namespace kro {
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
  if (recordEnd_ == kUnknownPosition) return ReadRecord(skipped_);
  SeekTo(recordEnd_);
  return status_;
}

bool CGafFile::IsOldMultiSet(EGafObjectType type) const {
  return version_ <= gaf::kLastOldLayoutVersion && (type == kGafPolyPolylineObject || type == kGafPolyPolygonObject);
}

// Decodes the current record from its start, so a record can be read again.
// Leaves the file at the next record.
EngineStatus CGafFile::ReadRecord(GafRecord& record) {
  const EngineStatus status = DecodeCurrent(record);
  if (status != kEngineOk) record.Clear(recordType_);
  return status;
}

EngineStatus CGafFile::DecodeCurrent(GafRecord& record) {
  if (status_ != kEngineOk) return status_;
  if (firstObjectPosition_ == 0) return eGafNoObjectArea;
  if (!gaf::IsRecordKind(recordType_)) {
    return Fail(eGafWrongType, recordAt_, "the record at the reading position holds no object");
  }
  if (!SeekTo(recordStart_)) return status_;
  // An old multi-set record's length is not relied on: its content, which
  // must lie in the file, says where it ends.
  const bool oldMultiSet = IsOldMultiSet(recordType_);
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
  record.kind = recordType_;
  gaf::RecordFields fields;
  payloadFault_ = gaf::DecodeRecordBody(reader, gaf::LayoutFor(version_, coordinateBits_), record, fields);
  const bool ok = payloadFault_ == gaf::PayloadFault::kNone;
  filePosition_ = reader.Failure() == eGafReadError ? kUnknownPosition : recordStart_ + reader.Loaded();
  if (inMemory) MoveTo(filePosition_);
  if (!ok) return FailPayload(reader, recordAt_, "the record's contents run past its length");
  if (oldMultiSet) recordEnd_ = recordStart_ + reader.Consumed();
  lastReadContent_ = reader.Consumed();
  lastReadUnused_ = version_ <= gaf::kLastOldLayoutVersion ? 0 : reader.Unconsumed();
  SeekTo(recordEnd_);
  return status_;
}

}  // namespace kro
