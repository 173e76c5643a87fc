// Parking a reader (its locks let go of, its files and caches kept) and
// resuming it: writers get in while it is parked, and any change, any
// writer still there and any journal beside the set stop it from resuming.
#include <gtest/gtest.h>

#include <cstdio>

#include "engine/writesession/SetFileTarget.h"
#include "fileset/FacadeTestSupport.h"
#include "support/DescriptorCount.h"
#include "support/FaultInjectingFileSystem.h"
#include "support/TempDir.h"

namespace kro::test {
namespace {

class ReaderParkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    {
      CGafWriter writer(files_.Environment());  // 300 polylines "k<i>", 97 to a row
      CreateSet(writer, Stem());
      WriteLines(writer, 300);
    }
    descriptors_ = OpenDescriptorCount();
    // The rule for recent times has tests of its own.
    files_.SettleStampClock();
  }
  void TearDown() override { EXPECT_EQ(descriptors_, OpenDescriptorCount()); }

  std::string Stem() const { return dir_.File("set"); }
  std::string DataFile() const { return Stem() + ".gaf"; }

  // The key numbers of a box search, sorted as the search hands them out.
  static std::vector<uint32_t> Search(CGafReader& reader) {
    BoundingBoxNode box{10, 0, 30, 2};
    EXPECT_EQ(eKroOk, reader.BeginSpatialSearch(&box));
    std::vector<uint32_t> keys = PassKeyNumbers(reader);
    reader.EndSearch();
    return keys;
  }
  std::vector<uint32_t> FreshSearch() {
    CGafReader reader(files_.Environment());
    EXPECT_EQ(eKroOk, reader.OpenForRead(DataFile().c_str(), kGafReadPartial));
    return Search(reader);
  }

  TempDir dir_;
  FaultInjectingFileSystem files_;
  size_t descriptors_ = 0;
};

TEST_F(ReaderParkTest, AResumedReaderStartsAFreshPassWithNothingLeftOfTheOldOne) {
  const std::vector<uint32_t> expected = FreshSearch();
  ASSERT_FALSE(expected.empty());
  CGafReader reader(files_.Environment());
  ASSERT_EQ(eKroOk, reader.OpenForRead(DataFile().c_str(), kGafReadPartial));
  BoundingBoxNode box{10, 0, 30, 2};
  ASSERT_EQ(eKroOk, reader.BeginSpatialSearch(&box));
  EGafObjectType kind = kGafUndefinedObject;
  ASSERT_EQ(eKroOk, reader.NextResult(&kind));  // a pass left half-way

  ASSERT_TRUE(reader.Park());
  EXPECT_TRUE(reader.IsParked());
  EXPECT_EQ(eKroReadError, reader.BeginSequential()) << "a parked reader holds no lock and reads nothing";
  EXPECT_FALSE(reader.Park()) << "parked once";

  files_.ResetCounts();
  ASSERT_TRUE(reader.Resume());
  EXPECT_EQ(0u, files_.Calls(FileOp::kOpen));
  EXPECT_EQ(eKroReadError, reader.NextResult(&kind)) << "no pass runs after a resume";
  EXPECT_EQ(300, reader.GetNumberOfObjects());
  EXPECT_EQ(expected, Search(reader));
  EXPECT_FALSE(reader.Resume()) << "not parked";
}

TEST_F(ReaderParkTest, AWriterAppendsWhileTheReaderIsParkedAndTheReaderThenRefusesToResume) {
  CGafReader reader(files_.Environment());
  ASSERT_EQ(eKroOk, reader.OpenForRead(DataFile().c_str(), kGafReadPartial));
  {
    CGafWriter blocked(files_.Environment());
    EXPECT_NE(0u, blocked.Open(DataFile().c_str(), kGafOpenAppend, 0)) << "an open reader keeps writers out";
  }
  // Parked and resumed a few times first: a reader parked again keeps the
  // stamps it was resumed with, and they must still tell the change.
  for (int cycle = 0; cycle < 3; ++cycle) ASSERT_TRUE(reader.Park() && reader.Resume());
  ASSERT_TRUE(reader.Park());
  {
    CGafWriter writer(files_.Environment());
    ASSERT_EQ(0u, writer.Open(DataFile().c_str(), kGafOpenAppend, 0)) << "a parked reader keeps nobody out";
    WriteLines(writer, 5, 20);  // five more objects, keys 20 to 24, inside the box
  }
  EXPECT_FALSE(reader.Resume());
  CGafReader fresh(files_.Environment());
  ASSERT_EQ(eKroOk, fresh.OpenForRead(DataFile().c_str(), kGafReadPartial));
  EXPECT_EQ(305, fresh.GetNumberOfObjects());
}

