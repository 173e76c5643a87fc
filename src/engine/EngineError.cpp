#include "engine/EngineError.h"

#include <cinttypes>
#include <cstdio>

namespace kro {

std::string EngineError::Describe() const {
  std::string text = file;
  if (HasOffset()) {
    char where[32];
    std::snprintf(where, sizeof where, " at 0x%" PRIX64, offset);
    text += where;
  }
  if (!text.empty()) text += ": ";
  text += reason.empty() ? StatusPhrase(status) : reason;
  return text + " (" + StatusName(status) + ")";
}

EngineError ErrorOfStatus(EngineStatus status, const std::string& file) {
  return EngineError{status, file, EngineError::kNoOffset, StatusPhrase(status)};
}

void KeepFirstError(EngineError& kept, EngineStatus status, const std::string& file, uint64_t offset,
                    const char* reason) {
  if (kept.Failed()) return;
  kept = EngineError{status, file, offset, reason};
}

EngineError ErrorForAnswer(const EngineError& kept, EngineStatus answered, const std::string& file) {
  if (answered == kEngineOk || answered == kEngineEndOfResults) {
    return EngineError{answered, file, EngineError::kNoOffset, ""};
  }
  return kept.status == answered ? kept : ErrorOfStatus(answered, file);
}

}  // namespace kro
