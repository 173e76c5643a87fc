// Where the commands' outputs go. An output never replaces one of the source
// set's own files, nor any other existing file unless the user said --force,
// and it appears under its name only once it is complete: it is written under
// a fixed temporary name beside its target and renamed into place when whole.
// The temporary names are fixed so that the next run of a command that was
// killed part-way knows what it left and removes it; a name a user might
// choose ends in ".gaftool-partial" only by accident.
#ifndef KRO_GAFTOOL_OUTPUTFILES_H
#define KRO_GAFTOOL_OUTPUTFILES_H

#include <string>
#include <vector>

#include "InspectionNames.h"

namespace gaftool {

// "<target>.gaftool-partial": where an output file is written until it is whole.
std::string PartialFileName(const std::string& target);

// Whether `path` names one of the files of `set` (data file, indexes,
// journal): the same file when both exist, else the same name.
bool IsFileOfSet(const std::string& path, const SetPaths& set);

// kExitOk when `target` may be written; kExitUsage, with the reason printed,
// when it is a file of `source`, exists as anything but a regular file, or
// exists and `force` is not set.
int CheckTarget(const std::string& target, const SetPaths& source, bool force);

// Moves the complete `partial` over `target`. False, with why printed and
// `partial` removed, when the move failed; `target` is then as it was.
bool PutInPlace(const std::string& partial, const std::string& target);

// Removes `file` when it exists and says so; for leftovers of an earlier run
// of the same command that was killed before it finished.
void RemoveLeftover(const std::string& file);

// The set a new set at `target` is written as until it is whole:
// "<stem>.gaftool-partial.gaf" and its companions.
SetPaths PartialSet(const SetPaths& target);

// Every file a write of `set` may leave: its three files, its journal and
// the temporaries its index rebuilds write.
std::vector<std::string> FilesOfWrite(const SetPaths& set);

// Removes what an earlier, killed run left of the partial set `partial`.
void RemoveLeftoverSet(const SetPaths& partial);

// Moves the complete set `partial` over `target`: the indexes first, the
// data file last, so that the set stands under its name only once its
// indexes do. A key index of `target` that the new set has none of goes. A
// run killed between the moves leaves `partial`'s data file; the next run
// then removes it and writes the set anew. False, with why printed, when a
// move failed.
bool PutSetInPlace(const SetPaths& partial, const SetPaths& target, bool withKeyIndex);

// While it lives, the engine's temporary files go to a folder of fixed name
// beside `target` ("<target>.gaftool-partial/"; TMPDIR points there), so a
// copy the engine makes of `target` lies on its file system and reaches it
// by a rename. Making it first removes what a killed run left in it; it goes
// with everything in it when the object goes. If it cannot be made, TMPDIR
// stays as it was.
class TemporaryFolderBeside {
 public:
  explicit TemporaryFolderBeside(const std::string& target);
  ~TemporaryFolderBeside();
  TemporaryFolderBeside(const TemporaryFolderBeside&) = delete;
  TemporaryFolderBeside& operator=(const TemporaryFolderBeside&) = delete;

 private:
  std::string folder_;
  bool made_ = false;
  bool hadPrevious_ = false;
  std::string previous_;
};

}  // namespace gaftool

#endif