TEST_F(ReaderParkTest, AWriterStillHoldingTheSetStopsTheResumeAndAFreshOpenFailsAsAlways) {
  CGafReader reader(files_.Environment());
  ASSERT_EQ(eKroOk, reader.OpenForRead(DataFile().c_str(), kGafReadOnly));
  ASSERT_TRUE(reader.Park());
  CGafWriter writer(files_.Environment());
  ASSERT_EQ(0u, writer.Open(DataFile().c_str(), kGafOpenAppend, 0));
  EXPECT_FALSE(reader.Resume());
  CGafReader fresh(files_.Environment());
  EXPECT_EQ(eKroUnableToOpen, fresh.OpenForRead(DataFile().c_str(), kGafReadOnly));
}

TEST_F(ReaderParkTest, AJournalBesideTheSetStopsTheResume) {
  CGafReader reader(files_.Environment());
  ASSERT_EQ(eKroOk, reader.OpenForRead(DataFile().c_str(), kGafReadOnly));
  ASSERT_TRUE(reader.Park());
  const std::string journal = JournalNameFor(DataFile());
  WriteFileBytes(journal, Bytes{});
  EXPECT_FALSE(reader.Resume()) << "the fresh open rolls the set back first";
  std::remove(journal.c_str());
}

TEST_F(ReaderParkTest, OnlyAReaderOfAWholeSoundSetParks) {
  CGafReader closed(files_.Environment());
  EXPECT_FALSE(closed.Park());

  CGafReader dataOnly(files_.Environment());
  ASSERT_EQ(eKroOk, dataOnly.OpenDataFileOnly(DataFile().c_str()));
  EXPECT_FALSE(dataOnly.Park()) << "no spatial index";

  CGafReader failed(files_.Environment());
  ASSERT_EQ(eKroOk, failed.OpenForRead(DataFile().c_str(), kGafReadOnly));
  ASSERT_EQ(eKroOk, failed.BeginSequential());
  files_.FailNth(FileOp::kRead, 1, true);
  EGafObjectType kind = kGafUndefinedObject;
  ASSERT_EQ(eKroReadError, failed.NextResult(&kind));
  files_.Disarm();
  EXPECT_FALSE(failed.Park()) << "a reader that met a failure is not kept";
}

TEST_F(ReaderParkTest, EveryFailingCallOfParkOrResumeLeavesAReaderToDestroyAndNoDescriptor) {
  const std::vector<uint32_t> expected = FreshSearch();
  struct Fault {
    FileOp op;
    uint64_t nth;
    bool parks;
  };
  const Fault faults[] = {
      {FileOp::kStampClock, 1, false}, {FileOp::kIdentity, 1, false}, {FileOp::kIdentity, 2, false},
      {FileOp::kUnlock, 1, false},     {FileOp::kUnlock, 2, false},   {FileOp::kLockShared, 1, true},
      {FileOp::kLockShared, 2, true},  {FileOp::kIdentity, 3, true},  {FileOp::kIdentity, 4, true},
  };
  for (const Fault& fault : faults) {
    SCOPED_TRACE(static_cast<int>(fault.op) * 10 + static_cast<int>(fault.nth));
    {
      CGafReader reader(files_.Environment());
      ASSERT_EQ(eKroOk, reader.OpenForRead(DataFile().c_str(), kGafReadPartial));
      files_.FailNth(fault.op, fault.nth);
      const bool parked = reader.Park();
      EXPECT_EQ(fault.parks, parked);
      if (parked) {
        EXPECT_FALSE(reader.Resume());
      }
      files_.Disarm();
    }
    EXPECT_EQ(descriptors_, OpenDescriptorCount());
    EXPECT_EQ(expected, FreshSearch());
  }
}

}  // namespace
}  // namespace kro::test
