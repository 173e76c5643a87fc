// Sorts more entries than memory holds: entries (a 64-bit key and bytes)
// are gathered up to a memory budget, each full batch is sorted and written
// to a run file of its own, and the runs, with the last batch still in
// memory, are merged when the entries are read back. Entries of equal key
// are ordered by the tie rule, when there is one, and otherwise come back in
// the order they were added.
//
// Run files are named `runStem` followed by their number (0, 1, ...) and are
// removed when the sorter is destroyed, the highest first, so that the run
// files a killed process leaves behind are always some first numbers: a
// later sorter over the same stem removes them with RemoveLeftoverRuns.
#ifndef KRO_ENGINE_ORDERING_EXTERNALSORTER_H
#define KRO_ENGINE_ORDERING_EXTERNALSORTER_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/EngineError.h"
#include "engine/fileaccess/CGafRawFile.h"

namespace kro {

class ExternalSorter {
 public:
  // Whether the entry (a, sizeA) goes before (b, sizeB) when their keys are
  // equal; null keeps the order of adding.
  using TieRule = bool (*)(const uint8_t* a, uint32_t sizeA, const uint8_t* b, uint32_t sizeB);

  // Most runs one sort writes, each open while they are merged; a sort that
  // would need more fails (a budget of 24 MB gives runs of about that size).
  static constexpr uint32_t kMaxRuns = 512;

  ExternalSorter(const CGafRawFile& files, std::string runStem, size_t budget, TieRule tie = nullptr);
  ~ExternalSorter();
  ExternalSorter(const ExternalSorter&) = delete;
  ExternalSorter& operator=(const ExternalSorter&) = delete;

  // false after a failure (Error() says what); every later call fails too.
  bool Add(uint64_t key, const uint8_t* bytes, uint32_t size);
  // Ends adding and starts reading back.
  bool StartReading();
  // The next entry in order: true with `bytes` (valid until the next call)
  // and `size`; false at the end, or on a failure (Error().Failed()).
  bool Next(uint64_t& key, const uint8_t*& bytes, uint32_t& size);

  uint64_t Count() const { return count_; }
  uint32_t Runs() const { return static_cast<uint32_t>(runs_.size()); }
  const EngineError& Error() const { return error_; }

  // Removes run files of `runStem` that a sorter which did not end left.
  static void RemoveLeftoverRuns(const CGafRawFile& files, const std::string& runStem);

 private:
  struct Slot {
    uint64_t key;
    uint64_t offset;
    uint32_t size;
  };
  class Run;
  class Merge;

  bool Fail(const std::string& file, const char* reason);
  bool Precedes(uint64_t keyA, const uint8_t* a, uint32_t sizeA, uint64_t keyB, const uint8_t* b,
                uint32_t sizeB) const;
  void SortBatch();
  bool SpillBatch();
  std::string RunName(size_t index) const;

  CGafRawFile files_;
  std::string runStem_;
  size_t budget_;
  TieRule tie_;
  std::vector<uint8_t> arena_;
  std::vector<Slot> slots_;
  std::vector<std::unique_ptr<Run>> runs_;
  std::unique_ptr<Merge> merge_;
  static constexpr size_t kNoSource = SIZE_MAX;
  size_t pending_ = kNoSource;  // the source of the entry handed out last
  uint64_t count_ = 0;
  bool reading_ = false;
  EngineError error_;
};

}  // namespace kro

#endif
