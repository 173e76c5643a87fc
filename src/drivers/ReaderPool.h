// The idle readers of one import object: when an enumerator the import
// object gave out (through its sources) is destroyed, its reader is parked
// here instead of closing the set, and the next enumerator of the same file
// name and open mode resumes it (CGafReader::Park and Resume), which spares
// the open and keeps the index blocks already read.
//
// The import object, its sources and their enumerators each hold a
// reference, so the pool lives as long as the last of them; it then closes
// the readers it still keeps. It keeps at most kCapacity readers, the most
// recently parked, and closes the oldest to make room. Parked readers hold
// no lock, so an idle import object never keeps a writer out.
#ifndef KRO_DRIVERS_READERPOOL_H
#define KRO_DRIVERS_READERPOOL_H

#include <array>
#include <atomic>
#include <memory>
#include <mutex>

#include "KroGafExportImport/KroGafExportImport.h"
#include "com/ComPtr.h"
#include "engine/fileaccess/Env.h"

namespace kro {

class CGafReader;

class ReaderPool {
 public:
  static constexpr size_t kCapacity = 2;

  // A new pool holding one reference, or empty when memory runs out. Its
  // readers, and those of the enumerators that share it, work in `env`.
  static ComPtr<ReaderPool> Create(Env& env);

  ULONG AddRef();
  ULONG Release();

  // A parked reader of `fileName` in `openMode`, resumed and open, or null
  // when none is kept or the one kept cannot resume (it is closed then).
  std::unique_ptr<CGafReader> Take(const char* fileName, EKroGafOpenFlags openMode);
  // Parks `reader` and keeps it for `openMode`; a reader that cannot be
  // parked is closed.
  void Give(std::unique_ptr<CGafReader> reader, EKroGafOpenFlags openMode);
  // How many readers are kept.
  size_t IdleCount() const;
  Env& Environment() const { return env_; }

 private:
  struct Slot {
    std::unique_ptr<CGafReader> reader;
    EKroGafOpenFlags openMode = kGafUnknownStatus;
  };

  explicit ReaderPool(Env& env);
  ~ReaderPool();

  Env& env_;
  std::atomic<ULONG> references_{0};
  mutable std::mutex mutex_;
  // Most recently parked first; empty slots last.
  std::array<Slot, kCapacity> slots_;
};

}  // namespace kro

#endif
