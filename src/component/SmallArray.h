// A fixed-length array of trivially copyable values that keeps up to N of
// them inside the object and only larger contents on the heap. A geometry
// read from a file (a point, a short line, its single set count) then costs
// no allocation beyond the object itself.
//
// Invariant: heap_ holds the values exactly when size_ > N; otherwise they
// are inline_[0 .. size_-1].
#ifndef KRO_COMPONENT_SMALLARRAY_H
#define KRO_COMPONENT_SMALLARRAY_H

#include <algorithm>
#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>

namespace kro {

template <typename T, size_t N>
class SmallArray {
  static_assert(std::is_trivially_copyable_v<T>, "values are copied as bytes");

 public:
  SmallArray() = default;
  SmallArray(const SmallArray&) = delete;
  SmallArray& operator=(const SmallArray&) = delete;

  // Replacing the contents takes two steps, so that a caller can replace two
  // arrays together or neither: Room gets the heap block that `count` values
  // need (none when they fit inline; false when it cannot be had), and Fill,
  // which cannot fail, puts the values in.
  static bool Room(size_t count, std::unique_ptr<T[]>& block) {
    block.reset(count > N ? new (std::nothrow) T[count] : nullptr);
    return count <= N || block != nullptr;
  }
  // REQUIRES: `block` came from Room(count).
  void Fill(std::unique_ptr<T[]> block, const T* values, size_t count) {
    std::copy_n(values, count, block != nullptr ? block.get() : inline_);
    heap_ = std::move(block);
    size_ = count;
  }

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const T* data() const { return heap_ != nullptr ? heap_.get() : inline_; }
  const T& operator[](size_t index) const { return data()[index]; }

 private:
  size_t size_ = 0;
  T inline_[N];  // only the first size_ values are ever read
  std::unique_ptr<T[]> heap_;
};

}  // namespace kro

#endif
