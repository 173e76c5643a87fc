// What an engine failure says about itself: its status word, the file it
// concerns, the offset in that file where it applies (or none) and a short
// reason in the engine's words. Each engine object keeps the first error it
// records, as it keeps its first failing status; the facade hands the error
// of the deciding step on to tools and drivers, which print Describe().
#ifndef KRO_ENGINE_ENGINEERROR_H
#define KRO_ENGINE_ENGINEERROR_H

#include <cstdint>
#include <string>

#include "engine/EngineStatus.h"

namespace kro {

struct EngineError {
  static constexpr uint64_t kNoOffset = UINT64_MAX;

  EngineStatus status = kEngineOk;
  std::string file;
  uint64_t offset = kNoOffset;
  std::string reason;

  // kEngineOk and kEngineEndOfResults are no failures.
  bool Failed() const { return status != kEngineOk && status != kEngineEndOfResults; }
  bool HasOffset() const { return offset != kNoOffset; }
  // "countries.gaf at 0x1FA: the record length runs past the end of the file
  // (eGafBadFormat)"; without an offset "countries.gaf: ...", without a file
  // the reason alone, then the status word's name.
  std::string Describe() const;
};

// The error of a status word that came without one of its own: the file and
// the status word's phrase, no offset.
EngineError ErrorOfStatus(EngineStatus status, const std::string& file);

// Records a failure into `kept` unless it already holds one: the first
// failure wins, as it does for the sticky status words.
void KeepFirstError(EngineError& kept, EngineStatus status, const std::string& file, uint64_t offset,
                    const char* reason);

// The error to report for `answered`, the status word a call gave: `kept`
// when it holds that word, else ErrorOfStatus. Success gives the empty error.
EngineError ErrorForAnswer(const EngineError& kept, EngineStatus answered, const std::string& file);

}  // namespace kro

#endif
