// SetFileStamps: what a parked reader notes of its set's files and how a
// change while it held no lock is told.
#include "engine/writesession/SetFileStamps.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include "engine/fileaccess/CGafRawFile.h"
#include "support/FaultInjectingFileSystem.h"
#include "support/TempDir.h"

namespace kro {
namespace {

using test::Bytes;
using test::FaultInjectingFileSystem;
using test::FileOp;
using test::TempDir;
using test::WriteFileBytes;

constexpr int64_t kMs = 1'000'000;
constexpr int64_t kSecond = 1'000'000'000;

struct RecencyCase {
  const char* what;
  int64_t stampBeforeNow;  // now - stamp
  int64_t resolution;
  bool tooRecent;
};

TEST(SetFileStampsRecency, TimesWithinTheMarginOfTheClockAreTooRecent) {
  const int64_t now = 1000 * kSecond + 500 * kMs;
  const RecencyCase cases[] = {
      {"older than the minimum margin", 10 * kMs + 1, 4 * kMs, false},
      {"exactly at the minimum margin", 10 * kMs, 4 * kMs, true},
      {"within one tick", 1 * kMs, 4 * kMs, true},
      {"in the future", -kSecond - 1, 4 * kMs, true},
      {"a coarse clock widens the margin", 40 * kMs, 50 * kMs, true},
      {"older than a coarse clock's step", 51 * kMs, 50 * kMs, false},
      {"a whole-second time is kept two seconds away", 1500 * kMs, 4 * kMs, true},
      {"a whole-second time older than two seconds", 3500 * kMs, 4 * kMs, false},
  };
  for (const RecencyCase& c : cases) {
    EXPECT_EQ(c.tooRecent, SetFileStamps::TooRecent(now - c.stampBeforeNow, StampClockReading{now, c.resolution}))
        << c.what;
  }
}

// The real files, with every identity of a name passed through `alter`.
class AlteringFileSystem : public FaultInjectingFileSystem {
 public:
  bool IdentityAt(const char* fileName, FileIdentity& identity) override {
    if (!FaultInjectingFileSystem::IdentityAt(fileName, identity)) return false;
    if (alter) alter(identity);
    return true;
  }
  std::function<void(FileIdentity&)> alter;
};

class SetFileStampsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (size_t i = 0; i < 2; ++i) {
      WriteFileBytes(names_[i], Bytes{1, 2, 3});
      ASSERT_TRUE(CGafRawFile().Open(names_[i].c_str(), kOpenReadOnly, handles_[i]));
    }
    files_.SetStampClock(LongAfterTheFilesWereWritten());
  }
  void TearDown() override {
    for (FileHandle handle : handles_) {
      if (handle != kInvalidFileHandle) CGafRawFile().Close(handle);
    }
  }

  StampClockReading LongAfterTheFilesWereWritten() const {
    FileIdentity identity;
    EXPECT_TRUE(OperatingSystemFiles().IdentityAt(names_[0].c_str(), identity));
    return StampClockReading{identity.changedNs + 60 * kSecond, 4 * kMs};
  }

  TempDir dir_;
  SetFileNames names_{dir_.File("set.gaf"), dir_.File("set.sif"), dir_.File("set.kif")};
  std::array<FileHandle, 3> handles_{kInvalidFileHandle, kInvalidFileHandle, kInvalidFileHandle};
  AlteringFileSystem files_;
  SetFileStamps stamps_{CGafRawFile(files_.Environment())};
};

TEST_F(SetFileStampsTest, UntouchedFilesAreUnchangedAndNothingIsBeforeTheFirstTake) {
  EXPECT_FALSE(stamps_.Unchanged());
  ASSERT_TRUE(stamps_.Take(names_, handles_));
  EXPECT_TRUE(stamps_.Unchanged());
  EXPECT_TRUE(stamps_.Unchanged()) << "asking again changes nothing";
}

