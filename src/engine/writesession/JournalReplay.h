// Rolling a file set back from its journal: every before image is written
// back, then every file is cut to the length it had before the session, or
// removed when the session created it. Replaying twice does no harm, so a
// replay that is itself interrupted is simply done again.
#ifndef KRO_ENGINE_WRITESESSION_JOURNALREPLAY_H
#define KRO_ENGINE_WRITESESSION_JOURNALREPLAY_H

#include <cstdint>

#include "platform/FileSystem.h"

namespace kro {

// Where a replay puts things back; file numbers are those of the journal
// (0 data file, 1 spatial index, 2 key index).
class JournalTarget {
 public:
  virtual ~JournalTarget() = default;
  virtual bool WriteBack(uint8_t file, uint32_t offset, const uint8_t* bytes, uint32_t count) = 0;
  virtual bool CutTo(uint8_t file, uint32_t length) = 0;
  virtual bool Remove(uint8_t file) = 0;
};

enum class ReplayResult {
  kDone,        // the set is as it was before the session
  kCommitted,   // the journal holds its session's commit: nothing was replayed
  kBadJournal,  // not a journal of this format: nothing was touched
  kFailed,      // a read of the journal or a step of the target failed
};

// Reads the journal open at `journal` in `files` from its start. A journal shorter than
// its magic holds no record yet (its session had not touched the set). With
// `honourCommit`, a journal whose session committed is left alone
// (kCommitted); without, it is replayed all the same (a writer that failed
// after writing its commit record takes its session back itself).
ReplayResult ReplayJournal(FileSystem& files, FileHandle journal, JournalTarget& target, bool honourCommit);

}  // namespace kro

#endif
