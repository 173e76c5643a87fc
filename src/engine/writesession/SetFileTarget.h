// The three files of a set as a journal replay sees them: by number, with the
// handle each is open under (or none) and its name. Writes go straight to
// the file services, past any write session, since putting bytes back must
// not journal them again.
#ifndef KRO_ENGINE_WRITESESSION_SETFILETARGET_H
#define KRO_ENGINE_WRITESESSION_SETFILETARGET_H

#include <array>
#include <string>

#include "engine/writesession/JournalReplay.h"

namespace kro {

using SetFileNames = std::array<std::string, 3>;  // data file, spatial index, key index

// The journal's name for a set whose data file is `dataFileName`.
std::string JournalNameFor(const std::string& dataFileName);

class SetFileTarget final : public JournalTarget {
 public:
  // Handles may be kInvalidFileHandle for files that are not open; the target
  // does not own them.
  SetFileTarget(FileSystem& files, const SetFileNames& names, const std::array<FileHandle, 3>& handles)
      : files_(files), names_(names), handles_(handles) {}

  bool WriteBack(uint8_t file, uint32_t offset, const uint8_t* bytes, uint32_t count) override;
  bool CutTo(uint8_t file, uint32_t length) override;
  // A file that is already gone counts as removed.
  bool Remove(uint8_t file) override;
  // Syncs every open file, data file first.
  bool SyncAll();

 private:
  FileSystem& files_;
  const SetFileNames& names_;
  std::array<FileHandle, 3> handles_;
};

}  // namespace kro

#endif
