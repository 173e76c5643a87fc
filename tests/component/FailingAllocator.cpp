#include "FailingAllocator.h"

#include <cstdlib>
#include <new>

namespace {

// Allocations left before the one that fails; 0 when unarmed.
int g_countdown = 0;
bool g_injected = false;

bool ShouldFail() {
  if (g_countdown == 0) return false;
  if (--g_countdown != 0) return false;
  g_injected = true;
  return true;
}

void* Allocate(std::size_t size) { return ShouldFail() ? nullptr : std::malloc(size != 0 ? size : 1); }

void* AllocateOrThrow(std::size_t size) {
  void* block = Allocate(size);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

}  // namespace

namespace kro {

ScopedAllocationFailure::ScopedAllocationFailure(int nth) {
  g_injected = false;
  g_countdown = nth;
}

ScopedAllocationFailure::~ScopedAllocationFailure() { g_countdown = 0; }

bool ScopedAllocationFailure::Injected() const { return g_injected; }

}  // namespace kro

void* operator new(std::size_t size) { return AllocateOrThrow(size); }
void* operator new[](std::size_t size) { return AllocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
