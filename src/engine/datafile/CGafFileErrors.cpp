// How a data file records its failures and refusals: the sticky status word
// with the error that says where and why, and the refusal of the last write.
#include "engine/datafile/CGafFile.h"
#include "engine/datafile/GafPayloadReader.h"

namespace kro {
namespace {

const char* PayloadFaultReason(gaf::PayloadFault fault) {
  switch (fault) {
    case gaf::PayloadFault::kStringPastEnd:
      return "a text of the record runs past the record's length";
    case gaf::PayloadFault::kPadPastEnd:
      return "the record's length ends inside its texts";
    case gaf::PayloadFault::kCountPastEnd:
      return "the record's length ends before its vertex or part count";
    case gaf::PayloadFault::kSetCountsPastEnd:
      return "the record's part counts run past the record's length";
    case gaf::PayloadFault::kVerticesPastEnd:
      return "the record's counts ask for more vertices than its length holds";
    default:
      return nullptr;
  }
}

}  // namespace

EngineStatus CGafFile::Fail(EngineStatus status, uint64_t offset, const char* reason) {
  if (status_ == kEngineOk || status_ == kEngineEndOfResults) {
    status_ = status;
    KeepFirstError(error_, status, fileName_, offset, reason);
  }
  return status_;
}

EngineStatus CGafFile::Refuse(EngineStatus status, const char* reason) const {
  refusal_ = EngineError{status, fileName_, EngineError::kNoOffset, reason};
  return status;
}

EngineError CGafFile::ErrorFor(EngineStatus answered) const {
  if (answered != status_ && refusal_.status == answered) return refusal_;
  return ErrorForAnswer(error_, answered, fileName_);
}

// A record's payload failure names the record's tag word; the decoder's fault
// says what ran past its length. A header chunk has no fault of its own.
EngineStatus CGafFile::FailPayload(const GafPayloadReader& reader, uint32_t at, const char* pastEnd) {
  const gaf::PayloadFault fault = payloadFault_;
  payloadFault_ = gaf::PayloadFault::kNone;
  switch (reader.Failure()) {
    case eGafReadError:
      return Fail(eGafReadError, at, "the file cannot be read");
    case eGafBadFormat: {
      const char* reason = PayloadFaultReason(fault);
      return Fail(eGafBadFormat, at, reason != nullptr ? reason : pastEnd);
    }
    case kEngineOk:
      return Fail(eGafOutOfMemory, at, "no memory for the contents");
    default:
      return Fail(reader.Failure(), at, pastEnd);
  }
}

}  // namespace kro
