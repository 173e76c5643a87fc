// Writers that die, lose the power, fill the disk or meet failing calls
// part-way. An append either completes and says so, or the set comes back
// byte for byte as it was; a set being created is complete, absent or
// refused, never read as if it were whole.
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

#include "engine/datafile/CGafFile.h"
#include "engine/keyindex/CKeyIndex.h"
#include "engine/spatialindex/CSpatialIndex.h"
#include "fileset/CGafReader.h"
#include "fileset/IndexRebuild.h"
#include "fileset/SetIntegrity.h"
#include "support/FaultInjectingFileSystem.h"
#include "support/PowerLossFileSystem.h"

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

// An ordered export of `count` objects over `stem`, with a budget small
// enough to spill runs of records and of keys.
bool WriteOrdered(const std::string& stem, int count, size_t budget, Env& env = Env::Default()) {
  CGafWriter writer(env);
  writer.SetSpatialOrder(GafSpatialOrder::kHilbert);
  writer.SetOrderingBudget(budget);
  if (writer.Open((stem + ".gaf").c_str(), kGafCreateNew, -1) != eKroOk) return false;
  return WriteObjects(writer, 0, count) == eKroOk && writer.Finish() == eKroOk;
}

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

// An ordered export over a set, killed at any moment or stopped by a full
// disk: the next open finds the old set byte for byte or the new one whole,
// and the next export removes the run files the dead one left.
TEST_F(CrashSafetyTest, AnOrderedExportKilledOrOutOfDiskLeavesTheOldSetOrTheNewOne) {
  MakeBase();
  constexpr size_t kBudget = 64 << 10;
  const auto ordered = [this] { return WriteOrdered(Stem(), kAppended, kBudget) ? 0 : 1; };
  const auto span = TimeOf(ordered);
  const SetSnapshot complete = TakeSnapshot(Stem());
  std::mt19937 random(23);
  int kept = 0;
  for (int trial = 0; trial < kKills + 8; ++trial) {
    RestoreSnapshot(Stem(), base_);
    std::uniform_int_distribution<int64_t> delay(0, span.count() * 11 / 10);
    const bool fullDisk = trial >= kKills;
    const rlim_t limit = static_cast<rlim_t>(complete.files[0].size() * (trial - kKills) / 8);
    const ChildEnd child = RunChild(
        [&] {
          if (fullDisk) {
            signal(SIGXFSZ, SIG_IGN);
            const rlimit fileSize{limit, limit};
            setrlimit(RLIMIT_FSIZE, &fileSize);
          }
          return ordered();
        },
        fullDisk ? std::chrono::microseconds(-1) : std::chrono::microseconds(delay(random)));
    const int count = OpenCount(Stem());
    if (count == baseCount_) {
      ++kept;
      EXPECT_TRUE(TakeSnapshot(Stem()) == base_) << "trial " << trial << ": not the old set byte for byte";
    } else {
      EXPECT_TRUE(TakeSnapshot(Stem()) == complete) << "trial " << trial << ": " << count << " objects";
      EXPECT_FALSE(fullDisk && child.code != 0) << "trial " << trial << ": a failed export changed the set";
    }
    EXPECT_FALSE(FileExists(JournalOf(Stem())));
    if (HasFailure()) FAIL() << "trial " << trial;
  }
  EXPECT_GT(kept, kKills / 4) << "the kills came too late to test anything";
  ASSERT_TRUE(WriteOrdered(Stem(), 10, kBudget));
  for (const char* runs : {".records.0", ".keys.0"}) EXPECT_FALSE(FileExists(dir_.File("IDFset.gaf") + runs));
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
    files.FailNth(GetParam().op, k, GetParam().sticky);
    result = WriteRun(Stem(), kGafOpenAppend, baseCount_, kObjects, files.Environment());
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
    files.FailNth(GetParam().op, k, GetParam().sticky);
    result = WriteRun(Stem(), kGafCreateNew, 0, kObjects, files.Environment());
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

// A write path of the power-loss table: what the set is before it, and the
// path itself, run over `env`; true when it answered success. A path made of
// two steps that each finish on their own names the first (`firstStep`,
// else null): the set may also be found as that step left it.
struct WritePath {
  const char* name;
  void (*prepare)(const std::string& stem);
  bool (*run)(const std::string& stem, Env& env);
  bool (*firstStep)(const std::string& stem) = nullptr;
  // Each file is replaced whole on its own (an index rebuild): each may be
  // found as before or as after, whatever the others are.
  bool filesOnTheirOwn = false;
  // Whether leaving out sync `index` (0-based) of `syncs` cannot be seen,
  // and why (null: every omission must be caught).
  bool (*mayGoUnnoticed)(const std::vector<std::string>& syncs, size_t index) = nullptr;
};

bool IsDirectorySync(const std::string& sync) { return sync.rfind("directory ", 0) == 0; }

// Every file of the set was there before the session, and the directory sync
// after the journal's first record made the journal's name durable: the
// directory sync of the commit has nothing left to make durable here. It is
// there for a session that creates a file, and the create path catches its
// omission.
bool IsCommitDirectorySync(const std::vector<std::string>& syncs, size_t index) {
  for (size_t later = index + 1; later < syncs.size(); ++later) {
    if (IsDirectorySync(syncs[later])) return false;
  }
  return IsDirectorySync(syncs[index]);
}

// The directory sync after the new spatial index is made redundant by the
// one after the key index (the same directory); and the rebuilt key index is
// byte for byte the one it replaces (the set's keys went in in record order,
// as the rebuild inserts them), so losing its move cannot be seen.
bool IsRebuildDirectorySync(const std::vector<std::string>& syncs, size_t index) {
  return IsDirectorySync(syncs[index]);
}

// The directory sync after the rebuilt index is moved into place also makes
// the journal's name durable (it is made before the rebuild), so the
// journal's own directory sync, and the commit's as in an append, have
// nothing left to do here.
bool IsDirectorySyncAfterARebuild(const std::vector<std::string>& syncs, size_t index) {
  return IsDirectorySync(syncs[index]);
}

constexpr int kPowerLossBase = 60;
constexpr int kPowerLossAdded = 30;

void MakePowerLossBase(const std::string& stem) {
  ASSERT_EQ(eKroOk, WriteRun(stem, kGafCreateNew, 0, kPowerLossBase));
}

// The base with its last object turned into a free record, as another
// writer leaves one: the tag's code becomes 63 (its length and form kept),
// the payload starts with a link of 0, the info chunk's free-list head
// points at it, and the indexes are rebuilt without it. An update's first
// object, of the same size, takes its place.
void MakeBaseWithAFreeRecord(const std::string& stem) {
  MakePowerLossBase(stem);
  uint32_t last = 0;
  {
    EngineStatus status = kEngineOk;
    CGafFile dataFile((stem + ".gaf").c_str(), kOpenReadOnly, status);
    ASSERT_EQ(kEngineOk, status);
    EGafObjectType type = kGafUndefinedObject;
    for (uint32_t position = 0; dataFile.NextRecord(type, position) == kEngineOk;) last = position;
  }
  ASSERT_NE(0u, last);
  Bytes bytes = ReadFileBytes(stem + ".gaf");
  ASSERT_LT(last + 10u, bytes.size());
  bytes[last] = static_cast<uint8_t>((bytes[last] & 0x03) | (63 << 2));
  const uint32_t payload = last + ((bytes[last + 1] & 0x7F) == 0x7F ? 6 : 2);  // the long form's u32 length
  std::fill(bytes.begin() + payload, bytes.begin() + payload + 4, 0);
  const uint8_t head[4] = {static_cast<uint8_t>(last >> 24), static_cast<uint8_t>(last >> 16),
                           static_cast<uint8_t>(last >> 8), static_cast<uint8_t>(last)};
  std::copy(head, head + 4, bytes.begin() + 6);  // info payload offset 4, after the 2-byte tag
  WriteFileBytes(stem + ".gaf", bytes);
  EngineStatus status = kEngineOk;
  CGafFile dataFile((stem + ".gaf").c_str(), kOpenReadOnly, status);
  ASSERT_EQ(kEngineOk, status);
  ASSERT_EQ(last, dataFile.FreeListHead());
  ASSERT_EQ(kEngineOk, RebuildIndexes(dataFile, stem + ".sif", stem + ".kif", SpatialRebuild{}));
}

bool WriteOrderedRun(const std::string& stem, Env& env) { return WriteOrdered(stem, kPowerLossAdded, 1024, env); }

template <class Index>
bool CompactIndexOf(const std::string& fileName, Env& env) {
  EngineStatus status = kEngineOk;
  Index index(fileName.c_str(), kOpenReadWrite, status, env);
  if (status != kEngineOk) return false;
  status = index.Compact(nullptr, nullptr);
  const EngineStatus closed = index.Close();
  return status == kEngineOk && closed == kEngineOk;
}

const WritePath kWritePaths[] = {
    {"Create", [](const std::string&) {},
     [](const std::string& stem, Env& env) {
       return WriteRun(stem, kGafCreateNew, 0, kPowerLossAdded, env) == eKroOk;
     }},
    {"Append", MakePowerLossBase,
     [](const std::string& stem, Env& env) {
       return WriteRun(stem, kGafOpenAppend, kPowerLossBase, kPowerLossAdded, env) == eKroOk;
     },
     nullptr, false, IsCommitDirectorySync},
    {"UpdateReusingAFreeRecord", MakeBaseWithAFreeRecord,
     [](const std::string& stem, Env& env) {
       if (WriteRun(stem, kGafOpenUpdate, kPowerLossBase, kPowerLossAdded, env) != eKroOk) return false;
       EngineStatus status = kEngineOk;
       const CGafFile dataFile((stem + ".gaf").c_str(), kOpenReadOnly, status, env);
       return status == kEngineOk && dataFile.FreeListHead() == 0;  // the free record was taken
     },
     nullptr, false, IsCommitDirectorySync},
    {"AppendRebuildingALostSpatialIndex",
     [](const std::string& stem) {
       MakePowerLossBase(stem);
       std::remove((stem + ".sif").c_str());
     },
     [](const std::string& stem, Env& env) {
       return WriteRun(stem, kGafOpenAppend, kPowerLossBase, kPowerLossAdded, env) == eKroOk;
     },
     // The open rebuilds the lost index before the append's session begins.
     [](const std::string& stem) {
       EngineStatus status = kEngineOk;
       CGafFile dataFile((stem + ".gaf").c_str(), kOpenReadOnly, status);
       return status == kEngineOk &&
              RebuildIndexes(dataFile, stem + ".sif", "", SpatialRebuild{true, SifPackOrder::kSortTileRecursive}) ==
                  kEngineOk;
     },
     false, IsDirectorySyncAfterARebuild},
    // The data file is created before its journal (the journal is made only
    // once the data file's lock is held), so a power loss before the journal
    // is durable may leave that file empty, and nothing else: no set.
    {"OrderedExport", [](const std::string&) {}, WriteOrderedRun,
     [](const std::string& stem) {
       WriteFileBytes(stem + ".gaf", Bytes{});
       return true;
     }},
    {"OrderedExportOverASet", MakePowerLossBase, WriteOrderedRun, nullptr, false, IsCommitDirectorySync},
    // A set whose before image passes what the session holds in
    // memory: the journal is written as the image is read.
    {"OrderedExportOverALargeSet",
     [](const std::string& stem) { ASSERT_EQ(eKroOk, WriteRun(stem, kGafCreateNew, 0, 3000)); }, WriteOrderedRun,
     nullptr, false, IsCommitDirectorySync},
    {"CompactSpatialIndex", MakePowerLossBase,
     [](const std::string& stem, Env& env) { return CompactIndexOf<CSpatialIndex>(stem + ".sif", env); }},
    {"CompactKeyIndex", MakePowerLossBase,
     [](const std::string& stem, Env& env) { return CompactIndexOf<CKeyIndex>(stem + ".kif", env); }},
    {"Reindex", MakePowerLossBase,
     [](const std::string& stem, Env& env) {
       EngineStatus status = kEngineOk;
       CGafFile dataFile((stem + ".gaf").c_str(), kOpenReadOnly, status, env);
       return status == kEngineOk &&
              RebuildIndexes(dataFile, stem + ".sif", stem + ".kif", SpatialRebuild{true, SifPackOrder::kHilbert}) ==
                  kEngineOk;
     },
     nullptr, true, IsRebuildDirectorySync},
};

class PowerLossTest : public CrashSafetyTest, public ::testing::WithParamInterface<WritePath> {
 public:
  void SetUp() override {
    GetParam().prepare(Stem());
    before_ = TakeSnapshot(Stem());
    PowerLossFileSystem files;
    ASSERT_TRUE(GetParam().run(Stem(), files.Environment()));
    after_ = TakeSnapshot(Stem());
    syncs_ = files.SyncsMade();
    ASSERT_FALSE(before_ == after_) << "the path changes the set";
    if (GetParam().firstStep != nullptr) {
      RestoreSnapshot(Stem(), before_);
      ASSERT_TRUE(GetParam().firstStep(Stem()));
      firstStep_ = TakeSnapshot(Stem());
    }
  }

  // Runs the path with the power going at sync `k` (k past the last sync:
  // once the path has returned; sync `omitted` left out, unless 0), starts
  // the machine again and opens the set: "" when it is exactly as before or
  // as after (once the path has returned: as after), with no journal left;
  // else what it is.
  // What the machine finds: every write since the last syncs lost, every
  // write kept (a kill), or every write kept but the journal's (the system
  // wrote the set's files back early, the journal not).
  enum class Disk { kAllLost, kAllKept, kJournalLost };

  std::string SetAfterPowerLoss(uint64_t k, PowerLossFileSystem::Moment moment, uint64_t omitted, Disk disk) {
    RestoreSnapshot(Stem(), before_);
    PowerLossFileSystem files;
    files.LosePowerAt(k, moment);
    files.OmitSync(omitted);
    const bool succeeded = GetParam().run(Stem(), files.Environment());
    const bool returned = !files.PowerLost();
    files.LosePowerNow();
    // Files the path had not touched yet when the power went were as before.
    RestoreSnapshot(Stem(), before_);
    PowerLossFileSystem::PutOnDisk(disk == Disk::kAllLost   ? files.AfterPowerLoss()
                                   : disk == Disk::kAllKept ? files.AfterKill()
                                                            : files.AfterLossOf(JournalOf(Stem())));
    PowerLossFileSystem restarted;  // the machine's next power cycle is not this test's
    OpenCount(Stem(), restarted.Environment());  // the open that rolls back what a journal holds
    if (FileExists(JournalOf(Stem()))) return "a journal is left after the open";
    const SetSnapshot found = TakeSnapshot(Stem());
    if (found == after_) return "";
    if (returned) return succeeded ? "the path answered success but did not last" : "the path failed";
    if (found == before_ || (firstStep_ && found == *firstStep_)) return "";
    if (GetParam().filesOnTheirOwn && EachFileBeforeOrAfter(found)) return "";
    return "neither the set before nor the set after" + Differences(found);
  }

  std::string Differences(const SetSnapshot& found) const {
    std::string text;
    for (size_t i = 0; i < found.files.size(); ++i) {
      text += " [file " + std::to_string(i) + ": " + std::to_string(found.files[i].size()) + " bytes, before " +
              std::to_string(before_.files[i].size()) + ", after " + std::to_string(after_.files[i].size()) + "]";
    }
    return text;
  }

  bool EachFileBeforeOrAfter(const SetSnapshot& found) const {
    for (size_t i = 0; i < found.files.size(); ++i) {
      const bool asBefore = found.files[i] == before_.files[i] && found.present[i] == before_.present[i];
      const bool asAfter = found.files[i] == after_.files[i] && found.present[i] == after_.present[i];
      if (!asBefore && !asAfter) return false;
    }
    return true;
  }

  static std::string Where(uint64_t k, PowerLossFileSystem::Moment moment, const std::vector<std::string>& syncs) {
    if (k > syncs.size()) return "once the path returned";
    return std::string(moment == PowerLossFileSystem::Moment::kBeforeSync ? "before" : "after") + " sync " +
           std::to_string(k) + " (" + syncs[k - 1] + ")";
  }

  SetSnapshot before_;
  SetSnapshot after_;
  std::optional<SetSnapshot> firstStep_;
  std::vector<std::string> syncs_;
};

constexpr PowerLossTest::Disk kDisks[] = {PowerLossTest::Disk::kAllLost, PowerLossTest::Disk::kAllKept,
                                          PowerLossTest::Disk::kJournalLost};
constexpr PowerLossFileSystem::Moment kMoments[] = {PowerLossFileSystem::Moment::kBeforeSync,
                                                    PowerLossFileSystem::Moment::kAfterSync};

// The power goes just before and just after every sync the path makes (the
// disk between two syncs is the one just after the first), and once it has
// returned; a kill at the same moments, which keeps every write, must find
// the same.
TEST_P(PowerLossTest, APowerLossAtAnySyncLeavesTheSetAsItWasOrComplete) {
  for (uint64_t k = 1; k <= syncs_.size() + 1; ++k) {
    for (const auto moment : kMoments) {
      for (const Disk disk : kDisks) {
        EXPECT_EQ("", SetAfterPowerLoss(k, moment, 0, disk))
            << "power lost " << Where(k, moment, syncs_) << ", disk " << static_cast<int>(disk);
      }
      if (HasFailure()) return;
    }
  }
}

// With any one sync left out, some power loss finds the set neither as it
// was nor complete: the table above would fail, so no sync is there for
// nothing.
TEST_P(PowerLossTest, LeavingOutAnySyncIsCaughtByAPowerLoss) {
  for (uint64_t omitted = 1; omitted <= syncs_.size(); ++omitted) {
    if (GetParam().mayGoUnnoticed != nullptr && GetParam().mayGoUnnoticed(syncs_, omitted - 1)) continue;
    bool caught = false;
    for (uint64_t k = 1; k <= syncs_.size() + 1 && !caught; ++k) {
      for (const auto moment : kMoments) {
        for (const Disk disk : {Disk::kAllLost, Disk::kJournalLost}) {
          caught = caught || !SetAfterPowerLoss(k, moment, omitted, disk).empty();
        }
      }
    }
    EXPECT_TRUE(caught) << GetParam().name << ": sync " << omitted << " (" << syncs_[omitted - 1]
                        << ") can be left out";
  }
}

INSTANTIATE_TEST_SUITE_P(Paths, PowerLossTest, ::testing::ValuesIn(kWritePaths),
                         [](const ::testing::TestParamInfo<WritePath>& info) { return info.param.name; });

}  // namespace
}  // namespace kro::test
