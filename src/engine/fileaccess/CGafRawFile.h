// The file access layer shared by the data file and both index files: exact
// reads and writes, seeks, size, truncation, temporary names, an existence
// test and replace-by-move. It knows no formats and reports only success or
// failure; every caller maps a failure to its own status word.
//
// While a write session holds a file set (WriteSession), opens, writes,
// truncations and closes of the set's files go through that session.
#ifndef KRO_ENGINE_FILEACCESS_CGAFRAWFILE_H
#define KRO_ENGINE_FILEACCESS_CGAFRAWFILE_H

#include <cstdint>

#include "platform/FileSystem.h"

namespace kro {

class CGafRawFile {
 public:
  // Sets `handle` to invalid first. Flag word: 1 read only (wins), 2 read and
  // write on an existing file, 2+4 create new, 2+8 create or truncate, 2+16
  // open or create.
  static bool Open(const char* fileName, uint32_t flagWord, FileHandle& handle);
  // False, without a platform call, for an invalid handle.
  static bool Close(FileHandle handle);
  static bool Exists(const char* fileName);
  // True only when exactly `count` bytes were read or written.
  static bool Read(FileHandle handle, void* buffer, uint32_t count);
  static bool Write(FileHandle handle, const void* buffer, uint32_t count);
  static bool Seek(FileHandle handle, int32_t distance, SeekOrigin origin);
  static bool Tell(FileHandle handle, uint32_t& position);
  static bool Size(FileHandle handle, uint32_t& size);
  static bool Truncate(FileHandle handle, uint32_t size);
  static bool Sync(FileHandle handle);
  // `name` must hold kMaxPathBytes bytes; the empty file is created.
  static bool TempFileName(char* name);
  static bool Replace(const char* source, const char* target);
  static bool Delete(const char* fileName);

  // For readers that keep their files open between uses (FileSystem.h):
  // false wherever the installed file services cannot do it.
  static bool Unlock(FileHandle handle);
  static bool LockShared(FileHandle handle);
  static bool IdentityOf(FileHandle handle, FileIdentity& identity);
  static bool IdentityAt(const char* fileName, FileIdentity& identity);
  static bool ReadStampClock(StampClockReading& reading);

  // Installs the file services every later call goes to and returns the
  // previous ones. Tests install a fault-injecting layer; nullptr restores
  // the operating system's.
  static FileSystem* SetFileSystem(FileSystem* files);
  static FileSystem& Files();
};

}  // namespace kro

#endif
