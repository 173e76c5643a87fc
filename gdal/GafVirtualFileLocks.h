// The locks of files on GDAL's virtual file systems. Those systems have no
// locks of their own, so the driver keeps them inside the process, by name,
// with the rules the operating system's files follow: a writer excludes
// everybody, readers exclude only writers, and nobody waits. For /vsimem/,
// whose files live in this process only, that is the whole truth; a file on
// a remote system can still be written by somebody else.
#ifndef KRO_GDAL_GAFVIRTUALFILELOCKS_H
#define KRO_GDAL_GAFVIRTUALFILELOCKS_H

#include <map>
#include <mutex>
#include <string>

namespace kro {

class GafVirtualFileLocks {
 public:
  // The locks every open of the process shares, as the disk's are shared.
  static GafVirtualFileLocks& OfProcess();

  // False when the lock cannot be had now.
  bool Take(const std::string& name, bool exclusive);
  // REQUIRES: `exclusive` as it was taken.
  void Release(const std::string& name, bool exclusive);

 private:
  struct Holders {
    int readers = 0;
    bool writer = false;
  };
  std::mutex mutex_;
  std::map<std::string, Holders> held_;
};

}  // namespace kro

#endif
