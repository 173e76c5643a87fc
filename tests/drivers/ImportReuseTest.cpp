// Repeated queries through one import object: the reader of a finished
// enumerator is parked and resumed by the next one, which spares opening
// the set, while writers are kept out exactly as before and every change of
// the set in between sends the next query to a fresh open.
#include <gtest/gtest.h>

#include <cstdio>

#include "com/ModuleLock.h"
#include "com/ComCreate.h"
#include "drivers/CGafImport.h"
#include "drivers/DriverTestSupport.h"
#include "support/DescriptorCount.h"
#include "support/FaultInjectingFileSystem.h"
#include "support/TempDir.h"

namespace kro::test {
namespace {

constexpr int64_t kTick = 4'000'000;

using Keys = std::vector<std::string>;

class ImportReuseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    moduleLocks_ = ModuleLockCount();
    descriptors_ = OpenDescriptorCount();
    files_.SettleStampClock();  // the rule for recent times has a test of its own
    MakeSet(FileName(), 40, "k");
    // The import object reads over the test's files: their opens are counted.
    ComPtr<CGafImport> importer = MakeObject<CGafImport>(files_.Environment());
    ASSERT_TRUE(importer);
    ASSERT_EQ(S_OK, importer->QueryInterface(IID_IKroGafImport, importer_.PutVoid()));
    EKroErrCode code = eKroUnknownErr;
    ASSERT_EQ(S_OK, importer_->Initialize(Preferences().Get(), &code));
  }
  void TearDown() override {
    importer_.Reset();
    EXPECT_EQ(0, LiveHostObjects());
    EXPECT_EQ(moduleLocks_, ModuleLockCount());
    EXPECT_EQ(descriptors_, OpenDescriptorCount()) << "every parked reader is closed with the last owner";
  }

  std::string FileName(const std::string& stem = "set") const { return dir_.File(stem + ".gaf"); }

  // Polylines "<prefix><i>" for i from `first`, at x = i along the x axis.
  static std::vector<HostShape> Lines(int count, const std::string& prefix, int first = 0) {
    std::vector<HostShape> shapes;
    for (int i = first; i < first + count; ++i) {
      shapes.push_back(LineShape({{1.0 * i, 0}, {i + 0.5, 1}}, prefix + std::to_string(i)));
    }
    return shapes;
  }
  static EKroErrCode Export(const std::string& fileName, const std::vector<HostShape>& shapes,
                            EKroGafOpenFlags mode, LONG useKif = 0) {
    PreferencesSetup setup;
    setup.fileName = fileName;
    setup.openMode = mode;
    setup.precision = 64;
    setup.useKif = useKif;
    return ExportShapes(shapes, setup).code;
  }
  static void MakeSet(const std::string& fileName, int count, const std::string& prefix, LONG useKif = 0) {
    ASSERT_EQ(eKroOk, Export(fileName, Lines(count, prefix), kGafCreateNew, useKif));
  }
  EKroErrCode Append(int count, int first) { return Export(FileName(), Lines(count, "k", first), kGafOpenAppend); }

  ComPtr<IKroGafPreferences> Preferences() const {
    PreferencesSetup setup;
    setup.fileName = FileName();
    setup.openMode = kGafReadPartial;
    return MakePreferences(setup);
  }

  ComPtr<IKroGeometrySource> Import() {
    BoundingBoxNode box{10, 0, 29.9, 1};  // objects 10 to 29, and those appended there
    ComPtr<IKroGeometrySource> source;
    EKroErrCode code = eKroUnknownErr;
    EXPECT_EQ(S_OK, importer_->Import(Preferences().Get(), &box, source.Put(), &code));
    return source;
  }

  // The keys of every object of the enumerator's pass.
  static Keys Drain(IKroEnumGeometry* enumerator) {
    Keys keys;
    IKroGeometry* batch[16];
    ULONG fetched = 0;
    do {
      EXPECT_EQ(S_OK, enumerator->Next(16, batch, &fetched));
      for (ULONG i = 0; i < fetched; ++i) {
        keys.push_back(ShapeOf(batch[i]).key.value_or("<null>"));
        batch[i]->Release();
      }
    } while (fetched != 0);
    return keys;
  }

  // One box query as a host makes it: Import, EnumGeometry, Next to the end,
  // everything released. Empty when the enumerator cannot be had.
  Keys Query() {
    ComPtr<IKroEnumGeometry> enumerator;
    if (Import()->EnumGeometry(enumerator.Put()) != S_OK) return {};
    return Drain(enumerator.Get());
  }

  // Opens of files made by one query.
  uint64_t OpensOfQuery(Keys* keys = nullptr) {
    const uint64_t before = files_.Calls(FileOp::kOpen);
    Keys got = Query();
    if (keys != nullptr) *keys = std::move(got);
    return files_.Calls(FileOp::kOpen) - before;
  }

  static Keys KeyRange(const std::string& prefix, int first, int count) {
    Keys keys;
    for (int i = first; i < first + count; ++i) keys.push_back(prefix + std::to_string(i));
    return keys;
  }

