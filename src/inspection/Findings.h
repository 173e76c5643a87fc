// What verify (and the other subcommands) found wrong with a file set: each
// finding names the file, the byte offset where the damage was seen, a short
// stable kind ("gaf.no-end-of-data") that tests and scripts can match, and a
// sentence for a person. Every finding is counted; only the first few
// thousand are kept, so a file damaged everywhere cannot exhaust memory.
#ifndef KRO_INSPECTION_FINDINGS_H
#define KRO_INSPECTION_FINDINGS_H

#include <cstdint>
#include <string>
#include <vector>

namespace kro::inspection {

struct Finding {
  std::string file;
  uint64_t offset = 0;
  std::string kind;
  std::string message;
};

class FindingList {
 public:
  void Add(const std::string& file, uint64_t offset, const std::string& kind, const std::string& message);
  const std::vector<Finding>& Kept() const { return kept_; }
  uint64_t Count() const { return count_; }
  bool Empty() const { return count_ == 0; }
  bool HasKind(const std::string& kind) const;

 private:
  static constexpr size_t kKeep = 5000;
  std::vector<Finding> kept_;
  uint64_t count_ = 0;
};

// "0x1A2B" for offsets in messages.
std::string Hex(uint64_t value);

}  // namespace kro::inspection

#endif
