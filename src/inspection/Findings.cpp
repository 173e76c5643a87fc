#include "Findings.h"

#include <cstdio>

namespace kro::inspection {

void FindingList::Add(const std::string& file, uint64_t offset, const std::string& kind, const std::string& message) {
  ++count_;
  if (kept_.size() < kKeep) kept_.push_back(Finding{file, offset, kind, message});
}

bool FindingList::HasKind(const std::string& kind) const {
  for (const Finding& f : kept_) {
    if (f.kind == kind) return true;
  }
  return false;
}

std::string Hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

}  // namespace kro::inspection
