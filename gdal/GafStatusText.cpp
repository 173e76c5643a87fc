#include "GafStatusText.h"

namespace kro {
namespace {

const char* Phrase(EngineStatus status) {
  switch (status) {
    case eGafCannotOpen:
      return "the data file cannot be opened";
    case eGafNotAGaf:
      return "the name does not end in .gaf";
    case eGafReadError:
    case eGafSeekError:
      return "the data file cannot be read";
    case eGafWriteError:
      return "the data file cannot be written";
    case eGafBadVersion:
      return "the data file has a format version this driver does not know";
    case eGafBadFormat:
      return "the data file is damaged, or its indexes do not match it";
    case eGafNoObjectArea:
      return "the data file is damaged";
    case eGafOutOfMemory:
    case eGafTooManyPoints:
      return "a record is larger than memory allows";
    case eGafPrecisionMismatch:
      return "only a set written with 64-bit coordinates can be written again";
    case eGafPolygonUnclosed:
      return "a polygon ring is not closed";
    case eGafInvalidParameter:
      return "an object does not fit a record";
    case eSifCannotOpen:
      return "the spatial index (.sif) is missing or cannot be opened";
    case eKifCannotOpen:
      return "the key index (.kif) cannot be opened";
    case eGafJournalError:
      return "the rollback journal beside the set cannot be replayed";
    case eKifKeyTooLong:
      return "a key is longer than the key index holds";
    default:
      break;
  }
  switch (status & 0xFFFFF000u) {
    case 0x80042000u:
      return "the spatial index (.sif) is damaged or cannot be read";
    case 0x80043000u:
      return "the key index (.kif) is damaged or cannot be read";
    default:
      return "the data file cannot be used";
  }
}

}  // namespace

std::string DescribeStatus(EngineStatus status) {
  return std::string(Phrase(status)) + " (" + StatusName(status) + ")";
}

bool IsObjectRefusal(EngineStatus status) {
  return status == kEngineOk || status == eGafInvalidParameter || status == eGafPolygonUnclosed ||
         status == eGafTooManyPoints || status == eKifKeyTooLong || status == eKifInvalidParameter ||
         status == eSifInvalidParameter;
}

}  // namespace kro
