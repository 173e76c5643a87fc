// Fault injection: every file call of insertion, search, deletion,
// verification and compaction fails in turn. Each run must end with one of
// the statuses the operation can report, hold no file handle afterwards, and
// leave a read-only file untouched; a failed or aborted compaction must leave
// the index answering exactly as before.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "SifTestSupport.h"
#include "support/FaultInjectingFileSystem.h"

namespace kro::test {
namespace {

const BoundingBoxNode kEverywhere = Box(-1e300, -1e300, 1e300, 1e300);

BoundingBoxNode SampleBox(uint32_t i) {
  const double x = static_cast<double>((i * 37) % 101);
  const double y = static_cast<double>((i * 53) % 97);
  return Box(x, y, x + (i % 4), y + (i % 3));
}

class SifFault : public ::testing::Test {
 protected:
  // A three-level index with free blocks of both kinds.
  void SetUp() override {
    auto index = OpenIndex(path_, kCreate);
    for (uint32_t i = 1; i <= 400; ++i) ASSERT_EQ(index->Insert(i % 6, SampleBox(i), 2 * i), kEngineOk);
    for (uint32_t i = 1; i <= 400; i += 4) ASSERT_EQ(index->Delete(SampleBox(i), 2 * i), kEngineOk);
    SifStatistics statistics;
    ASSERT_EQ(index->Verify(nullptr, statistics), kEngineOk);
    ASSERT_EQ(statistics.height, 3u);
    ASSERT_GT(statistics.freeLeafBlocks, 0u);
    expected_ = Positions(SearchAll(*index, kEverywhere));
    std::sort(expected_.begin(), expected_.end());
    index.reset();
    sample_ = ReadFileBytes(path_);
  }

  // Runs `scenario` once for every k-th call of `op` failing, k = 1, 2, ...
  // until a run meets no k-th call. The file is the sample again before each
  // run; every run must give back all file handles.
  void ForEachFault(FileOp op, const std::function<void(FaultInjectingFileSystem&)>& scenario) {
    if (HasFailure()) return;
    for (uint64_t k = 1; k < 100000; ++k) {
      WriteFileBytes(path_, sample_);
      const int handles = OpenFileCount();
      FaultInjectingFileSystem files;
      env_ = &files.Environment();
      files.FailNth(op, k);
      scenario(files);
      env_ = &Env::Default();
      EXPECT_EQ(OpenFileCount(), handles) << "call " << k;
      if (HasFailure()) {
        ADD_FAILURE() << "with call " << k << " of kind " << static_cast<int>(op) << " failing";
        return;
      }
      if (files.Injected() == 0) return;
    }
  }

  void ForEachIoFault(const std::function<void(FaultInjectingFileSystem&)>& scenario) {
    for (FileOp op : {FileOp::kAnyIo, FileOp::kOpen, FileOp::kClose}) ForEachFault(op, scenario);
  }

  static void ExpectOneOf(EngineStatus status, std::initializer_list<EngineStatus> allowed) {
    EXPECT_TRUE(std::find(allowed.begin(), allowed.end(), status) != allowed.end()) << StatusName(status);
  }

  // Opens under the injected faults; null when the open failed (with a status
  // an open may report).
  std::unique_ptr<CSpatialIndex> TryOpen(uint32_t flags) {
    EngineStatus status = kEngineOk;
    auto index = std::make_unique<CSpatialIndex>(path_.c_str(), flags, status, *env_);
    if (status == kEngineOk) return index;
    ExpectOneOf(status, {eSifCannotOpen, eSifReadError});
    return nullptr;
  }

  std::vector<uint32_t> AllPositions(CSpatialIndex& index) {
    std::vector<uint32_t> positions = Positions(SearchAll(index, kEverywhere));
    std::sort(positions.begin(), positions.end());
    return positions;
  }

  // The file after a run, read without faults: it must still open and verify
  // unless a write was lost, and its answers must be the sample's.
  void ExpectSampleAnswers() {
    auto index = OpenIndex(path_, kOpenReadOnly);
    SifStatistics statistics;
    EXPECT_EQ(index->Verify(nullptr, statistics), kEngineOk);
    EXPECT_EQ(AllPositions(*index), expected_);
  }

