// Engine status words of the three files. 0 is success; data file errors are
// 0x80041000 + n, spatial index errors 0x80042000 + n, key index errors
// 0x80043000 + n; the positive kEngineEndOfResults ends a scan or a search in
// all three. Only the facade turns these into EKroErrCode values.
#ifndef KRO_ENGINE_ENGINESTATUS_H
#define KRO_ENGINE_ENGINESTATUS_H

#include <cstdint>

namespace kro {

using EngineStatus = uint32_t;

constexpr EngineStatus kEngineOk = 0;
constexpr EngineStatus kEngineEndOfResults = 0x00041000u;

// Data file.
constexpr EngineStatus eGafCannotOpen = 0x80041000u;
constexpr EngineStatus eGafNotAGaf = 0x80041001u;
constexpr EngineStatus eGafReadError = 0x80041002u;
constexpr EngineStatus eGafWriteError = 0x80041003u;
constexpr EngineStatus eGafBadVersion = 0x80041004u;
constexpr EngineStatus eGafInvalidParameter = 0x80041007u;
constexpr EngineStatus eGafSeekError = 0x80041008u;
constexpr EngineStatus eGafWrongType = 0x80041009u;
constexpr EngineStatus eGafBadFormat = 0x8004100Bu;
constexpr EngineStatus eGafTooManyPoints = 0x8004100Du;
constexpr EngineStatus eGafNotSupported = 0x80041010u;
constexpr EngineStatus eGafOutOfMemory = 0x80041012u;
constexpr EngineStatus eGafNoObjectArea = 0x80041013u;
constexpr EngineStatus eGafPolygonUnclosed = 0x80041016u;
constexpr EngineStatus eGafPrecisionMismatch = 0x80041017u;
// The rollback journal beside a set could not be replayed (a journal of
// another format, or a restore step failed); the set is not opened.
constexpr EngineStatus eGafJournalError = 0x80041018u;

// Spatial index.
constexpr EngineStatus eSifCannotOpen = 0x80042000u;
constexpr EngineStatus eSifNotASif = 0x80042001u;
constexpr EngineStatus eSifReadError = 0x80042002u;
constexpr EngineStatus eSifWriteError = 0x80042003u;
constexpr EngineStatus eSifBadVersion = 0x80042004u;
constexpr EngineStatus eSifReadOnly = 0x80042005u;
constexpr EngineStatus eSifNoSearch = 0x80042006u;
constexpr EngineStatus eSifInvalidParameter = 0x80042007u;
constexpr EngineStatus eSifNotFound = 0x80042008u;
constexpr EngineStatus eSifBoxMismatch = 0x80042009u;
constexpr EngineStatus eSifCountMismatch = 0x8004200Au;
constexpr EngineStatus eSifBadNodePosition = 0x8004200Bu;
constexpr EngineStatus eSifUnderfullNode = 0x8004200Cu;
constexpr EngineStatus eSifTempFileError = 0x8004200Du;
constexpr EngineStatus eSifTempWriteError = 0x8004200Eu;
constexpr EngineStatus eSifReplaceFailed = 0x8004200Fu;
// Insert: the tree is at its height limit and the entry would need a split.
constexpr EngineStatus eSifHeightLimit = 0x80042010u;
// Verify: an entry's box has a NaN coordinate (no search or delete finds it).
constexpr EngineStatus eSifNaNBox = 0x80042011u;

// Key index.
constexpr EngineStatus eKifCannotOpen = 0x80043000u;
constexpr EngineStatus eKifNotAKif = 0x80043001u;
constexpr EngineStatus eKifReadError = 0x80043002u;
constexpr EngineStatus eKifWriteError = 0x80043003u;
constexpr EngineStatus eKifBadVersion = 0x80043004u;
constexpr EngineStatus eKifReadOnly = 0x80043005u;
constexpr EngineStatus eKifNoSearch = 0x80043006u;
constexpr EngineStatus eKifInvalidParameter = 0x80043007u;
constexpr EngineStatus eKifNotFound = 0x80043008u;
constexpr EngineStatus eKifDuplicate = 0x80043009u;
constexpr EngineStatus eKifCountMismatch = 0x8004300Au;
constexpr EngineStatus eKifBadNodePosition = 0x8004300Bu;
constexpr EngineStatus eKifUnderfullNode = 0x8004300Cu;
constexpr EngineStatus eKifTempFileError = 0x8004300Du;
constexpr EngineStatus eKifTempWriteError = 0x8004300Eu;
constexpr EngineStatus eKifReplaceFailed = 0x8004300Fu;
constexpr EngineStatus eKifKeyTooLong = 0x80043010u;
constexpr EngineStatus eKifBadKeyOrder = 0x80043011u;

// The name of a status word ("eGafReadError"), or "unknown status" for a word
// that no engine produces. Makes failures readable in tests and tools.
const char* StatusName(EngineStatus status);

// A phrase a user can act on ("the data file cannot be read"); a word no
// engine produces gets the phrase of the file it names.
const char* StatusPhrase(EngineStatus status);

// Whether a failed write left the writer able to go on: the status of a
// per-object refusal (a parameter the record cannot hold, an open ring, a key
// too long), as opposed to a read, write or format failure.
bool IsObjectRefusal(EngineStatus status);

}  // namespace kro

#endif