TEST_F(SetFileStampsTest, EachFieldOfAnIdentityTellsAChange) {
  const std::pair<const char*, std::function<void(FileIdentity&)>> changes[] = {
      {"device", [](FileIdentity& id) { ++id.device; }},
      {"inode", [](FileIdentity& id) { ++id.inode; }},
      {"size", [](FileIdentity& id) { ++id.size; }},
      {"modification time", [](FileIdentity& id) { ++id.modifiedNs; }},
      {"status-change time", [](FileIdentity& id) { ++id.changedNs; }},
  };
  ASSERT_TRUE(stamps_.Take(names_, handles_));
  for (const auto& [what, change] : changes) {
    files_.alter = change;
    EXPECT_FALSE(stamps_.Unchanged()) << what;
  }
  files_.alter = nullptr;
  EXPECT_TRUE(stamps_.Unchanged());
}

TEST_F(SetFileStampsTest, AnAbsentFileMustStayAbsentAndAPresentOneMustStay) {
  ASSERT_TRUE(stamps_.Take(names_, handles_));
  WriteFileBytes(names_[2], Bytes{});
  EXPECT_FALSE(stamps_.Unchanged()) << "the key index appeared";
  ASSERT_EQ(0, std::remove(names_[2].c_str()));
  EXPECT_TRUE(stamps_.Unchanged());
  ASSERT_EQ(0, std::remove(names_[1].c_str()));
  EXPECT_FALSE(stamps_.Unchanged()) << "the spatial index went away";
}

TEST_F(SetFileStampsTest, FilesChangedJustBeforeTheStampsAreRefused) {
  FileIdentity identity;
  ASSERT_TRUE(CGafRawFile(files_.Environment()).IdentityOf(handles_[1], identity));
  files_.SetStampClock(StampClockReading{identity.changedNs + 2 * kMs, 4 * kMs});
  EXPECT_FALSE(stamps_.Take(names_, handles_));
  EXPECT_FALSE(stamps_.Unchanged()) << "refused stamps tell nothing";
  files_.SetStampClock(StampClockReading{identity.changedNs + 20 * kMs, 4 * kMs});
  EXPECT_TRUE(stamps_.Take(names_, handles_));
}

TEST_F(SetFileStampsTest, FailedCallsMakeTheStampsUnusable) {
  for (FileOp op : {FileOp::kStampClock, FileOp::kIdentity}) {
    files_.FailNth(op, 1);
    EXPECT_FALSE(stamps_.Take(names_, handles_)) << static_cast<int>(op);
    EXPECT_FALSE(stamps_.Unchanged());
  }
  ASSERT_TRUE(stamps_.Take(names_, handles_));
  files_.FailNth(FileOp::kIdentity, 1);
  EXPECT_FALSE(stamps_.Unchanged()) << "an identity that cannot be read is a change";
}

TEST(SetFileStampsDefaults, FileServicesWithoutIdentitiesNeverKeepAnything) {
  // A layer that overrides none of the optional calls.
  class PlainFiles : public FaultInjectingFileSystem {
   public:
    bool Unlock(FileHandle handle) override { return FileSystem::Unlock(handle); }
    bool IdentityOf(FileHandle handle, FileIdentity& identity) override {
      return FileSystem::IdentityOf(handle, identity);
    }
    bool ReadStampClock(StampClockReading& reading) override { return FileSystem::ReadStampClock(reading); }
  } plain;
  const CGafRawFile files(plain.Environment());
  TempDir dir;
  const SetFileNames names{dir.File("a.gaf"), dir.File("a.sif"), dir.File("a.kif")};
  SetFileStamps stamps(files);
  EXPECT_FALSE(stamps.Take(names, {kInvalidFileHandle, kInvalidFileHandle, kInvalidFileHandle}));
  EXPECT_FALSE(files.Unlock(kInvalidFileHandle));
}

}  // namespace
}  // namespace kro