  TempDir dir_;
  FaultInjectingFileSystem files_;
  ComPtr<IKroGafImport> importer_;
  LONG moduleLocks_ = 0;
  size_t descriptors_ = 0;
};

TEST_F(ImportReuseTest, AHundredQueriesOpenTheSetOnce) {
  const Keys expected = KeyRange("k", 10, 20);
  files_.ResetCounts();
  Keys keys;
  const uint64_t firstOpens = OpensOfQuery(&keys);
  EXPECT_EQ(expected, keys);
  EXPECT_GE(firstOpens, 2u) << "data file and spatial index";
  for (int i = 1; i < 100; ++i) {
    ASSERT_EQ(0u, OpensOfQuery(&keys)) << "query " << i;
    ASSERT_EQ(expected, keys) << "query " << i;
  }
  EXPECT_EQ(99u * 2, files_.Calls(FileOp::kLockShared)) << "both files locked again for each resumed query";
  EXPECT_EQ(100u * 2, files_.Calls(FileOp::kUnlock));
}

TEST_F(ImportReuseTest, AnIdleImportObjectLetsAWriterAppendAndTheNextQuerySeesTheNewObjects) {
  EXPECT_EQ(KeyRange("k", 10, 20), Query());
  ASSERT_EQ(eKroOk, Append(5, 100)) << "nothing holds the set while no enumerator is alive";
  // The appended objects lie at x = 100 to 104, outside the box: put five
  // inside it as well.
  std::vector<HostShape> inside;
  for (int i = 0; i < 5; ++i) inside.push_back(LineShape({{20.25, 0.25}, {20.5, 0.5}}, "in" + std::to_string(i)));
  ASSERT_EQ(eKroOk, Export(FileName(), inside, kGafOpenAppend));

  Keys keys;
  EXPECT_GT(OpensOfQuery(&keys), 0u) << "the set changed: opened afresh";
  EXPECT_EQ(25u, keys.size());
  for (int i = 0; i < 5; ++i) EXPECT_NE(keys.end(), std::find(keys.begin(), keys.end(), "in" + std::to_string(i)));

  EKroErrCode code = eKroUnknownErr;
  ASSERT_EQ(S_OK, importer_->Initialize(Preferences().Get(), &code));
  LONG count = 0;
  EXPECT_EQ(S_OK, importer_->GetNumberOfObjects(&count));
  EXPECT_EQ(50, count);
  EXPECT_EQ(S_OK, Import()->GetNumberOfObjects(&count));
  EXPECT_EQ(50, count);
}

TEST_F(ImportReuseTest, AnOpenEnumeratorKeepsWritersOutAndAnIdleOneDoesNot) {
  EXPECT_EQ(KeyRange("k", 10, 20), Query());  // a reader is parked now
  {
    ComPtr<IKroEnumGeometry> enumerator;
    ASSERT_EQ(S_OK, Import()->EnumGeometry(enumerator.Put()));
    EXPECT_NE(eKroOk, Append(1, 200)) << "the resumed reader holds its shared locks again";
    EXPECT_EQ(KeyRange("k", 10, 20), Drain(enumerator.Get()));
    EXPECT_NE(eKroOk, Append(1, 200)) << "a finished pass still holds the set until released";
  }
  EXPECT_EQ(eKroOk, Append(1, 200));
}

TEST_F(ImportReuseTest, AWriterHoldingTheSetFailsTheQueryAsAFreshOpenDoes) {
  EXPECT_EQ(KeyRange("k", 10, 20), Query());
  ComPtr<IKroEnumGeometry> enumerator;
  {
    // The data file opened for writing, with the exclusive lock every
    // writer takes, and held while the query runs.
    FileHandle writer = kInvalidFileHandle;
    ASSERT_TRUE(OperatingSystemFiles().Open(FileName().c_str(), kOpenReadWrite, writer));
    EXPECT_EQ(S_FALSE, Import()->EnumGeometry(enumerator.Put()));
    EXPECT_FALSE(enumerator);
    OperatingSystemFiles().Close(writer);
  }
  EXPECT_EQ(KeyRange("k", 10, 20), Query()) << "the writer left";
}

TEST_F(ImportReuseTest, ASetRenamedOverTheOldOneIsReadFromTheNewFiles) {
  EXPECT_EQ(KeyRange("k", 10, 20), Query());
  MakeSet(FileName("other"), 40, "other");
  for (const char* extension : {".gaf", ".sif"}) {
    ASSERT_EQ(0, std::rename(dir_.File(std::string("other") + extension).c_str(),
                             dir_.File(std::string("set") + extension).c_str()));
  }
  Keys keys;
  EXPECT_GT(OpensOfQuery(&keys), 0u);
  EXPECT_EQ(KeyRange("other", 10, 20), keys);
}

