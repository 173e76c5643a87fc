#include "engine/EngineStatus.h"

namespace kro {

const char* StatusName(EngineStatus status) {
  switch (status) {
#define KRO_STATUS_NAME(name) \
  case name:                  \
    return #name;
    KRO_STATUS_NAME(kEngineOk)
    KRO_STATUS_NAME(kEngineEndOfResults)
    KRO_STATUS_NAME(eGafCannotOpen)
    KRO_STATUS_NAME(eGafNotAGaf)
    KRO_STATUS_NAME(eGafReadError)
    KRO_STATUS_NAME(eGafWriteError)
    KRO_STATUS_NAME(eGafBadVersion)
    KRO_STATUS_NAME(eGafInvalidParameter)
    KRO_STATUS_NAME(eGafSeekError)
    KRO_STATUS_NAME(eGafWrongType)
    KRO_STATUS_NAME(eGafBadFormat)
    KRO_STATUS_NAME(eGafTooManyPoints)
    KRO_STATUS_NAME(eGafNotSupported)
    KRO_STATUS_NAME(eGafOutOfMemory)
    KRO_STATUS_NAME(eGafNoObjectArea)
    KRO_STATUS_NAME(eGafPolygonUnclosed)
    KRO_STATUS_NAME(eGafPrecisionMismatch)
    KRO_STATUS_NAME(eGafJournalError)
    KRO_STATUS_NAME(eSifCannotOpen)
    KRO_STATUS_NAME(eSifNotASif)
    KRO_STATUS_NAME(eSifReadError)
    KRO_STATUS_NAME(eSifWriteError)
    KRO_STATUS_NAME(eSifBadVersion)
    KRO_STATUS_NAME(eSifReadOnly)
    KRO_STATUS_NAME(eSifNoSearch)
    KRO_STATUS_NAME(eSifInvalidParameter)
    KRO_STATUS_NAME(eSifNotFound)
    KRO_STATUS_NAME(eSifBoxMismatch)
    KRO_STATUS_NAME(eSifCountMismatch)
    KRO_STATUS_NAME(eSifBadNodePosition)
    KRO_STATUS_NAME(eSifUnderfullNode)
    KRO_STATUS_NAME(eSifTempFileError)
    KRO_STATUS_NAME(eSifTempWriteError)
    KRO_STATUS_NAME(eSifReplaceFailed)
    KRO_STATUS_NAME(eSifHeightLimit)
    KRO_STATUS_NAME(eSifNaNBox)
    KRO_STATUS_NAME(eKifCannotOpen)
    KRO_STATUS_NAME(eKifNotAKif)
    KRO_STATUS_NAME(eKifReadError)
    KRO_STATUS_NAME(eKifWriteError)
    KRO_STATUS_NAME(eKifBadVersion)
    KRO_STATUS_NAME(eKifReadOnly)
    KRO_STATUS_NAME(eKifNoSearch)
    KRO_STATUS_NAME(eKifInvalidParameter)
    KRO_STATUS_NAME(eKifNotFound)
    KRO_STATUS_NAME(eKifDuplicate)
    KRO_STATUS_NAME(eKifCountMismatch)
    KRO_STATUS_NAME(eKifBadNodePosition)
    KRO_STATUS_NAME(eKifUnderfullNode)
    KRO_STATUS_NAME(eKifTempFileError)
    KRO_STATUS_NAME(eKifTempWriteError)
    KRO_STATUS_NAME(eKifReplaceFailed)
    KRO_STATUS_NAME(eKifKeyTooLong)
    KRO_STATUS_NAME(eKifBadKeyOrder)
#undef KRO_STATUS_NAME
  }
  return "unknown status";
}

}  // namespace kro
