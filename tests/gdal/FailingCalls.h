// Failing file calls under the driver: an attempt is run again and again,
// each time with the n-th call of one kind failing, that one and every later
// one (as a dead disk would), until an attempt meets no failure. After each
// failed attempt the files work again and a check looks at what was left.
#ifndef KRO_TESTS_GDAL_FAILINGCALLS_H
#define KRO_TESTS_GDAL_FAILINGCALLS_H

#include <gtest/gtest.h>

#include <string>

#include "GafOpenFiles.h"
#include "support/FaultInjectingFileSystem.h"

namespace kro::test {

// Which n are tried: every one, or 1, 2, 3, 5, 8, ... for kinds of calls an
// attempt makes many of.
enum class FailingCallSteps { kEvery, kSpreading };

// The failures are injected in front of a router like the driver's (which
// sends plain names on to the disk), and the datasets an attempt opens work
// over them; datasets opened before or after see none of them.
template <class Attempt, class Check>
void ForEachFailingCall(FileOp op, FailingCallSteps steps, Attempt attempt, Check check) {
  uint64_t previous = 1;
  for (uint64_t n = 1; n < 100000;) {
    SCOPED_TRACE("failing call " + std::to_string(n));
    GafOpenFiles routed(nullptr);
    FaultInjectingFileSystem faults(routed.Environment().Files());
    faults.FailNth(op, n, true);
    FileSystem* const before = SetFilesOfNewOpens(&faults);
    const bool done = attempt();
    SetFilesOfNewOpens(before);
    if (faults.Injected() == 0) {
      EXPECT_TRUE(done);
      return;
    }
    EXPECT_FALSE(done);
    check();
    const uint64_t next = steps == FailingCallSteps::kEvery ? n + 1 : n + previous;
    previous = n;
    n = next;
  }
  ADD_FAILURE() << "every attempt met a failing call";
}

}  // namespace kro::test

#endif