  TempDir dir_;
  PrivateTemporaryDirectory temporaries_;
  std::string path_ = dir_.File("a.sif");
  // Where TryOpen opens the index: the faults of the running scenario.
  Env* env_ = &Env::Default();
  Bytes sample_;
  std::vector<uint32_t> expected_;
};

TEST_F(SifFault, CreateAndClose) {
  ForEachIoFault([&](FaultInjectingFileSystem&) {
    EngineStatus status = kEngineOk;
    CSpatialIndex index(dir_.File("new.sif").c_str(), kCreate, status, *env_);
    ExpectOneOf(status, {kEngineOk, eSifCannotOpen, eSifWriteError, eSifReadError});
    if (status == kEngineOk) ExpectOneOf(index.Insert(0, Box(0, 0, 1, 1), 2), {kEngineOk, eSifWriteError});
  });
}

TEST_F(SifFault, Insert) {
  ForEachIoFault([&](FaultInjectingFileSystem&) {
    auto index = TryOpen(kUpdate);
    if (!index) return;
    // Clustered boxes force splits on the way.
    for (uint32_t i = 1; i <= 25; ++i) {
      const EngineStatus status = index->Insert(0, Box(50 + i * 0.01, 50, 51, 51), 10000 + 2 * i);
      if (status == kEngineOk) continue;
      ExpectOneOf(status, {eSifReadError, eSifWriteError});
      break;
    }
  });
}

// Without a block cache the search walks decoded nodes; with one (large, or
// so small that parents are dropped mid-walk) it walks the cached blocks.
TEST_F(SifFault, SearchAndBoundingBox) {
  for (const size_t budget : {size_t{0}, size_t{4096}, size_t{1} << 20}) {
    ForEachIoFault([&](FaultInjectingFileSystem&) {
      {
        auto index = TryOpen(kOpenReadOnly);
        if (!index) return;
        ASSERT_EQ(index->SetCacheBudget(budget), BlockIo::kOk);
        BoundingBoxNode extent{};
        ExpectOneOf(index->GetBoundingBox(extent), {kEngineOk, eSifReadError});
        EngineStatus status = index->BeginSearch(kEverywhere, 0, true);
        ExpectOneOf(status, {kEngineOk, eSifReadError});
        std::set<uint32_t> seen;
        SifHit hit;
        while (status == kEngineOk) {
          status = index->GetNextHit(hit.recordPosition, hit.objectType, hit.box);
          if (status == kEngineOk) {
            EXPECT_TRUE(seen.insert(hit.recordPosition).second) << "a hit delivered twice";
            EXPECT_TRUE(std::binary_search(expected_.begin(), expected_.end(), hit.recordPosition));
          }
        }
        ExpectOneOf(status, {kEngineEndOfResults, eSifReadError, eSifNoSearch});
        if (status == kEngineEndOfResults) {
          EXPECT_EQ(seen.size(), expected_.size());
        }
        EXPECT_EQ(index->GetNextHit(hit.recordPosition, hit.objectType, hit.box), eSifNoSearch);
      }
      EXPECT_EQ(ReadFileBytes(path_), sample_);
    });
  }
}

TEST_F(SifFault, Delete) {
  ForEachIoFault([&](FaultInjectingFileSystem&) {
    auto index = TryOpen(kUpdate);
    if (!index) return;
    for (uint32_t i = 2; i <= 400; i += 4) {
      const EngineStatus status = index->Delete(SampleBox(i), 2 * i);
      if (status == kEngineOk) continue;
      ExpectOneOf(status, {eSifReadError, eSifWriteError});
      break;
    }
  });
}

TEST_F(SifFault, Verify) {
  ForEachIoFault([&](FaultInjectingFileSystem&) {
    {
      auto index = TryOpen(kOpenReadOnly);
      if (!index) return;
      SifStatistics statistics;
      ExpectOneOf(index->Verify(nullptr, statistics), {kEngineOk, eSifReadError});
    }
    EXPECT_EQ(ReadFileBytes(path_), sample_);
  });
}

// A compaction that fails before its file is in place leaves the object and
// the file exactly as they were; one that fails after the move leaves the
// compacted file, which must be sound.
TEST_F(SifFault, Compact) {
  std::set<EngineStatus> outcomes;
  for (bool keep : {false, true}) {
    auto scenario = [&](FaultInjectingFileSystem& files) {
      auto index = TryOpen(kUpdate);
      if (!index) return;
      char kept[kMaxPathBytes] = {};
      const EngineStatus status = index->Compact(nullptr, keep ? kept : nullptr);
      files.Disarm();
      outcomes.insert(status);
      ExpectOneOf(status, {kEngineOk, eSifTempFileError, eSifTempWriteError, eSifReplaceFailed, eSifCannotOpen,
                           eSifReadError});
      if (status != eSifCannotOpen) {
        // Still usable, with the same answers (the fault was a single call).
        SifStatistics statistics;
        EXPECT_EQ(index->Verify(nullptr, statistics), kEngineOk) << StatusName(status);
        EXPECT_EQ(AllPositions(*index), expected_) << StatusName(status);
      }
      const bool moved = status == kEngineOk || status == eSifCannotOpen ||
                         (status == eSifReadError && ReadFileBytes(path_) != sample_);
      index.reset();
      if (!moved) {
        EXPECT_EQ(ReadFileBytes(path_), sample_) << StatusName(status);
      }
      if (kept[0] != '\0') {
        EXPECT_EQ(status, eSifReplaceFailed);
        EXPECT_TRUE(FileExists(kept));
        ::unlink(kept);
      }
      EXPECT_TRUE(TemporaryFilesStartingWith("IDF").empty()) << StatusName(status);
    };
    for (FileOp op : {FileOp::kAnyIo, FileOp::kOpen, FileOp::kClose, FileOp::kTempName, FileOp::kReplace,
                      FileOp::kDelete}) {
      ForEachFault(op, scenario);
      ExpectSampleAnswers();
    }
  }
  EXPECT_EQ(outcomes, (std::set<EngineStatus>{kEngineOk, eSifCannotOpen, eSifReadError, eSifTempFileError,
                                              eSifTempWriteError, eSifReplaceFailed}))
      << "every way a compaction can end was met";
}

TEST_F(SifFault, CompactAbortedAtEachStep) {
  for (int call = 1;; ++call) {
    WriteFileBytes(path_, sample_);
    auto index = OpenIndex(path_, kUpdate);
    CountingProgress progress(call);
    ASSERT_EQ(index->Compact(&progress, nullptr), kEngineOk);
    EXPECT_EQ(AllPositions(*index), expected_);
    index.reset();
    EXPECT_TRUE(TemporaryFilesStartingWith("IDF").empty());
    if (!progress.IsAborted()) {
      ExpectSampleAnswers();
      break;
    }
    EXPECT_EQ(ReadFileBytes(path_), sample_) << "aborted at call " << call;
  }
}

}  // namespace
}  // namespace kro::test
