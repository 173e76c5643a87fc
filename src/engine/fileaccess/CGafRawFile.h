// The file access layer shared by the data file and both index files: exact
// reads and writes, seeks, size, truncation, temporary names, an existence
// test and replace-by-move, over one environment's file services. It knows
// no formats and reports only success or failure; every caller maps a
// failure to its own status word. It holds nothing but its environment, so
// copies are cheap and every object keeps its own.
//
// While a write session of the environment holds a file set (WriteSession),
// opens, writes, truncations and closes of the set's files go through that
// session.
#ifndef KRO_ENGINE_FILEACCESS_CGAFRAWFILE_H
#define KRO_ENGINE_FILEACCESS_CGAFRAWFILE_H

#include <cstdint>

#include "engine/fileaccess/Env.h"
#include "platform/FileSystem.h"

namespace kro {

class CGafRawFile {
 public:
  explicit CGafRawFile(Env& env = Env::Default()) : env_(&env) {}

  // Sets `handle` to invalid first. Flag word: 1 read only (wins), 2 read and
  // write on an existing file, 2+4 create new, 2+8 create or truncate, 2+16
  // open or create.
  bool Open(const char* fileName, uint32_t flagWord, FileHandle& handle) const;
  // False, without a platform call, for an invalid handle.
  bool Close(FileHandle handle) const;
  bool Exists(const char* fileName) const;
  // True only when exactly `count` bytes were read or written.
  bool Read(FileHandle handle, void* buffer, uint32_t count) const;
  bool Write(FileHandle handle, const void* buffer, uint32_t count) const;
  bool Seek(FileHandle handle, int32_t distance, SeekOrigin origin) const;
  bool Tell(FileHandle handle, uint32_t& position) const;
  bool Size(FileHandle handle, uint32_t& size) const;
  bool Truncate(FileHandle handle, uint32_t size) const;
  bool Sync(FileHandle handle) const;
  // `name` must hold kMaxPathBytes bytes; the empty file is created.
  bool TempFileName(char* name) const;
  bool Replace(const char* source, const char* target) const;
  bool Delete(const char* fileName) const;

  // For readers that keep their files open between uses (FileSystem.h):
  // false wherever the environment's file services cannot do it.
  bool Unlock(FileHandle handle) const;
  bool LockShared(FileHandle handle) const;
  bool IdentityOf(FileHandle handle, FileIdentity& identity) const;
  bool IdentityAt(const char* fileName, FileIdentity& identity) const;
  bool ReadStampClock(StampClockReading& reading) const;

  Env& Environment() const { return *env_; }
  // The file services themselves, past any write session.
  FileSystem& Files() const { return env_->Files(); }

 private:
  Env* env_;
};

}  // namespace kro

#endif
