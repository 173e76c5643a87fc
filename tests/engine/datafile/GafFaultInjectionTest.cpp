// Every read, write, seek and size query of a scenario fails in turn: each
// run ends in the status of the failed call, without a crash or a leak, and a
// file closed before the fault is never damaged.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "GafTestSupport.h"
#include "engine/datafile/CGafFile.h"
#include "engine/datafile/GafByteOrder.h"
#include "support/FaultInjectingFileSystem.h"

namespace kro {
namespace {

using namespace test;

struct Fault {
  FileOp op;
  EngineStatus expected;
  const char* name;
};
const Fault kFaults[] = {{FileOp::kRead, eGafReadError, "read"},
                         {FileOp::kWrite, eGafWriteError, "write"},
                         {FileOp::kSeek, eGafSeekError, "seek"},
                         {FileOp::kSize, eGafReadError, "size"}};

// Keeps the first failure of a run.
struct FirstFailure {
  EngineStatus status = kEngineOk;
  EngineStatus See(EngineStatus s) {
    if (status == kEngineOk && s != kEngineOk && s != kEngineEndOfResults) status = s;
    return s;
  }
};

std::vector<GafObject> Objects(uint32_t seed, int count) {
  std::mt19937 random(seed);
  std::vector<GafObject> objects;
  for (int i = 0; i < count; ++i) objects.push_back(RandomObject(random, static_cast<EGafObjectType>(i % 6), 12));
  // More than the write buffer holds, so that records are flushed mid-record.
  std::vector<CKroDoublePointNode> many;
  for (int i = 0; i < 20000; ++i) many.push_back({i * 1.0, i * 2.0});
  GafObject big = MakeLine(kGafPolylineObject, std::move(many), "big");
  objects.insert(objects.begin() + count / 2, big);
  return objects;
}

class GafFaults : public ::testing::Test {
 protected:
  // Creates the file and writes `objects` into it; returns the first failure.
  EngineStatus WriteFile(const std::vector<GafObject>& objects, uint32_t flag = 10, Env& env = Env::Default()) {
    FirstFailure first;
    EngineStatus status;
    CGafFile file(name.c_str(), flag, status, env);
    if (first.See(status) != kEngineOk) return first.status;
    GafCoordSys c;
    first.See(file.SetCoordSys(&c));
    first.See(file.SetDescription("faults"));
    first.See(file.SetPrecision(64));
    for (const GafObject& o : objects) {
      uint32_t position;
      const EngineStatus written = first.See(file.WriteRecord(o, position));
      if (written != kEngineOk) {
        EXPECT_EQ(written, file.Status()) << "a failure stays";
        EXPECT_EQ(file.Error().status, written) << "with its error";
        EXPECT_EQ(file.Error().file, name);
        EXPECT_FALSE(file.Error().reason.empty());
      }
    }
    first.See(file.Close());
    return first.status;
  }

  // Reads the whole file; returns the first failure.
  EngineStatus ReadFile(std::vector<GafObject>& objects, Env& env = Env::Default()) {
    FirstFailure first;
    EngineStatus status;
    CGafFile file(name.c_str(), 1, status, env);
    if (first.See(status) != kEngineOk) return first.status;
    EngineStatus end;
    objects = ReadAll(file, end);
    first.See(end);
    if (end == kEngineEndOfResults) first.See(file.EndSearch());
    return first.status;
  }

