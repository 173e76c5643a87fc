#include "GafOpenFiles.h"

#include <atomic>
#include <new>

namespace kro {
namespace {

std::atomic<FileSystem*> g_filesOfNewOpens{nullptr};

}  // namespace

std::shared_ptr<GafOpenFiles> GafOpenFiles::Make() {
  return std::shared_ptr<GafOpenFiles>(new (std::nothrow)
                                           GafOpenFiles(g_filesOfNewOpens.load(std::memory_order_acquire)));
}

FileSystem* SetFilesOfNewOpens(FileSystem* files) {
  return g_filesOfNewOpens.exchange(files, std::memory_order_acq_rel);
}

}  // namespace kro
