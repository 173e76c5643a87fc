#include "engine/EngineStatus.h"

#include <cstddef>
#include <iterator>

namespace kro {
namespace {

struct StatusText {
  EngineStatus status;
  const char* name;
  const char* phrase;
};

// Every status word an engine produces, with its name and a phrase a user can
// act on: the one place tools and drivers take their words from.
constexpr StatusText kStatusTexts[] = {
    {kEngineOk, "kEngineOk", "no failure"},
    {kEngineEndOfResults, "kEngineEndOfResults", "the pass has ended"},
    {eGafCannotOpen, "eGafCannotOpen", "the data file cannot be opened"},
    {eGafNotAGaf, "eGafNotAGaf", "the name does not end in .gaf"},
    {eGafReadError, "eGafReadError", "the data file cannot be read"},
    {eGafWriteError, "eGafWriteError", "the data file cannot be written"},
    {eGafBadVersion, "eGafBadVersion", "the data file has a format version this library does not know"},
    {eGafInvalidParameter, "eGafInvalidParameter", "an object does not fit a record"},
    {eGafSeekError, "eGafSeekError", "the data file cannot be read"},
    {eGafWrongType, "eGafWrongType", "the data file cannot be used"},
    {eGafBadFormat, "eGafBadFormat", "the data file is damaged, or its indexes do not match it"},
    {eGafTooManyPoints, "eGafTooManyPoints", "a record is larger than memory allows"},
    {eGafNotSupported, "eGafNotSupported", "the data file cannot be used"},
    {eGafOutOfMemory, "eGafOutOfMemory", "a record is larger than memory allows"},
    {eGafNoObjectArea, "eGafNoObjectArea", "the data file is damaged"},
    {eGafPolygonUnclosed, "eGafPolygonUnclosed", "a polygon ring is not closed"},
    {eGafPrecisionMismatch, "eGafPrecisionMismatch", "only a set written with 64-bit coordinates can be written again"},
    {eGafJournalError, "eGafJournalError", "the rollback journal beside the set cannot be replayed"},
    {eSifCannotOpen, "eSifCannotOpen", "the spatial index (.sif) is missing or cannot be opened"},
    {eSifNotASif, "eSifNotASif", "the spatial index (.sif) is damaged or cannot be read"},
    {eSifReadError, "eSifReadError", "the spatial index (.sif) is damaged or cannot be read"},
    {eSifWriteError, "eSifWriteError", "the spatial index (.sif) is damaged or cannot be read"},
    {eSifBadVersion, "eSifBadVersion", "the spatial index (.sif) is damaged or cannot be read"},
    {eSifReadOnly, "eSifReadOnly", "the spatial index (.sif) is damaged or cannot be read"},
    {eSifNoSearch, "eSifNoSearch", "the spatial index (.sif) is damaged or cannot be read"},
    {eSifInvalidParameter, "eSifInvalidParameter", "the spatial index (.sif) is damaged or cannot be read"},
    {eSifNotFound, "eSifNotFound", "the spatial index (.sif) is damaged or cannot be read"},
    {eSifBoxMismatch, "eSifBoxMismatch", "the spatial index (.sif) is damaged or cannot be read"},
    {eSifCountMismatch, "eSifCountMismatch", "the spatial index (.sif) is damaged or cannot be read"},
    {eSifBadNodePosition, "eSifBadNodePosition", "the spatial index (.sif) is damaged or cannot be read"},
    {eSifUnderfullNode, "eSifUnderfullNode", "the spatial index (.sif) is damaged or cannot be read"},
    {eSifTempFileError, "eSifTempFileError", "the spatial index (.sif) is damaged or cannot be read"},
    {eSifTempWriteError, "eSifTempWriteError", "the spatial index (.sif) is damaged or cannot be read"},
    {eSifReplaceFailed, "eSifReplaceFailed", "the spatial index (.sif) is damaged or cannot be read"},
    {eSifHeightLimit, "eSifHeightLimit", "the spatial index (.sif) is damaged or cannot be read"},
    {eSifNaNBox, "eSifNaNBox", "the spatial index (.sif) is damaged or cannot be read"},
    {eKifCannotOpen, "eKifCannotOpen", "the key index (.kif) cannot be opened"},
    {eKifNotAKif, "eKifNotAKif", "the key index (.kif) is damaged or cannot be read"},
    {eKifReadError, "eKifReadError", "the key index (.kif) is damaged or cannot be read"},
    {eKifWriteError, "eKifWriteError", "the key index (.kif) is damaged or cannot be read"},
    {eKifBadVersion, "eKifBadVersion", "the key index (.kif) is damaged or cannot be read"},
    {eKifReadOnly, "eKifReadOnly", "the key index (.kif) is damaged or cannot be read"},
    {eKifNoSearch, "eKifNoSearch", "the key index (.kif) is damaged or cannot be read"},
    {eKifInvalidParameter, "eKifInvalidParameter", "the key index (.kif) is damaged or cannot be read"},
    {eKifNotFound, "eKifNotFound", "the key index (.kif) is damaged or cannot be read"},
    {eKifDuplicate, "eKifDuplicate", "the key index (.kif) is damaged or cannot be read"},
    {eKifCountMismatch, "eKifCountMismatch", "the key index (.kif) is damaged or cannot be read"},
    {eKifBadNodePosition, "eKifBadNodePosition", "the key index (.kif) is damaged or cannot be read"},
    {eKifUnderfullNode, "eKifUnderfullNode", "the key index (.kif) is damaged or cannot be read"},
    {eKifTempFileError, "eKifTempFileError", "the key index (.kif) is damaged or cannot be read"},
    {eKifTempWriteError, "eKifTempWriteError", "the key index (.kif) is damaged or cannot be read"},
    {eKifReplaceFailed, "eKifReplaceFailed", "the key index (.kif) is damaged or cannot be read"},
    {eKifKeyTooLong, "eKifKeyTooLong", "a key is longer than the key index holds"},
    {eKifBadKeyOrder, "eKifBadKeyOrder", "the key index (.kif) is damaged or cannot be read"},
};

constexpr bool EveryStatusOnce() {
  for (size_t i = 0; i < std::size(kStatusTexts); ++i) {
    for (size_t j = i + 1; j < std::size(kStatusTexts); ++j) {
      if (kStatusTexts[i].status == kStatusTexts[j].status) return false;
    }
  }
  return true;
}
static_assert(EveryStatusOnce(), "a status word has one name and one phrase");

const StatusText* FindStatusText(EngineStatus status) {
  for (const StatusText& text : kStatusTexts) {
    if (text.status == status) return &text;
  }
  return nullptr;
}

// The phrase of a word no engine produces, by the file family it claims.
const char* FamilyPhrase(EngineStatus status) {
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

const char* StatusName(EngineStatus status) {
  const StatusText* text = FindStatusText(status);
  return text != nullptr ? text->name : "unknown status";
}

const char* StatusPhrase(EngineStatus status) {
  const StatusText* text = FindStatusText(status);
  return text != nullptr ? text->phrase : FamilyPhrase(status);
}

bool IsObjectRefusal(EngineStatus status) {
  return status == kEngineOk || status == eGafInvalidParameter || status == eGafPolygonUnclosed ||
         status == eGafTooManyPoints || status == eKifKeyTooLong || status == eKifInvalidParameter ||
         status == eSifInvalidParameter;
}

}  // namespace kro
