// How many file descriptors the process has open, to show that what a test
// opened was closed again.
#ifndef KRO_TESTS_SUPPORT_DESCRIPTORCOUNT_H
#define KRO_TESTS_SUPPORT_DESCRIPTORCOUNT_H

#include <cstddef>

namespace kro::test {

// The entries of /proc/self/fd, not counting the one used to list them.
size_t OpenDescriptorCount();

}  // namespace kro::test

#endif