  TempDir dir;
  std::string name = dir.File("fault.gaf");
};

TEST_F(GafFaults, WriteThenRead) {
  const std::vector<GafObject> objects = Objects(1, 18);
  ASSERT_EQ(WriteFile(objects), kEngineOk);
  const Bytes reference = LoadFile(name);
  for (const Fault& fault : kFaults) {
    for (uint64_t k = 1;; ++k) {
      SCOPED_TRACE(std::string(fault.name) + " " + std::to_string(k));
      FaultInjectingFileSystem files;
      std::remove(name.c_str());
      files.FailNth(fault.op, k);
      const EngineStatus written = WriteFile(objects, 10, files.Environment());
      if (files.Injected() > 0) {
        EXPECT_EQ(written, fault.expected) << StatusName(written);
        continue;
      }
      ASSERT_EQ(written, kEngineOk);
      ASSERT_TRUE(LoadFile(name) == reference);
      std::vector<GafObject> read;
      const EngineStatus status = ReadFile(read, files.Environment());
      EXPECT_TRUE(LoadFile(name) == reference) << "reading never changes the file";
      if (files.Injected() == 0) {
        ASSERT_EQ(status, kEngineOk);
        ASSERT_EQ(read.size(), objects.size());
        for (size_t i = 0; i < objects.size(); ++i) EXPECT_TRUE(SameObject(ExpectedReadBack(objects[i], 64), read[i]));
        break;
      }
      EXPECT_EQ(status, fault.expected) << StatusName(status);
    }
  }
}

TEST_F(GafFaults, AppendNeverDamagesTheRecordsAlreadyThere) {
  // The base file, one of whose points becomes a free record that the append
  // reuses (same string sizes, so the same length).
  std::vector<GafObject> old = Objects(2, 9);
  old[2] = MakePoint("freed-000", "k", 5, 5);
  ASSERT_EQ(WriteFile(old), kEngineOk);
  std::vector<uint32_t> positions;
  {
    auto file = OpenGaf(name, 1);
    EngineStatus end;
    ReadAll(*file, end, &positions);
  }
  Bytes base = LoadFile(name);
  const uint32_t freed = positions[2];
  const uint32_t freedEnd = positions[3];
  base[freed] = static_cast<uint8_t>(63 << 2 | (base[freed] & 3));
  gaf::StoreU32(&base[freed + 2], 0);
  gaf::StoreU32(&base[6], freed);
  old.erase(old.begin() + 2);
  positions.erase(positions.begin() + 2);

  std::vector<GafObject> added = Objects(3, 4);
  added.insert(added.begin(), MakePoint("reused-00", "r", 6, 6));
  for (const Fault& fault : kFaults) {
    for (uint64_t k = 1;; ++k) {
      SCOPED_TRACE(std::string(fault.name) + " " + std::to_string(k));
      RewriteFile(name, base);
      uint64_t injected;
      EngineStatus appended;
      {
        FaultInjectingFileSystem files;
        files.FailNth(fault.op, k);
        appended = WriteFile(added, 18, files.Environment());
        injected = files.Injected();
      }
      EXPECT_EQ(appended, injected > 0 ? fault.expected : kEngineOk) << StatusName(appended);

      EngineStatus opened;
      auto file = std::make_unique<CGafFile>(name.c_str(), 1, opened);
      if (injected > 0 && opened == eGafBadFormat) {
        // The append died before its end-of-data chunk, so a reader refuses
        // the file; the old records are still there byte for byte.
        const Bytes now = LoadFile(name);
        ASSERT_GE(now.size(), base.size() - 2);
        for (size_t at = positions[0]; at < base.size() - 2; ++at) {
          if (at >= freed && at < freedEnd) continue;
          ASSERT_EQ(now[at], base[at]) << "offset " << at;
        }
        continue;
      }
      ASSERT_EQ(opened, kEngineOk);
      for (size_t i = 0; i < old.size(); ++i) {
        EGafObjectType type;
        ASSERT_EQ(file->ReadRecordAt(positions[i], type), kEngineOk);
        GafObject read;
        ASSERT_EQ(file->ReadRecord(read), kEngineOk);
        ASSERT_TRUE(SameObject(ExpectedReadBack(old[i], 64), read)) << "old object " << i;
      }
      EXPECT_EQ(file->EndSearch(), kEngineOk);
      EngineStatus end;
      const auto all = ReadAll(*file, end);
      if (injected == 0) {
        EXPECT_EQ(end, kEngineEndOfResults);
        EXPECT_EQ(all.size(), old.size() + added.size());
        EXPECT_EQ(all[2].key, "r") << "the free record was reused";
        EXPECT_EQ(file->GetObjectCount(), old.size() + 1 + added.size()) << "the info chunk still counted the freed one";
        break;
      }
      EXPECT_TRUE(end == kEngineEndOfResults || end == eGafReadError || end == eGafBadFormat) << StatusName(end);
    }
  }
}

TEST_F(GafFaults, AFailedExistenceTestDoesNotCoverAFileWithANewHeader) {
  const std::vector<GafObject> objects = Objects(4, 3);
  ASSERT_EQ(WriteFile(objects), kEngineOk);
  {
    FaultInjectingFileSystem files;
    files.FailNth(FileOp::kExists, 1);
    auto file = OpenGaf(name, 18, kEngineOk, files.Environment());
    EXPECT_FALSE(file->IsNewFile());
    EXPECT_EQ(file->GetObjectCount(), objects.size());
  }
  std::vector<GafObject> read;
  EXPECT_EQ(ReadFile(read), kEngineOk);
  EXPECT_EQ(read.size(), objects.size());
}

TEST_F(GafFaults, FailingOpensLeaveNothingBehind) {
  FaultInjectingFileSystem files;
  files.FailNth(FileOp::kOpen, 1);
  EngineStatus status;
  { CGafFile file(name.c_str(), 10, status, files.Environment()); }
  EXPECT_EQ(status, eGafCannotOpen);
  EXPECT_FALSE(FileExists(name));
}

}  // namespace
}  // namespace kro
