// The operating-system file services behind the file access layer. The
// engine reaches them only through CGafRawFile, over the environment each of
// its objects is handed (engine/fileaccess/Env.h); tests hand objects an
// environment whose file services fail chosen calls.
#ifndef KRO_PLATFORM_FILESYSTEM_H
#define KRO_PLATFORM_FILESYSTEM_H

#include <cstdint>

#include "platform/FileIdentity.h"

namespace kro {

using FileHandle = int;
constexpr FileHandle kInvalidFileHandle = -1;

// Largest offset a file may reach: seeks take a signed 32-bit distance, so
// nothing beyond this can be addressed again.
constexpr uint32_t kMaxFileOffset = 0x7FFFFFFFu;

// Open flag word.
constexpr uint32_t kOpenReadOnly = 1;
constexpr uint32_t kOpenReadWrite = 2;
constexpr uint32_t kOpenCreateNew = 4;       // with 2: fails when the file exists
constexpr uint32_t kOpenCreateTruncate = 8;  // with 2: creates, or empties an existing file
constexpr uint32_t kOpenCreateAlways = 16;   // with 2: opens, creating a missing file

enum class SeekOrigin { kBegin = 0, kCurrent = 1, kEnd = 2 };

// Capacity of every file name buffer of the engine, terminator included.
constexpr uint32_t kMaxPathBytes = 260;

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  virtual bool Open(const char* fileName, uint32_t flagWord, FileHandle& handle) = 0;
  virtual bool Close(FileHandle handle) = 0;
  virtual bool Exists(const char* fileName) = 0;
  virtual bool Read(FileHandle handle, void* buffer, uint32_t count) = 0;
  virtual bool Write(FileHandle handle, const void* buffer, uint32_t count) = 0;
  virtual bool Seek(FileHandle handle, int32_t distance, SeekOrigin origin) = 0;
  virtual bool Tell(FileHandle handle, uint32_t& position) = 0;
  virtual bool Size(FileHandle handle, uint32_t& size) = 0;
  virtual bool Truncate(FileHandle handle, uint32_t size) = 0;
  // Forces what was written through `handle` to the disk.
  virtual bool Sync(FileHandle handle) = 0;
  // Forces the directory that holds `fileName` to the disk, so that files
  // created in it or deleted from it stay so after a power loss.
  virtual bool SyncDirectory(const char* fileName) = 0;
  // Creates an empty, uniquely named file in the temporary directory and puts
  // its name into `name` (kMaxPathBytes bytes).
  virtual bool TempFileName(char* name) = 0;
  virtual bool Replace(const char* source, const char* target) = 0;
  virtual bool Delete(const char* fileName) = 0;

  // What lets a reader keep a set's files open while it does not use them
  // (a parked reader): the lock dropped and taken back, and what tells that
  // the files did not change in between. A layer that cannot do these
  // answers false, the default, and readers are then never kept.
  //
  // Lets go of the lock an open took on `handle`; the handle stays open.
  virtual bool Unlock(FileHandle /*handle*/) { return false; }
  // Takes a shared lock on `handle` again without waiting; false when a
  // writer holds the file.
  virtual bool LockShared(FileHandle /*handle*/) { return false; }
  // The identity of the open file behind `handle`.
  virtual bool IdentityOf(FileHandle /*handle*/, FileIdentity& /*identity*/) { return false; }
  // The identity of the file `fileName` names now.
  virtual bool IdentityAt(const char* /*fileName*/, FileIdentity& /*identity*/) { return false; }
  // The clock that stamps file times, read now, with its resolution.
  virtual bool ReadStampClock(StampClockReading& /*reading*/) { return false; }
};

// The real file system: POSIX calls, writers exclusive and readers shared
// through advisory whole-file locks.
FileSystem& OperatingSystemFiles();

}  // namespace kro

#endif
