// ReaderPool: which parked reader a request gets, how many are kept, and
// that every reader the pool gives up or outlives is closed.
#include "drivers/ReaderPool.h"

#include <gtest/gtest.h>

#include "fileset/CGafReader.h"
#include "fileset/CGafWriter.h"
#include "support/DescriptorCount.h"
#include "support/FaultInjectingFileSystem.h"
#include "support/TempDir.h"

namespace kro {
namespace {

using test::FaultInjectingFileSystem;
using test::TempDir;

class ReaderPoolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* stem : {"a", "b", "c"}) {
      CGafWriter writer(files_.Environment());  // an empty set, made whole when the writer goes
      ASSERT_EQ(0u, writer.Open(Name(stem).c_str(), kGafCreateNew, 0));
      ASSERT_EQ(eKroOk, writer.SetPrecision(64));  // only 64-bit sets take appends
    }
    files_.SettleStampClock();
    descriptors_ = test::OpenDescriptorCount();
  }
  void TearDown() override {
    pool_.Reset();
    EXPECT_EQ(descriptors_, test::OpenDescriptorCount());
  }

  std::string Name(const char* stem) const { return dir_.File(std::string(stem) + ".gaf"); }

  std::unique_ptr<CGafReader> Open(const char* stem, EKroGafOpenFlags mode = kGafReadPartial) {
    auto reader = std::make_unique<CGafReader>(files_.Environment());
    EXPECT_EQ(eKroOk, reader->OpenForRead(Name(stem).c_str(), mode));
    return reader;
  }

  TempDir dir_;
  FaultInjectingFileSystem files_;
  ComPtr<ReaderPool> pool_ = ReaderPool::Create(files_.Environment());
  size_t descriptors_ = 0;
};

TEST_F(ReaderPoolTest, AParkedReaderGoesOnlyToARequestOfItsNameAndMode) {
  std::unique_ptr<CGafReader> reader = Open("a");
  const CGafReader* kept = reader.get();
  pool_->Give(std::move(reader), kGafReadPartial);
  EXPECT_EQ(1u, pool_->IdleCount());
  EXPECT_EQ(nullptr, pool_->Take(Name("a").c_str(), kGafReadOnly));
  EXPECT_EQ(nullptr, pool_->Take(Name("b").c_str(), kGafReadPartial));
  EXPECT_EQ(nullptr, pool_->Take(nullptr, kGafReadPartial));
  EXPECT_EQ(1u, pool_->IdleCount());

  std::unique_ptr<CGafReader> resumed = pool_->Take(Name("a").c_str(), kGafReadPartial);
  ASSERT_EQ(kept, resumed.get());
  EXPECT_FALSE(resumed->IsParked());
  EXPECT_EQ(eKroOk, resumed->BeginSequential());
  EXPECT_EQ(0u, pool_->IdleCount());
}

TEST_F(ReaderPoolTest, ThePoolKeepsTheMostRecentReadersAndClosesTheOldest) {
  const size_t perReader = 2;  // data file and spatial index
  for (const char* stem : {"a", "b", "c"}) pool_->Give(Open(stem), kGafReadPartial);
  EXPECT_EQ(ReaderPool::kCapacity, pool_->IdleCount());
  EXPECT_EQ(descriptors_ + ReaderPool::kCapacity * perReader, test::OpenDescriptorCount());
  EXPECT_EQ(nullptr, pool_->Take(Name("a").c_str(), kGafReadPartial)) << "the oldest made room";
  EXPECT_NE(nullptr, pool_->Take(Name("b").c_str(), kGafReadPartial));
  EXPECT_NE(nullptr, pool_->Take(Name("c").c_str(), kGafReadPartial));
}

TEST_F(ReaderPoolTest, ReadersThatCannotBeParkedOrResumedAreClosed) {
  pool_->Give(std::make_unique<CGafReader>(files_.Environment()), kGafReadPartial);
  pool_->Give(nullptr, kGafReadPartial);
  EXPECT_EQ(0u, pool_->IdleCount()) << "a reader that is not open is not kept";

  pool_->Give(Open("a"), kGafReadPartial);
  CGafWriter writer(files_.Environment());
  ASSERT_EQ(0u, writer.Open(Name("a").c_str(), kGafOpenAppend, 0));
  EXPECT_EQ(nullptr, pool_->Take(Name("a").c_str(), kGafReadPartial)) << "a writer holds the set";
  EXPECT_EQ(0u, pool_->IdleCount());
}

TEST_F(ReaderPoolTest, TheLastReferenceClosesEveryKeptReader) {
  pool_->Give(Open("a"), kGafReadPartial);
  pool_->Give(Open("b", kGafReadOnly), kGafReadOnly);
  ComPtr<ReaderPool> second = pool_;
  pool_.Reset();
  EXPECT_EQ(2u, second->IdleCount());
  second.Reset();
  EXPECT_EQ(descriptors_, test::OpenDescriptorCount());
}

}  // namespace
}  // namespace kro
