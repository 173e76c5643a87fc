// Every read and write of the key index failing in turn: no crash, no leak,
// the status each failure has, and a compaction that fails leaves the index
// as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "KifFiles.h"
#include "platform/FileSystem.h"
#include "support/FaultInjectingFileSystem.h"

namespace kro::test {
namespace {

using Statuses = std::vector<EngineStatus>;

bool OneOf(EngineStatus status, const Statuses& allowed) {
  return std::find(allowed.begin(), allowed.end(), status) != allowed.end();
}

std::string Describe(FileOp op, uint64_t k) {
  return "failing call " + std::to_string(k) + " of kind " + std::to_string(static_cast<int>(op));
}

class KifFaultTest : public KifFileTest {
 protected:
  void SetUp() override {
    model = BuildSampleIndex(Path(), 900);
    baseline = ReadFileBytes(Path());
  }

  // Runs `scenario(arm, k)` for k = 1, 2, ...; `arm()` makes the k-th call of
  // `op` from then on fail. Ends after the first run that completed without
  // reaching a k-th call, and returns the number of failures injected.
  uint64_t ForEachFault(FileOp op, const std::function<void(const std::function<void()>&, uint64_t)>& scenario,
                        bool sticky = false) {
    env_ = &faults.Environment();
    for (uint64_t k = 1; k < 20000; ++k) {
      WriteFileBytes(Path(), baseline);
      faults.Disarm();
      bool armed = false;
      scenario([&] { faults.FailNth(op, k, sticky); armed = true; }, k);
      const bool hit = armed && faults.Injected() > 0;
      faults.Disarm();
      if (!hit || ::testing::Test::HasFatalFailure()) return k - 1;
    }
    ADD_FAILURE() << "the scenario never completed";
    return 0;
  }

  // A run that reached the failing call ends with one of `allowed`.
  void ExpectStatusIfHit(EngineStatus status, const Statuses& allowed, FileOp op, uint64_t k) {
    if (faults.Injected() == 0) return;
    EXPECT_TRUE(OneOf(status, allowed)) << Describe(op, k) << ": " << StatusName(status);
  }

  // Whatever a failure left in the file, opening and verifying it reports a
  // status and does not crash.
  void ReopenAndVerifyAnything() {
    EngineStatus status;
    auto index = OpenIndex(Path(), kOpenReadOnly, status, *env_);
    KifStatistics statistics;
    if (status == kEngineOk) (void)index->Verify(nullptr, statistics);
  }

