#include "com/ModuleLock.h"

#include <atomic>

namespace kro {
namespace {

// Constant-initialised, so it is valid before any static constructor runs.
std::atomic<LONG> g_moduleLocks{0};

}  // namespace

LONG LockModule() { return g_moduleLocks.fetch_add(1, std::memory_order_acq_rel) + 1; }

LONG UnlockModule() { return g_moduleLocks.fetch_sub(1, std::memory_order_acq_rel) - 1; }

LONG ModuleLockCount() { return g_moduleLocks.load(std::memory_order_acquire); }

}  // namespace kro
