// The rollback journal on its own: which byte ranges are saved once, how a
// journal is read back when its tail was torn, and what a recovery does with
// the journals a writer can leave behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "engine/writesession/ByteRanges.h"
#include "engine/fileaccess/CGafRawFile.h"
#include "engine/writesession/JournalFormat.h"
#include "engine/writesession/JournalReplay.h"
#include "engine/writesession/SetRecovery.h"
#include "support/TempDir.h"

namespace kro {
namespace {

using journal::RecordHead;
using journal::RecordKind;
using test::Bytes;
using test::FileExists;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

TEST(ByteRangesTest, GapsAreWhatIsNotSavedYet) {
  struct Case {
    std::vector<std::pair<uint32_t, uint32_t>> added;
    uint32_t start, end;
    std::vector<std::pair<uint32_t, uint32_t>> gaps;
  };
  const std::vector<Case> cases = {
      {{}, 0, 10, {{0, 10}}},
      {{{0, 10}}, 0, 10, {}},
      {{{0, 10}}, 5, 15, {{10, 15}}},
      {{{10, 20}}, 0, 30, {{0, 10}, {20, 30}}},
      {{{10, 20}, {30, 40}}, 15, 35, {{20, 30}}},
      {{{10, 20}, {20, 30}}, 0, 40, {{0, 10}, {30, 40}}},  // touching ranges merge
      {{{30, 40}, {10, 20}, {15, 35}}, 0, 50, {{0, 10}, {40, 50}}},
      {{{0, 5}}, 7, 7, {}},
      {{{5, 5}}, 0, 10, {{0, 10}}},  // an empty range adds nothing
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    ByteRanges ranges;
    for (const auto& range : cases[i].added) ranges.Add(range.first, range.second);
    EXPECT_EQ(cases[i].gaps, ranges.Gaps(cases[i].start, cases[i].end)) << "case " << i;
  }
}

// Records what a replay asks of the set.
class RecordingTarget : public JournalTarget {
 public:
  bool WriteBack(uint8_t file, uint32_t offset, const uint8_t* bytes, uint32_t count) override {
    writes[{file, offset}] = Bytes(bytes, bytes + count);
    return true;
  }
  bool CutTo(uint8_t file, uint32_t length) override {
    cuts[file] = length;
    return true;
  }
  bool Remove(uint8_t file) override {
    removed.push_back(file);
    return true;
  }
  std::map<std::pair<uint8_t, uint32_t>, Bytes> writes;
  std::map<uint8_t, uint32_t> cuts;
  std::vector<uint8_t> removed;
};

Bytes JournalBytes(const std::vector<std::pair<RecordHead, Bytes>>& records) {
  std::vector<uint8_t> out(journal::kMagic, journal::kMagic + journal::kMagicSize);
  for (const auto& record : records) journal::AppendRecord(out, record.first, record.second.data());
  return out;
}

ReplayResult Replay(const std::string& name, RecordingTarget& target, bool honourCommit = true) {
  FileSystem& files = OperatingSystemFiles();
  FileHandle handle = kInvalidFileHandle;
  EXPECT_TRUE(files.Open(name.c_str(), kOpenReadOnly, handle));
  const ReplayResult result = ReplayJournal(files, handle, target, honourCommit);
  files.Close(handle);
  return result;
}

TEST(JournalReplayTest, ATornTailProtectsNothingAndIsIgnored) {
  TempDir dir;
  const std::string name = dir.File("j");
  const Bytes image{1, 2, 3, 4, 5};
  const std::vector<std::pair<RecordHead, Bytes>> records = {
      {{RecordKind::kFileExisted, 0, 100, 0}, {}},
      {{RecordKind::kBeforeImage, 0, 40, 5}, image},
      {{RecordKind::kFileCreated, 2, 0, 0}, {}},
      {{RecordKind::kFileExisted, 1, 512, 0}, {}},
      {{RecordKind::kBeforeImage, 1, 0, 5}, image},
  };
  const Bytes whole = JournalBytes(records);
  std::vector<size_t> ends = {journal::kMagicSize};  // where each record ends
  for (size_t i = 0; i < records.size(); ++i) ends.push_back(JournalBytes({records.begin(), records.begin() + i + 1}).size());
  for (size_t length = 0; length <= whole.size(); ++length) {
    WriteFileBytes(name, Bytes(whole.begin(), whole.begin() + length));
    RecordingTarget target;
    ASSERT_EQ(ReplayResult::kDone, Replay(name, target)) << length;
    const size_t complete = length < journal::kMagicSize
                                ? 0
                                : std::upper_bound(ends.begin(), ends.end(), length) - ends.begin() - 1;
    EXPECT_EQ(complete >= 2 ? 1u : 0u, target.writes.count({0, 40})) << length;
    EXPECT_EQ(complete >= 5 ? 1u : 0u, target.writes.count({1, 0})) << length;
    EXPECT_EQ(complete >= 1 ? 1u : 0u, target.cuts.count(0)) << length;
    EXPECT_EQ(complete >= 3 ? 1u : 0u, target.removed.size()) << length;
    if (complete >= 1) {
      EXPECT_EQ(100u, target.cuts[0]);
    }
  }
}

TEST(JournalReplayTest, ADamagedRecordEndsTheJournalAndOtherMagicIsRefused) {
  TempDir dir;
  const std::string name = dir.File("j");
  Bytes bytes = JournalBytes({{{RecordKind::kFileExisted, 0, 10, 0}, {}}, {{RecordKind::kBeforeImage, 0, 2, 3}, {7, 8, 9}}});
  bytes[bytes.size() - 6] ^= 0x40;  // inside the image
  WriteFileBytes(name, bytes);
  RecordingTarget target;
  EXPECT_EQ(ReplayResult::kDone, Replay(name, target));
  EXPECT_TRUE(target.writes.empty());
  EXPECT_EQ(10u, target.cuts[0]);

  bytes[0] = 'X';
  WriteFileBytes(name, bytes);
  RecordingTarget untouched;
  EXPECT_EQ(ReplayResult::kBadJournal, Replay(name, untouched));
  EXPECT_TRUE(untouched.cuts.empty());

  Bytes unknownKind = JournalBytes({{{RecordKind::kFileExisted, 0, 10, 0}, {}}});
  unknownKind[journal::kMagicSize] = 9;
  WriteFileBytes(name, unknownKind);
  RecordingTarget nothing;
  EXPECT_EQ(ReplayResult::kDone, Replay(name, nothing));
  EXPECT_TRUE(nothing.cuts.empty());
}

TEST(JournalReplayTest, ACommittedJournalIsOnlyReplayedByItsOwnWriter) {
  TempDir dir;
  const std::string name = dir.File("j");
  WriteFileBytes(name, JournalBytes({{{RecordKind::kFileExisted, 0, 10, 0}, {}},
                                     {{RecordKind::kBeforeImage, 0, 2, 1}, {7}},
                                     {{RecordKind::kCommit, 0, 0, 0}, {}}}));
  RecordingTarget recovery;
  EXPECT_EQ(ReplayResult::kCommitted, Replay(name, recovery, true));
  EXPECT_TRUE(recovery.writes.empty() && recovery.cuts.empty());
  RecordingTarget writer;
  EXPECT_EQ(ReplayResult::kDone, Replay(name, writer, false));
  EXPECT_EQ(1u, writer.writes.size());
}

class SetRecoveryTest : public ::testing::Test {
 protected:
  SetFileNames Names() const { return {dir_.File("s.gaf"), dir_.File("s.sif"), dir_.File("s.kif")}; }
  std::string Journal() const { return dir_.File("s.gaf-journal"); }
  TempDir dir_;
};

TEST_F(SetRecoveryTest, RollsBackImagesLengthsAndCreatedFilesThenDeletesTheJournal) {
  WriteFileBytes(Names()[0], Bytes{1, 2, 3, 4, 9, 9, 9});
  WriteFileBytes(Names()[1], Bytes{5, 5, 5});
  WriteFileBytes(Names()[2], Bytes{6});
  WriteFileBytes(Journal(), JournalBytes({{{RecordKind::kFileExisted, 0, 4, 0}, {}},
                                          {{RecordKind::kBeforeImage, 0, 1, 2}, {20, 30}},
                                          {{RecordKind::kFileExisted, 1, 3, 0}, {}},
                                          {{RecordKind::kFileCreated, 2, 0, 0}, {}}}));
  EXPECT_EQ(kEngineOk, RecoverFileSet(Env::Default(), Names()).status);
  EXPECT_EQ((Bytes{1, 20, 30, 4}), ReadFileBytes(Names()[0]));
  EXPECT_EQ((Bytes{5, 5, 5}), ReadFileBytes(Names()[1]));
  EXPECT_FALSE(FileExists(Names()[2]));
  EXPECT_FALSE(FileExists(Journal()));
  EXPECT_EQ(kEngineOk, RecoverFileSet(Env::Default(), Names()).status) << "nothing left to do";
}

TEST_F(SetRecoveryTest, ALiveWriterOrAForeignJournalIsNotTouched) {
  WriteFileBytes(Names()[0], Bytes{1, 2, 3});
  const Bytes journalBytes = JournalBytes({{{RecordKind::kFileExisted, 0, 1, 0}, {}}});
  WriteFileBytes(Journal(), journalBytes);
  FileHandle writer = kInvalidFileHandle;
  ASSERT_TRUE(CGafRawFile().Open(Names()[0].c_str(), kOpenReadWrite, writer));
  EXPECT_EQ(eGafCannotOpen, RecoverFileSet(Env::Default(), Names()).status) << "the set is locked by its writer";
  CGafRawFile().Close(writer);
  EXPECT_EQ((Bytes{1, 2, 3}), ReadFileBytes(Names()[0]));

  Bytes foreign = journalBytes;
  foreign[1] = '?';
  WriteFileBytes(Journal(), foreign);
  const EngineError refused = RecoverFileSet(Env::Default(), Names());
  EXPECT_EQ(eGafJournalError, refused.status);
  EXPECT_EQ(Journal() + ": the journal is not one this library wrote (eGafJournalError)", refused.Describe());
  EXPECT_TRUE(FileExists(Journal()));
  EXPECT_EQ((Bytes{1, 2, 3}), ReadFileBytes(Names()[0]));

  WriteFileBytes(Journal(), Bytes{'K', 'G'});  // died before its magic was durable
  EXPECT_EQ(kEngineOk, RecoverFileSet(Env::Default(), Names()).status);
  EXPECT_FALSE(FileExists(Journal()));
  EXPECT_EQ((Bytes{1, 2, 3}), ReadFileBytes(Names()[0]));
}

}  // namespace
}  // namespace kro
