// The file layer of one dataset: its own environment, whose file services
// send names that start with "/vsi" to GDAL's virtual file layer and every
// other name to the disk. Each open or created dataset gets one, and its
// layer's readers and writers work in it, so nothing of the driver is
// installed for the whole process; only the locks of virtual files are
// shared by all opens, as the disk's locks are (GafVirtualFileLocks).
#ifndef KRO_GDAL_GAFOPENFILES_H
#define KRO_GDAL_GAFOPENFILES_H

#include <memory>

#include "GafFileRouter.h"
#include "GafVirtualFileSystem.h"
#include "engine/fileaccess/Env.h"

namespace kro {

class GafOpenFiles {
 public:
  // Over the files given to SetFilesOfNewOpens, else over a router of its
  // own; null when memory runs out.
  static std::shared_ptr<GafOpenFiles> Make();

  // Over `files`, which must send "/vsi" names to a virtual file layer
  // itself; null: over a router of its own.
  explicit GafOpenFiles(FileSystem* files)
      : router_(virtualFiles_, OperatingSystemFiles()), env_(files != nullptr ? *files : router_) {}
  GafOpenFiles(const GafOpenFiles&) = delete;
  GafOpenFiles& operator=(const GafOpenFiles&) = delete;

  Env& Environment() { return env_; }

 private:
  GafVirtualFileSystem virtualFiles_;
  GafFileRouter router_;
  Env env_;
};

// What the datasets opened from now on work over instead of a router of
// their own: a test's layer that fails chosen calls in front of a router.
// A dataset keeps the files it was opened with, so a change never reaches
// an open dataset. Returns the previous files; nullptr restores the
// routers.
FileSystem* SetFilesOfNewOpens(FileSystem* files);

}  // namespace kro

#endif