  FaultInjectingFileSystem faults;
  Model model;
  Bytes baseline;
};

const std::vector<std::pair<FileOp, Statuses>> kChangeFaults = {
    {FileOp::kRead, {eKifReadError}},
    {FileOp::kWrite, {eKifWriteError}},
    {FileOp::kSeek, {eKifReadError, eKifWriteError}},
    {FileOp::kTell, {eKifWriteError}},
};

TEST_F(KifFaultTest, OpeningAnExistingFile) {
  const std::vector<std::pair<FileOp, Statuses>> cases = {
      {FileOp::kOpen, {eKifCannotOpen}}, {FileOp::kRead, {eKifReadError}},
      {FileOp::kSeek, {eKifReadError}}, {FileOp::kSize, {eKifReadError}}};
  for (const auto& [op, allowed] : cases) {
    const uint64_t injected = ForEachFault(op, [&](const std::function<void()>& arm, uint64_t k) {
      arm();
      EngineStatus status;
      auto index = OpenIndex(Path(), kOpenReadWrite, status, *env_);
      ExpectStatusIfHit(status, allowed, op, k);
      index.reset();
      EXPECT_TRUE(status == kEngineOk || ReadFileBytes(Path()) == baseline) << Describe(op, k);
    });
    EXPECT_GT(injected, 0u);
  }
}

TEST_F(KifFaultTest, CreatingAFile) {
  const std::vector<std::pair<FileOp, Statuses>> cases = {
      {FileOp::kOpen, {eKifCannotOpen}}, {FileOp::kSeek, {eKifReadError}},
      {FileOp::kWrite, {eKifWriteError}}, {FileOp::kSize, {eKifReadError}}};
  for (const auto& [op, allowed] : cases) {
    const uint64_t injected = ForEachFault(op, [&](const std::function<void()>& arm, uint64_t k) {
      arm();
      EngineStatus status;
      auto index = OpenIndex(dir.File("new.kif"), kOpenReadWrite | kOpenCreateTruncate, status, *env_);
      ExpectStatusIfHit(status, allowed, op, k);
    });
    EXPECT_GT(injected, 0u);
  }
}

TEST_F(KifFaultTest, Insertion) {
  // Once with blocks to take from the free lists, once appending to a
  // compacted file.
  Bytes compacted;
  {
    auto index = Open(kOpenReadWrite);
    ASSERT_EQ(index->Compact(nullptr, nullptr), kEngineOk);
    index.reset();
    compacted = ReadFileBytes(Path());
  }
  std::vector<uint64_t> injected(kChangeFaults.size(), 0);
  for (const Bytes& start : {baseline, compacted}) {
    baseline = start;
    for (size_t c = 0; c < kChangeFaults.size(); ++c) {
      const auto& [op, allowed] = kChangeFaults[c];
      injected[c] += ForEachFault(op, [&](const std::function<void()>& arm, uint64_t k) {
        auto index = Open(kOpenReadWrite);
        arm();
        const std::vector<std::string> keys = SampleKeys();
        EngineStatus status = kEngineOk;
        for (int i = 0; i < 150 && status == kEngineOk; ++i) {
          // Half spread over the tree, half into one place to force splits.
          const std::string key = i % 2 == 0 ? keys[(i * 13) % keys.size()] : "new";
          status = index->Insert(key.c_str(), 4000 + 2 * i);
        }
        ExpectStatusIfHit(status, allowed, op, k);
        if (status != kEngineOk) {
          EXPECT_EQ(index->Insert("later", 2), status) << "a change that failed part-way is sticky";
          EXPECT_EQ(index->Compact(nullptr, nullptr), status);
        }
        index.reset();
        ReopenAndVerifyAnything();
      });
    }
  }
  for (uint64_t count : injected) EXPECT_GT(count, 0u);
}

TEST_F(KifFaultTest, InsertionOnADeadDisk) {
  const uint64_t injected = ForEachFault(
      FileOp::kAnyIo,
      [&](const std::function<void()>& arm, uint64_t) {
        auto index = Open(kOpenReadWrite);
        arm();
        EngineStatus status = kEngineOk;
        for (int i = 0; i < 150 && status == kEngineOk; ++i) status = index->Insert(("dead" + std::to_string(i)).c_str(), 2 * i + 2);
        if (faults.Injected() > 0) {
          EXPECT_NE(status, kEngineOk);
        }
        index.reset();  // every write of the close fails as well
      },
      true);
  EXPECT_GT(injected, 10u);
}

TEST_F(KifFaultTest, Deletion) {
  const std::vector<Entry> victims(model.begin(), model.end());
  // Deletion never appends a block, so it asks for no position.
  for (const auto& [op, allowed] : std::vector<std::pair<FileOp, Statuses>>(kChangeFaults.begin(), kChangeFaults.end() - 1)) {
    const uint64_t injected = ForEachFault(op, [&](const std::function<void()>& arm, uint64_t k) {
      auto index = Open(kOpenReadWrite);
      arm();
      EngineStatus status = kEngineOk;
      for (size_t i = 0; i < victims.size() && status == kEngineOk; i += 2) {
        status = index->Delete(victims[i].first.c_str(), victims[i].second);
      }
      ExpectStatusIfHit(status, allowed, op, k);
      index.reset();
      ReopenAndVerifyAnything();
    });
    EXPECT_GT(injected, 10u);
  }
}

TEST_F(KifFaultTest, SearchAndVerification) {
  std::vector<std::vector<uint32_t>> full;
  {
    auto index = Open(kOpenReadOnly);
    for (const std::string& key : SampleKeys()) full.push_back(SearchAll(*index, key));
  }
  for (FileOp op : {FileOp::kRead, FileOp::kSeek}) {
    const uint64_t injected = ForEachFault(op, [&](const std::function<void()>& arm, uint64_t k) {
      auto index = Open(kOpenReadOnly);
      arm();
      const std::vector<std::string> keys = SampleKeys();
      for (size_t i = 0; i < keys.size(); ++i) {
        EngineStatus end;
        const std::vector<uint32_t> found = SearchAll(*index, keys[i], &end);
        if (end == kEngineEndOfResults) {
          EXPECT_EQ(found, full[i]) << Describe(op, k);
          continue;
        }
        EXPECT_EQ(end, eKifReadError) << Describe(op, k);
        EXPECT_TRUE(std::equal(found.begin(), found.end(), full[i].begin())) << "delivered matches stay valid";
        uint32_t position;
        EXPECT_EQ(index->GetNextMatch(position), eKifNoSearch);
      }
      KifStatistics statistics;
      const EngineStatus status = index->Verify(nullptr, statistics);
      EXPECT_TRUE(OneOf(status, {kEngineOk, eKifReadError})) << Describe(op, k) << ": " << StatusName(status);
    });
    EXPECT_GT(injected, 10u);
  }
}

TEST_F(KifFaultTest, FailedCompactionLeavesTheIndexAsItWas) {
  TempDir temporaries;
  ScopedTempDirectory scopedTemp(temporaries.path());
  const std::vector<std::pair<FileOp, Statuses>> cases = {
      {FileOp::kAnyIo, {eKifReadError, eKifWriteError, eKifTempWriteError}},
      {FileOp::kTempName, {eKifTempFileError}},
      {FileOp::kOpen, {eKifTempFileError, eKifCannotOpen}},
      {FileOp::kClose, {eKifTempWriteError}},
      {FileOp::kReplace, {eKifReplaceFailed}},
  };
  for (const auto& [op, allowed] : cases) {
    const uint64_t injected = ForEachFault(op, [&](const std::function<void()>& arm, uint64_t k) {
      auto index = Open(kOpenReadWrite);
      arm();
      const EngineStatus status = index->Compact(nullptr, nullptr);
      const uint64_t hit = faults.Injected();
      faults.Disarm();
      EXPECT_TRUE(TemporaryFilesStartingWith("IDF").empty()) << Describe(op, k);
      const bool replaced = ReadFileBytes(Path()) != baseline;
      if (hit == 0 || (status == kEngineOk && replaced)) {
        ExpectHoldsExactly(*index, model);
        return;
      }
      EXPECT_TRUE(OneOf(status, allowed)) << Describe(op, k) << ": " << StatusName(status);
      if (!replaced) {
        ExpectHoldsExactly(*index, model);
        index.reset();
        EXPECT_EQ(ReadFileBytes(Path()), baseline) << Describe(op, k);
        return;
      }
      // The compacted file is in place but could not be reopened or measured.
      EXPECT_TRUE(OneOf(status, {eKifCannotOpen, eKifReadError})) << Describe(op, k);
      index.reset();
      index = Open(kOpenReadOnly);
      ExpectHoldsExactly(*index, model);
    });
    EXPECT_GT(injected, 0u);
  }
}

// A bulk load whose k-th write or seek fails, or whose disk dies there,
// answers eKifWriteError from then on and leaves a file that no open takes
// for a tree (its header, written last, is still zero); one that is not hit
// makes the whole tree.
TEST_F(KifFaultTest, BulkLoad) {
  // Over 2 MiB of blocks: several buffer writes before the header.
  std::vector<Entry> entries;
  for (int i = 0; i < 60000; ++i) entries.push_back({NumberedKey(i / 3), 2u * (i + 1)});
  std::sort(entries.begin(), entries.end());
  const std::string loaded = dir.File("loaded.kif");
  const std::vector<std::pair<FileOp, bool>> cases = {
      {FileOp::kWrite, false}, {FileOp::kSeek, false}, {FileOp::kAnyIo, true}};
  for (const auto& [op, sticky] : cases) {
    const uint64_t injected = ForEachFault(
        op,
        [&](const std::function<void()>& arm, uint64_t k) {
          arm();
          const EngineStatus status = BulkLoad(loaded, entries, *env_);
          const bool hit = faults.Injected() > 0;
          faults.Disarm();
          EngineStatus opened;
          auto index = OpenIndex(loaded, kOpenReadOnly, opened);
          if (!hit) {
            ASSERT_EQ(status, kEngineOk) << StatusName(status);
            KifStatistics statistics;
            EXPECT_EQ(index->Verify(nullptr, statistics), kEngineOk);
            EXPECT_EQ(statistics.entries, entries.size());
            return;
          }
          EXPECT_EQ(status, eKifWriteError) << Describe(op, k) << ": " << StatusName(status);
          EXPECT_TRUE(OneOf(opened, {eKifNotAKif, eKifReadError})) << Describe(op, k) << ": " << StatusName(opened);
        },
        sticky);
    EXPECT_GE(injected, op == FileOp::kSeek ? 1u : 4u);
  }
}

}  // namespace
}  // namespace kro::test
