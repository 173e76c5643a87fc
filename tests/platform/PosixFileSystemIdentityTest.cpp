// PosixFileSystem: a reader's lock let go of and taken back, file
// identities of handles and names, and the clock that stamps file times.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

#include "platform/PosixFileSystem.h"
#include "support/TempDir.h"

namespace kro {
namespace {

using test::Bytes;
using test::TempDir;
using test::WriteFileBytes;

class PosixFileIdentityTest : public ::testing::Test {
 protected:
  void SetUp() override { WriteFileBytes(name_, Bytes{1, 2, 3}); }
  void TearDown() override {
    for (FileHandle handle : {reader_, writer_}) {
      if (handle != kInvalidFileHandle) files_.Close(handle);
    }
  }

  bool OpenWriter() { return files_.Open(name_.c_str(), kOpenReadWrite, writer_); }

  FileSystem& files_ = OperatingSystemFiles();
  TempDir dir_;
  std::string name_ = dir_.File("file.bin");
  FileHandle reader_ = kInvalidFileHandle;
  FileHandle writer_ = kInvalidFileHandle;
};

TEST_F(PosixFileIdentityTest, AnUnlockedReaderLetsAWriterInAndRelocksOnlyOnceItLeft) {
  ASSERT_TRUE(files_.Open(name_.c_str(), kOpenReadOnly, reader_));
  EXPECT_FALSE(OpenWriter()) << "a reader's shared lock keeps writers out";
  ASSERT_TRUE(files_.Unlock(reader_));
  ASSERT_TRUE(OpenWriter()) << "an unlocked reader keeps nobody out";
  EXPECT_FALSE(files_.LockShared(reader_)) << "the writer holds the file";
  ASSERT_TRUE(files_.Close(writer_));
  writer_ = kInvalidFileHandle;
  ASSERT_TRUE(files_.LockShared(reader_));
  EXPECT_FALSE(OpenWriter()) << "the lock taken back keeps writers out again";
}

TEST_F(PosixFileIdentityTest, HandlesTheLayerDidNotOpenAreRefused) {
  FileIdentity identity;
  for (FileHandle handle : {kInvalidFileHandle, FileHandle{STDERR_FILENO}, FileHandle{70000}}) {
    EXPECT_FALSE(files_.Unlock(handle)) << handle;
    EXPECT_FALSE(files_.LockShared(handle)) << handle;
    EXPECT_FALSE(files_.IdentityOf(handle, identity)) << handle;
  }
}

TEST_F(PosixFileIdentityTest, HandleAndNameAgreeAndAGrowingFileChangesItsIdentity) {
  ASSERT_TRUE(files_.Open(name_.c_str(), kOpenReadOnly, reader_));
  FileIdentity before;
  FileIdentity named;
  ASSERT_TRUE(files_.IdentityOf(reader_, before));
  ASSERT_TRUE(files_.IdentityAt(name_.c_str(), named));
  EXPECT_EQ(before, named);
  EXPECT_EQ(3u, before.size);

  FILE* other = std::fopen(name_.c_str(), "ab");  // past the advisory lock
  ASSERT_NE(nullptr, other);
  std::fputc(4, other);
  std::fclose(other);
  FileIdentity after;
  ASSERT_TRUE(files_.IdentityOf(reader_, after));
  EXPECT_TRUE(after.SameFile(before));
  EXPECT_NE(after, before);
  EXPECT_EQ(4u, after.size);
}

TEST_F(PosixFileIdentityTest, AFileRenamedOverTheNameIsAnotherFile) {
  ASSERT_TRUE(files_.Open(name_.c_str(), kOpenReadOnly, reader_));
  const std::string replacement = dir_.File("replacement.bin");
  WriteFileBytes(replacement, Bytes{1, 2, 3});
  ASSERT_EQ(0, std::rename(replacement.c_str(), name_.c_str()));
  FileIdentity kept;
  FileIdentity named;
  ASSERT_TRUE(files_.IdentityOf(reader_, kept));
  ASSERT_TRUE(files_.IdentityAt(name_.c_str(), named));
  EXPECT_FALSE(named.SameFile(kept)) << "the kept descriptor pins the old inode, so the new file has another";
}

TEST_F(PosixFileIdentityTest, MissingNamesAndDirectoriesHaveNoIdentity) {
  FileIdentity identity;
  EXPECT_FALSE(files_.IdentityAt(dir_.File("missing.bin").c_str(), identity));
  EXPECT_FALSE(files_.IdentityAt(dir_.path().c_str(), identity));
  EXPECT_FALSE(files_.IdentityAt(nullptr, identity));
}

TEST_F(PosixFileIdentityTest, AChangeIsStampedNoEarlierThanTheClockReadBeforeIt) {
  StampClockReading clock;
  ASSERT_TRUE(files_.ReadStampClock(clock));
  EXPECT_GT(clock.resolutionNs, 0);
  EXPECT_LE(clock.resolutionNs, 1'000'000'000);
  EXPECT_NEAR(static_cast<double>(clock.nowNs) / 1e9, static_cast<double>(std::time(nullptr)), 2.0);

  WriteFileBytes(name_, Bytes{9, 9});
  FileIdentity changed;
  ASSERT_TRUE(files_.IdentityAt(name_.c_str(), changed));
  EXPECT_GE(changed.changedNs, clock.nowNs);
  EXPECT_GE(changed.modifiedNs, clock.nowNs);
}

TEST(RemoteFileSystemTypes, NetworkAndUserSpaceFileSystemsAreToldFromLocalOnes) {
  struct Case {
    uint64_t type;
    bool remote;
  };
  const Case cases[] = {{0x6969, true},      {0xFF534D42, true}, {0xFE534D42, true}, {0x517B, true},
                        {0x65735546, true},  {0x00C36400, true}, {0x01021997, true}, {0xEF53, false},
                        {0x01021994, false}, {0x58465342, false}, {0x9123683E, false}, {0x794C7630, false}};
  for (const Case& c : cases) EXPECT_EQ(c.remote, IsRemoteFileSystemType(c.type)) << std::hex << c.type;
}

}  // namespace
}  // namespace kro
