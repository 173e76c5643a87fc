// Writers that die, fill the disk or meet failing calls part-way. An append
// either completes and says so, or the set comes back byte for byte as it
// was; a set being created is complete, absent or refused, never read as if
// it were whole.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <thread>

#include "fileset/CGafReader.h"
#include "fileset/SetIntegrity.h"
#include "support/FaultInjectingFileSystem.h"

namespace kro::test {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr int kKills = 12;
#else
constexpr int kKills = 60;
#endif
constexpr int kBase = 1000;
constexpr int kAppended = 4000;

using Clock = std::chrono::steady_clock;

struct ChildEnd {
  bool exited = false;  // ran to its end rather than being killed
  int code = -1;
};

// Runs `work` in a child process and kills it after `delay` unless it has
// ended by then.
ChildEnd RunChild(const std::function<int()>& work, std::chrono::microseconds delay) {
  const pid_t pid = fork();
  if (pid == 0) _exit(work());
  if (delay.count() >= 0) {
    std::this_thread::sleep_for(delay);
    kill(pid, SIGKILL);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return {WIFEXITED(status), WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

int ExitCodeOf(EKroErrCode result) { return result == eKroOk ? 0 : 1; }

class CrashSafetyTest : public ::testing::Test {
 protected:
  std::string Stem() const { return dir_.File("set"); }
  void MakeBase(int count = kBase) {
    ASSERT_EQ(eKroOk, WriteRun(Stem(), kGafCreateNew, 0, count));
    base_ = TakeSnapshot(Stem());
    baseCount_ = count;
  }
  std::function<int()> Append(int count) const {
    return [this, count] { return ExitCodeOf(WriteRun(Stem(), kGafOpenAppend, baseCount_, count)); };
  }
  std::function<int()> Create(int count) const {
    return [this, count] { return ExitCodeOf(WriteRun(Stem(), kGafCreateNew, 0, count)); };
  }
  // How long `work` takes when nobody stops it.
  std::chrono::microseconds TimeOf(const std::function<int()>& work) const {
    const auto start = Clock::now();
    EXPECT_TRUE(RunChild(work, std::chrono::microseconds(-1)).exited);
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
  }
  // After a writer that appended `appended` objects ended somehow: the set is
  // byte for byte the base once reopened, or holds every object.
  void ExpectBaseOrAll(int appended, bool& rolledBack) {
    const int count = OpenCount(Stem());
    rolledBack = count == baseCount_;
    if (rolledBack) {
      EXPECT_TRUE(TakeSnapshot(Stem()) == base_) << "rolled back, but not byte for byte";
      EXPECT_FALSE(FileExists(JournalOf(Stem())));
    } else {
      EXPECT_EQ(baseCount_ + appended, count);
    }
    EXPECT_EQ("", CheckSetHolds(Stem(), count));
  }

  TempDir dir_;
  SetSnapshot base_;
  int baseCount_ = 0;
};

TEST_F(CrashSafetyTest, AnAppendKilledAtAnyMomentLeavesTheSetAsItWasOrComplete) {
  MakeBase();
  const auto append = Append(kAppended);
  const auto span = TimeOf(append);
  std::mt19937 random(9);
  int rolledBackCount = 0;
  for (int trial = 0; trial < kKills; ++trial) {
    RestoreSnapshot(Stem(), base_);
    std::uniform_int_distribution<int64_t> delay(0, span.count() * 11 / 10);
    RunChild(append, std::chrono::microseconds(delay(random)));
    bool rolledBack = false;
    ExpectBaseOrAll(kAppended, rolledBack);
    rolledBackCount += rolledBack ? 1 : 0;
    if (HasFailure()) FAIL() << "trial " << trial;
  }
  EXPECT_GT(rolledBackCount, kKills / 4) << "the kills came too late to test anything";
}

TEST_F(CrashSafetyTest, ACreateKilledAtAnyMomentLeavesNoSetThatClaimsObjectsItLacks) {
  const auto create = Create(kAppended);
  const auto span = TimeOf(create);
  std::mt19937 random(17);
  int refused = 0;
  for (int trial = 0; trial < kKills; ++trial) {
    RestoreSnapshot(Stem(), SetSnapshot{});
    std::uniform_int_distribution<int64_t> delay(0, span.count() * 11 / 10);
    RunChild(create, std::chrono::microseconds(delay(random)));
    if (!FileExists(Stem() + ".gaf")) continue;
    const int count = OpenCount(Stem());
    if (count < 0) {
      ++refused;
      continue;
    }
    // Whatever opens must deliver exactly what it claims.
    EXPECT_EQ("", CheckSetHolds(Stem(), count)) << "trial " << trial;
    EXPECT_TRUE(count == 0 || count == kAppended) << count;
    if (HasFailure()) FAIL() << "trial " << trial;
  }
  EXPECT_GT(refused, 0) << "the kills came too late to test anything";
}

// A file-size limit stands for a full disk: the first write past it fails
// (SIGXFSZ ignored), journal writes included.
TEST_F(CrashSafetyTest, AFullDiskFailsTheWriteAndLeavesTheSetAsItWas) {
  MakeBase();
  const uint64_t start = base_.files[0].size();
  ASSERT_TRUE(RunChild(Append(kAppended), std::chrono::microseconds(-1)).exited);
  const uint64_t end = TakeSnapshot(Stem()).files[0].size();
  int failures = 0;
  for (int step = 0; step <= 24; ++step) {
    RestoreSnapshot(Stem(), base_);
    const rlim_t limit = start - 1 + (end - start) * step / 24;
    const ChildEnd child = RunChild(
        [this, limit] {
          signal(SIGXFSZ, SIG_IGN);
          const rlimit fileSize{limit, limit};
          setrlimit(RLIMIT_FSIZE, &fileSize);
          return ExitCodeOf(WriteRun(Stem(), kGafOpenAppend, baseCount_, kAppended));
        },
        std::chrono::microseconds(-1));
    ASSERT_TRUE(child.exited);
    if (child.code != 0) {
      ++failures;
      EXPECT_TRUE(TakeSnapshot(Stem()) == base_) << "limit " << limit << ": a failed append changed the set";
      EXPECT_FALSE(FileExists(JournalOf(Stem())));
    }
    bool rolledBack = false;
    ExpectBaseOrAll(kAppended, rolledBack);
    EXPECT_EQ(child.code != 0, rolledBack) << "limit " << limit << ": the answer does not match the set";
    if (HasFailure()) FAIL() << "limit " << limit;
  }
  EXPECT_GE(failures, 20);
}

TEST_F(CrashSafetyTest, AFullDiskFailsACreateAndLeavesNoSet) {
  for (rlim_t limit : {rlim_t{0}, rlim_t{40}, rlim_t{600}, rlim_t{5000}, rlim_t{60000}, rlim_t{400000}}) {
    RestoreSnapshot(Stem(), SetSnapshot{});
    const ChildEnd child = RunChild(
        [this, limit] {
          signal(SIGXFSZ, SIG_IGN);
          const rlimit fileSize{limit, limit};
          setrlimit(RLIMIT_FSIZE, &fileSize);
          return ExitCodeOf(WriteRun(Stem(), kGafCreateNew, 0, kAppended));
        },
        std::chrono::microseconds(-1));
    ASSERT_TRUE(child.exited);
    EXPECT_EQ(1, child.code) << "limit " << limit;
    for (const char* extension : {".gaf", ".sif", ".kif", ".gaf-journal"}) {
      EXPECT_FALSE(FileExists(Stem() + extension)) << "limit " << limit << " left " << extension;
    }
  }
}

TEST_F(CrashSafetyTest, AJournalThatCannotBeRolledBackKeepsEveryOpenOut) {
  MakeBase(20);
  WriteFileBytes(JournalOf(Stem()), Bytes{'n', 'o', 't', ' ', 'o', 'u', 'r', 's', 0, 0, 0});
  CGafReader reader;
  EXPECT_EQ(eKroUnableToOpen, reader.OpenForRead((Stem() + ".gaf").c_str(), kGafReadOnly));
  EXPECT_EQ(eGafJournalError, reader.LastStatus());
  CGafWriter writer;
  EXPECT_EQ(eKroUnableToOpen, writer.Open((Stem() + ".gaf").c_str(), kGafOpenAppend, 0));
  EXPECT_EQ(eGafJournalError, writer.LastStatus());
  EXPECT_EQ(Stem() + ".gaf-journal", writer.LastError().file);
  EXPECT_TRUE(TakeSnapshot(Stem()) == base_);
  std::remove(JournalOf(Stem()).c_str());
  EXPECT_EQ("", CheckSetHolds(Stem(), 20));
}

struct FaultCase {
  FileOp op;
  bool sticky;
};

std::string FaultName(const ::testing::TestParamInfo<FaultCase>& info) {
  static const char* const names[] = {"Open", "Close", "Exists", "Read", "Write", "Seek", "Tell", "Size",
                                      "Truncate", "TempName", "Replace", "Delete", "Sync", "SyncDirectory", "AnyIo"};
  return std::string(names[static_cast<int>(info.param.op)]) + (info.param.sticky ? "Dead" : "Once");
}

class WriteFaultTest : public CrashSafetyTest, public ::testing::WithParamInterface<FaultCase> {};

// Every k-th call of one kind fails, once or for good (a dead disk: then even
// the rollback fails, and the next open rolls the set back).
TEST_P(WriteFaultTest, EveryFailedCallEndsInACompleteSetOrTheOldOne) {
  MakeBase(150);
  constexpr int kObjects = 120;
  bool completed = false;
  for (uint64_t k = 1; !completed && k < 100000; k += 1 + k / 6) {
    RestoreSnapshot(Stem(), base_);
    FaultInjectingFileSystem files;
    EKroErrCode result = eKroUnknownErr;
    {
      ScopedFileSystem installed(files);
      files.FailNth(GetParam().op, k, GetParam().sticky);
      result = WriteRun(Stem(), kGafOpenAppend, baseCount_, kObjects);
    }
    completed = files.Injected() == 0;
    if (result != eKroOk) {
      EXPECT_EQ(baseCount_, OpenCount(Stem())) << "call " << k;
      EXPECT_TRUE(TakeSnapshot(Stem()) == base_) << "call " << k << ": a failed append changed the set";
    }
    EXPECT_EQ("", CheckSetHolds(Stem(), result == eKroOk ? baseCount_ + kObjects : baseCount_)) << "call " << k;
    if (HasFailure()) FAIL() << "call " << k;
  }
  EXPECT_TRUE(completed);
}

TEST_P(WriteFaultTest, EveryFailedCallEndsInACompleteNewSetOrNone) {
  constexpr int kObjects = 120;
  bool completed = false;
  for (uint64_t k = 1; !completed && k < 100000; k += 1 + k / 6) {
    RestoreSnapshot(Stem(), SetSnapshot{});
    FaultInjectingFileSystem files;
    EKroErrCode result = eKroUnknownErr;
    {
      ScopedFileSystem installed(files);
      files.FailNth(GetParam().op, k, GetParam().sticky);
      result = WriteRun(Stem(), kGafCreateNew, 0, kObjects);
    }
    completed = files.Injected() == 0;
    if (result == eKroOk) {
      EXPECT_EQ("", CheckSetHolds(Stem(), kObjects)) << "call " << k;
    } else {
      EXPECT_FALSE(FileExists(Stem() + ".gaf")) << "call " << k << ": a failed create left its data file";
    }
    if (HasFailure()) FAIL() << "call " << k;
  }
  EXPECT_TRUE(completed);
}

INSTANTIATE_TEST_SUITE_P(
    Calls, WriteFaultTest,
    ::testing::Values(FaultCase{FileOp::kWrite, false}, FaultCase{FileOp::kWrite, true},
                      FaultCase{FileOp::kRead, false}, FaultCase{FileOp::kSeek, true},
                      FaultCase{FileOp::kTell, false}, FaultCase{FileOp::kSize, false},
                      FaultCase{FileOp::kTruncate, true}, FaultCase{FileOp::kSync, false},
                      FaultCase{FileOp::kSync, true}, FaultCase{FileOp::kSyncDirectory, false},
                      FaultCase{FileOp::kOpen, false}, FaultCase{FileOp::kExists, false},
                      FaultCase{FileOp::kDelete, false}, FaultCase{FileOp::kDelete, true},
                      FaultCase{FileOp::kAnyIo, false}, FaultCase{FileOp::kAnyIo, true}),
    FaultName);

}  // namespace
}  // namespace kro::test
