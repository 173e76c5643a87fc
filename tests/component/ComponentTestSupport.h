// Helpers shared by the component object suites.
#ifndef KRO_TESTS_COMPONENT_COMPONENTTESTSUPPORT_H
#define KRO_TESTS_COMPONENT_COMPONENTTESTSUPPORT_H

#include <gtest/gtest.h>

#include <string>

#include "com/ModuleLock.h"
#include "com/ScopedBstr.h"
#include "platform/CodePage.h"

namespace kro {

// A new BSTR holding `utf8`.
inline ScopedBstr Wide(const std::string& utf8) { return ScopedBstr(MultiByteToBstr(utf8.c_str())); }

// `text` back as UTF-8, or "<null>" for a null string.
inline std::string Utf8(BSTR text) { return text == nullptr ? "<null>" : BstrToMultiByte(text); }

// `count` copies of `piece`.
inline std::string Repeat(const std::string& piece, size_t count) {
  std::string out;
  for (size_t i = 0; i < count; ++i) out += piece;
  return out;
}

// Every test of the component suites must release every object it made: the
// module lock count ends where it started.
class ComponentTest : public ::testing::Test {
 protected:
  void SetUp() override { locksAtStart_ = ModuleLockCount(); }
  void TearDown() override { EXPECT_EQ(ModuleLockCount(), locksAtStart_) << "an object was not released"; }

 private:
  LONG locksAtStart_ = 0;
};

}  // namespace kro

#endif