TEST_F(ImportReuseTest, AKeyIndexRemovedOrAddedMeanwhileIsNoticed) {
  MakeSet(FileName("keyed"), 40, "k", -1);
  const std::string kif = dir_.File("keyed.kif");
  const std::string aside = dir_.File("aside.kif");
  // The set with a key index replaces the one without, so that the import
  // object's preferences keep naming it.
  for (const char* extension : {".gaf", ".sif"}) {
    ASSERT_EQ(0, std::rename(dir_.File(std::string("keyed") + extension).c_str(),
                             dir_.File(std::string("set") + extension).c_str()));
  }
  ASSERT_EQ(0, std::rename(kif.c_str(), dir_.File("set.kif").c_str()));
  const Keys expected = KeyRange("k", 10, 20);
  Keys keys;
  EXPECT_GT(OpensOfQuery(&keys), 0u);
  EXPECT_EQ(expected, keys);
  EXPECT_EQ(0u, OpensOfQuery(&keys));

  ASSERT_EQ(0, std::rename(dir_.File("set.kif").c_str(), aside.c_str()));
  EXPECT_GT(OpensOfQuery(&keys), 0u) << "the key index went away";
  EXPECT_EQ(expected, keys);
  EXPECT_EQ(0u, OpensOfQuery(&keys));

  ASSERT_EQ(0, std::rename(aside.c_str(), dir_.File("set.kif").c_str()));
  EXPECT_GT(OpensOfQuery(&keys), 0u) << "a key index appeared";
  EXPECT_EQ(expected, keys);
  EXPECT_EQ(0u, OpensOfQuery(&keys));
}

TEST_F(ImportReuseTest, ASetChangedJustBeforeParkingIsNotKept) {
  FileIdentity identity;
  ASSERT_TRUE(OperatingSystemFiles().IdentityAt(FileName().c_str(), identity));
  // The clock reads within one tick of the data file's last change, as it
  // would when the set was written just before the query.
  files_.SetStampClock(StampClockReading{identity.changedNs + kTick / 2, kTick});
  for (int i = 0; i < 3; ++i) {
    Keys keys;
    EXPECT_GT(OpensOfQuery(&keys), 0u) << i;
    EXPECT_EQ(KeyRange("k", 10, 20), keys);
  }
  files_.SettleStampClock();
  OpensOfQuery();
  EXPECT_EQ(0u, OpensOfQuery()) << "once the times are settled, the reader is kept";
}

TEST_F(ImportReuseTest, FailingCallsOfParkingOrResumingFallBackToAFreshOpen) {
  const Keys expected = KeyRange("k", 10, 20);
  for (FileOp op : {FileOp::kUnlock, FileOp::kLockShared, FileOp::kIdentity, FileOp::kStampClock}) {
    for (uint64_t nth = 1; nth <= 4; ++nth) {
      SCOPED_TRACE(testing::Message() << "op " << static_cast<int>(op) << " call " << nth);
      EXPECT_EQ(expected, Query());
      files_.FailNth(op, nth);
      Keys keys;
      uint64_t opens = OpensOfQuery(&keys);
      EXPECT_EQ(expected, keys);
      opens += OpensOfQuery(&keys);
      EXPECT_EQ(expected, keys);
      const bool injected = files_.Injected() > 0;
      files_.Disarm();
      opens += OpensOfQuery(&keys);
      EXPECT_EQ(expected, keys);
      if (injected) {
        EXPECT_GT(opens, 0u) << "a reader whose parking or resuming failed is closed and the set opened afresh";
      }
      EXPECT_EQ(descriptors_ + 2, OpenDescriptorCount()) << "one parked reader with its two files, nothing more";
    }
  }
  EXPECT_EQ(0u, OpensOfQuery()) << "reuse goes on once the calls work again";
}

TEST_F(ImportReuseTest, TheParkedReadersOutliveTheImportObject) {
  ComPtr<IKroGeometrySource> source = Import();
  importer_.Reset();
  for (int i = 0; i < 3; ++i) {
    const uint64_t before = files_.Calls(FileOp::kOpen);
    ComPtr<IKroEnumGeometry> enumerator;
    ASSERT_EQ(S_OK, source->EnumGeometry(enumerator.Put()));
    EXPECT_EQ(KeyRange("k", 10, 20), Drain(enumerator.Get()));
    if (i > 0) {
      EXPECT_EQ(before, files_.Calls(FileOp::kOpen)) << i;
    }
  }
  // The source goes last; TearDown finds every descriptor closed.
}

TEST_F(ImportReuseTest, EnumeratorsAliveTogetherEachHaveTheirOwnReader) {
  ComPtr<IKroGeometrySource> source = Import();
  for (int round = 0; round < 3; ++round) {
    std::vector<ComPtr<IKroEnumGeometry>> enumerators(3);
    for (auto& enumerator : enumerators) ASSERT_EQ(S_OK, source->EnumGeometry(enumerator.Put()));
    for (auto& enumerator : enumerators) EXPECT_EQ(KeyRange("k", 10, 20), Drain(enumerator.Get()));
    ComPtr<IKroEnumGeometry> clone;
    ASSERT_EQ(S_OK, enumerators[0]->Clone(clone.Put()));
    EXPECT_EQ(KeyRange("k", 10, 20), Drain(clone.Get()));
  }
}

}  // namespace
}  // namespace kro::test
