#include "GafVirtualFileLocks.h"

namespace kro {

GafVirtualFileLocks& GafVirtualFileLocks::OfProcess() {
  // Never destroyed: files closed by objects destroyed at exit still find it.
  static GafVirtualFileLocks* const locks = new GafVirtualFileLocks();
  return *locks;
}

bool GafVirtualFileLocks::Take(const std::string& name, bool exclusive) {
  std::lock_guard<std::mutex> lock(mutex_);
  Holders& holders = held_[name];
  // An entry made here is empty and therefore takes the lock below.
  if (holders.writer || (exclusive && holders.readers > 0)) return false;
  if (exclusive) {
    holders.writer = true;
  } else {
    ++holders.readers;
  }
  return true;
}

void GafVirtualFileLocks::Release(const std::string& name, bool exclusive) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = held_.find(name);
  if (found == held_.end()) return;
  Holders& holders = found->second;
  if (exclusive) {
    holders.writer = false;
  } else if (holders.readers > 0) {
    --holders.readers;
  }
  if (holders.readers == 0 && !holders.writer) held_.erase(found);
}

}  // namespace kro
