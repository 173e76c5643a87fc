// A file layer for tests that tells what was written from what was made
// durable, and can lose the power: what was written but not synced is then
// gone. At the chosen moment it works out what the machine would find on
// the disk when it starts again, and a test puts that on the disk and opens
// the set.
//
// The rules of the disk:
//  - a file's bytes, and its length, are those of its last sync; a write or
//    a truncation since then is lost;
//  - a name made, removed or moved since the last sync of its directory is
//    back as it was then (a file created since is gone, a removed one is
//    back with the bytes of its last sync, a move is undone);
//  - a file that was there before the layer first saw it counts as durable.
// Every sync (of a file or of a directory) is numbered from 1. The power can
// go just before the k-th sync takes effect or just after it; between two
// syncs the disk is the same as just after the first of them. A switch makes
// the k-th sync do nothing while it answers success, so that a test can show
// that it catches the sync left out.
#ifndef KRO_TESTS_SUPPORT_POWERLOSSFILESYSTEM_H
#define KRO_TESTS_SUPPORT_POWERLOSSFILESYSTEM_H

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/FaultInjectingFileSystem.h"
#include "support/TempDir.h"

namespace kro::test {

class PowerLossFileSystem : public FaultInjectingFileSystem {
 public:
  // Syncs are modelled, not made: the disk below is never asked to sync.
  PowerLossFileSystem();

  enum class Moment { kBeforeSync, kAfterSync };
  // For each name the layer touched: its bytes, or nullopt for no file.
  using DiskImage = std::map<std::string, std::optional<Bytes>>;

  // The power goes at the k-th sync (k >= 1), before or after it takes effect.
  void LosePowerAt(uint64_t k, Moment moment);
  // The power goes now (once a path has returned), unless it went already.
  void LosePowerNow() {
    if (!lost_) NoteDisk();
  }
  // The k-th sync does nothing and answers success; 0 leaves every sync in.
  void OmitSync(uint64_t k) { omitted_ = k; }
  uint64_t SyncCount() const { return syncs_; }
  // What each sync so far was of: "file <name>" or "directory <name>".
  const std::vector<std::string>& SyncsMade() const { return syncsMade_; }
  bool PowerLost() const { return lost_; }
  // The disk after the power loss; the disk as a killed process would have
  // left it at that moment (every write kept). REQUIRES: PowerLost().
  const DiskImage& AfterPowerLoss() const { return afterLoss_; }
  const DiskImage& AfterKill() const { return afterKill_; }
  // The disk after the power loss had the system written back every file
  // but `losing` before it went: the others as a kill leaves them.
  DiskImage AfterLossOf(const std::string& losing) const;
  // The machine starts again: every name of `image` gets its bytes or goes.
  static void PutOnDisk(const DiskImage& image);

  bool Open(const char* fileName, uint32_t flagWord, FileHandle& handle) override;
  bool Close(FileHandle handle) override;
  bool Sync(FileHandle handle) override;
  bool SyncDirectory(const char* fileName) override;
  bool TempFileName(char* name) override;
  bool Replace(const char* source, const char* target) override;
  bool Delete(const char* fileName) override;

 private:
  // One file, whatever its name: the bytes of its last sync.
  struct Node {
    Bytes synced;
  };

  // Takes a file the layer has not seen yet, as durable as it stands.
  void Track(const std::string& name);
  int NewNode(Bytes synced);
  std::optional<std::string> NameOf(int node) const;
  // Counts a sync; runs `effect` unless the sync is left out, and notes the
  // disk when the power goes around it.
  bool CountedSync(const std::string& what, const std::function<bool()>& effect);
  void NoteDisk();
  std::vector<std::string> KnownNames() const;

  std::vector<Node> nodes_;
  std::map<std::string, int> live_;     // names as they are now
  std::map<std::string, int> durable_;  // names as the last directory syncs left them
  std::map<FileHandle, int> handles_;
  uint64_t syncs_ = 0;
  std::vector<std::string> syncsMade_;
  uint64_t omitted_ = 0;
  uint64_t lossAt_ = 0;
  Moment lossMoment_ = Moment::kAfterSync;
  bool lost_ = false;
  DiskImage afterLoss_;
  DiskImage afterKill_;
};

}  // namespace kro::test

#endif
