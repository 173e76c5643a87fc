// This test program replaces the global operator new so that a test can make
// one chosen allocation fail, as if memory had run out. Unarmed, the
// replacement behaves like the standard one.
#ifndef KRO_TESTS_COMPONENT_FAILINGALLOCATOR_H
#define KRO_TESTS_COMPONENT_FAILINGALLOCATOR_H

namespace kro {

// Makes the `nth` allocation from now on fail (1: the next one) while it
// lives; only that one fails. Do not run assertions while it is armed: they
// allocate too.
class ScopedAllocationFailure {
 public:
  explicit ScopedAllocationFailure(int nth);
  ~ScopedAllocationFailure();
  ScopedAllocationFailure(const ScopedAllocationFailure&) = delete;
  ScopedAllocationFailure& operator=(const ScopedAllocationFailure&) = delete;

  // Whether the chosen allocation was reached (and so failed).
  bool Injected() const;
};

}  // namespace kro

#endif
