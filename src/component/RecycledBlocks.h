// Memory for the geometry objects an import hands out, kept per thread for
// reuse. A host reads objects in batches and releases each batch before it
// asks for the next, so the same few hundred blocks of one size come and go
// a million times; the general allocator handles that pattern far slower
// than a stack of blocks kept aside.
//
// Each geometry class has its own stack (Tag), holding up to kKept blocks
// of that class's size per thread; blocks beyond that, and every block of
// another size, go straight back to the general allocator. A thread's stacks
// are given back when it ends. Under AddressSanitizer nothing is kept, so a
// use after release is still caught.
#ifndef KRO_COMPONENT_RECYCLEDBLOCKS_H
#define KRO_COMPONENT_RECYCLEDBLOCKS_H

#include <array>
#include <cstddef>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define KRO_RECYCLE_BLOCKS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KRO_RECYCLE_BLOCKS 0
#endif
#endif
#ifndef KRO_RECYCLE_BLOCKS
#define KRO_RECYCLE_BLOCKS 1
#endif

namespace kro {

template <class Tag>
class RecycledBlocks {
 public:
  static constexpr size_t kKept = 256;

  static void* Take(size_t size) noexcept {
    if (KRO_RECYCLE_BLOCKS) {
      RecycledBlocks& kept = ThisThread();
      if (kept.count_ > 0 && size == kept.size_) return kept.blocks_[--kept.count_];
    }
    return ::operator new(size, std::nothrow);
  }

  static void Give(void* block, size_t size) noexcept {
    if (block == nullptr) return;
    if (KRO_RECYCLE_BLOCKS) {
      RecycledBlocks& kept = ThisThread();
      if (kept.size_ == 0) kept.size_ = size;
      if (size == kept.size_ && kept.count_ < kKept) {
        kept.blocks_[kept.count_++] = block;
        return;
      }
    }
    ::operator delete(block);
  }

  RecycledBlocks(const RecycledBlocks&) = delete;
  RecycledBlocks& operator=(const RecycledBlocks&) = delete;

 private:
  RecycledBlocks() = default;
  ~RecycledBlocks() {
    while (count_ > 0) ::operator delete(blocks_[--count_]);
  }

  static RecycledBlocks& ThisThread() noexcept {
    static thread_local RecycledBlocks kept;
    return kept;
  }

  size_t size_ = 0;  // the one size kept; set by the first block given
  size_t count_ = 0;
  std::array<void*, kKept> blocks_{};
};

}  // namespace kro

#endif
