// Every file operation of a write and of a read made to fail in turn: the
// facade reports each failure through its codes, never crashes, and a
// failure while reading never changes the set.
#include <gtest/gtest.h>

#include "fileset/FacadeTestSupport.h"
#include "support/FaultInjectingFileSystem.h"
#include "support/TempDir.h"

namespace kro::test {
namespace {

constexpr int kObjects = 40;

// Opens, writes kObjects polylines and closes; the number of writes that
// reported success.
int WriteSet(const std::string& stem, Env& env = Env::Default()) {
  CGafWriter writer(env);
  if (writer.Open((stem + ".gaf").c_str(), kGafCreateNew, -1) != 0) return -1;
  writer.SetDescription("faults");
  int written = 0;
  for (int i = 0; i < kObjects; ++i) {
    const EKroErrCode result = WriteHostObject(writer, Line("k" + std::to_string(i), i, i).Get(), nullptr);
    EXPECT_TRUE(result == eKroOk || result == eKroWriteError) << result;
    if (result == eKroOk) ++written;
  }
  // A failure says which file of the set failed and why.
  if (writer.Finish() != eKroOk) {
    const EngineError error = writer.LastError();
    EXPECT_EQ(error.status, writer.LastStatus());
    EXPECT_EQ(0u, error.file.rfind(stem, 0)) << error.Describe();
    EXPECT_FALSE(error.reason.empty()) << error.Describe();
  }
  return written;
}

// A sequential pass and a box search; the number of objects each found, or -1
// when the set could not be opened or a pass could not start.
std::pair<int, int> ReadSet(const std::string& stem, Env& env = Env::Default()) {
  CGafReader reader(env);
  if (reader.OpenForRead((stem + ".gaf").c_str(), kGafReadPartial) != eKroOk) return {-1, -1};
  std::pair<int, int> found{-1, -1};
  if (reader.BeginSequential() == eKroOk) found.first = static_cast<int>(PassKeyNumbers(reader).size());
  reader.EndSearch();
  const BoundingBoxNode box{0, 0, 10.5, 10.5};
  if (reader.BeginSpatialSearch(&box) == eKroOk) found.second = static_cast<int>(PassKeyNumbers(reader).size());
  return found;
}

TEST(FacadeFaultTest, AFailedFileOperationWhileWritingIsReportedNotCrashed) {
  for (bool sticky : {false, true}) {
    for (uint64_t nth = 1;; ++nth) {
      TempDir dir;
      FaultInjectingFileSystem files;
      files.FailNth(FileOp::kAnyIo, nth, sticky);
      const int written = WriteSet(dir.File("set"), files.Environment());
      if (files.Injected() == 0) {
        EXPECT_EQ(kObjects, written);
        break;
      }
      ASSERT_LT(nth, 10000u);
    }
  }
}

TEST(FacadeFaultTest, AFailedFileOperationWhileReadingLeavesTheSetIntact) {
  TempDir dir;
  const std::string stem = dir.File("set");
  ASSERT_EQ(kObjects, WriteSet(stem));
  const std::pair<int, int> clean = ReadSet(stem);
  ASSERT_EQ(kObjects, clean.first);
  ASSERT_EQ(11, clean.second);
  for (uint64_t nth = 1;; ++nth) {
    FaultInjectingFileSystem files;
    files.FailNth(FileOp::kAnyIo, nth);
    const std::pair<int, int> found = ReadSet(stem, files.Environment());
    EXPECT_LE(found.first, kObjects);
    EXPECT_LE(found.second, 11);
    EXPECT_EQ(clean, ReadSet(stem));
    if (files.Injected() == 0) {
      EXPECT_EQ(clean, found);
      break;
    }
    ASSERT_LT(nth, 10000u);
  }
}

}  // namespace
}  // namespace kro::test
