// Opening: creation modes, and the headers that are accepted or refused. A
// refused header leaves the object destroyable and the file untouched.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "SifTestSupport.h"
#include "engine/spatialindex/SifFormat.h"

namespace kro::test {
namespace {

// A two-level index file to patch.
Bytes SampleFile(const std::string& path) {
  {
    auto index = OpenIndex(path, kCreate);
    for (uint32_t i = 1; i <= 30; ++i) EXPECT_EQ(index->Insert(0, Box(i, i, i + 1, i + 1), 2 * i), kEngineOk);
  }
  return ReadFileBytes(path);
}

EngineStatus OpenStatus(const std::string& path, uint32_t flags) {
  EngineStatus status = kEngineOk;
  CSpatialIndex index(path.c_str(), flags, status);
  return status;
}

TEST(SifOpen, CreationModes) {
  TempDir dir;
  const std::string path = dir.File("a.sif");
  EXPECT_EQ(OpenStatus(path, kOpenReadWrite), eSifCannotOpen);
  EXPECT_EQ(OpenStatus(path, kOpenReadOnly), eSifCannotOpen);
  EXPECT_FALSE(FileExists(path));
  EXPECT_EQ(OpenStatus(path, kOpenReadWrite | kOpenCreateAlways), kEngineOk);
  EXPECT_EQ(ReadFileBytes(path).size(), 512u);
  EXPECT_EQ(OpenStatus(path, kOpenReadWrite | kOpenCreateNew), eSifCannotOpen);

  const Bytes sample = SampleFile(path);
  EXPECT_EQ(OpenStatus(path, kOpenReadWrite | kOpenCreateAlways), kEngineOk) << "opens the existing file";
  EXPECT_EQ(ReadFileBytes(path), sample);
  EXPECT_EQ(OpenStatus(path, kCreate), kEngineOk);
  EXPECT_EQ(ReadFileBytes(path).size(), 512u) << "truncated and given a fresh header";
  EngineStatus status = kEngineOk;
  CSpatialIndex unnamed(nullptr, kCreate, status);
  EXPECT_EQ(status, eSifCannotOpen);
}

TEST(SifOpen, VersionsUpToTwoAreReadAndNewerOnesRefused) {
  TempDir dir;
  const std::string path = dir.File("a.sif");
  Bytes file = SampleFile(path);
  for (uint32_t version : {0u, 1u, 2u}) {
    PutU16At(file, sif::kVersionOffset, version);
    WriteFileBytes(path, file);
    EngineStatus status = kEngineOk;
    CSpatialIndex index(path.c_str(), kOpenReadOnly, status);
    ASSERT_EQ(status, kEngineOk) << version;
    EXPECT_EQ(index.GetVersion(), version);
    EXPECT_EQ(SearchAll(index, Box(0, 0, 100, 100)).size(), 30u);
  }
  PutU16At(file, sif::kVersionOffset, 3);
  WriteFileBytes(path, file);
  EXPECT_EQ(OpenStatus(path, kUpdate), eSifBadVersion);
  EXPECT_EQ(ReadFileBytes(path), file) << "a refused header is never rewritten";
}

TEST(SifOpen, BadMagicAndShortFilesAreRefused) {
  TempDir dir;
  const std::string path = dir.File("a.sif");
  Bytes file = SampleFile(path);
  file[3] = 'G';
  WriteFileBytes(path, file);
  EXPECT_EQ(OpenStatus(path, kUpdate), eSifNotASif);
  EXPECT_EQ(ReadFileBytes(path), file);

  WriteFileBytes(path, Bytes(file.begin(), file.begin() + 511));
  EXPECT_EQ(OpenStatus(path, kOpenReadOnly), eSifReadError);
  WriteFileBytes(path, Bytes());
  EXPECT_EQ(OpenStatus(path, kUpdate), eSifReadError);
  EXPECT_EQ(ReadFileBytes(path).size(), 0u);
}

struct HeaderPatch {
  const char* what;
  std::function<void(Bytes&)> apply;
};

// Headers that do not fit the engine's buffers or cannot describe a tree are
// refused as not being a spatial index this engine can read.
TEST(SifOpen, HeadersBeyondTheEnginesLimitsAreRefused) {
  const HeaderPatch patches[] = {
      {"maximum above 50", [](Bytes& f) { PutU16At(f, sif::kMaximumOffset, 51); }},
      {"maximum below 2", [](Bytes& f) {
         PutU16At(f, sif::kMaximumOffset, 1);
         PutU16At(f, sif::kMinimumOffset, 1);
       }},
      {"minimum 0", [](Bytes& f) { PutU16At(f, sif::kMinimumOffset, 0); }},
      {"minimum above maximum", [](Bytes& f) { PutU16At(f, sif::kMinimumOffset, 21); }},
      {"coordinate bits 16", [](Bytes& f) { PutU16At(f, sif::kCoordinateBitsOffset, 16); }},
      {"coordinate bits 0", [](Bytes& f) { PutU16At(f, sif::kCoordinateBitsOffset, 0); }},
      {"description of 256 bytes", [](Bytes& f) {
         f[32] = 0xFF;
         PutU16At(f, 33, 256);
       }},
      {"height above 30", [](Bytes& f) { PutU16At(f, sif::kHeightOffset, 31); }},
      {"height without a root", [](Bytes& f) { PutU32At(f, sif::kRootOffset, 0); }},
      {"root without a height", [](Bytes& f) { PutU16At(f, sif::kHeightOffset, 0); }},
  };
  TempDir dir;
  const std::string path = dir.File("a.sif");
  const Bytes sample = SampleFile(path);
  for (const HeaderPatch& patch : patches) {
    Bytes file = sample;
    patch.apply(file);
    WriteFileBytes(path, file);
    EngineStatus status = kEngineOk;
    {
      CSpatialIndex index(path.c_str(), kUpdate, status);
      EXPECT_EQ(status, eSifNotASif) << patch.what << ": " << StatusName(status);
      uint32_t position = 1;
      uint32_t type = 1;
      BoundingBoxNode box{};
      EXPECT_EQ(index.GetNextHit(position, type, box), eSifNoSearch);
      EXPECT_EQ(index.Insert(0, Box(0, 0, 1, 1), 2), eSifCannotOpen);
      EXPECT_EQ(index.BeginSearch(Box(0, 0, 1, 1), 0, true), eSifCannotOpen);
    }
    EXPECT_EQ(ReadFileBytes(path), file) << patch.what;
  }
}

TEST(SifOpen, HeadersAtTheEnginesLimitsAreAccepted) {
  TempDir dir;
  const std::string path = dir.File("a.sif");
  Bytes file = SampleFile(path);
  // A description of exactly 255 bytes in the long form.
  file[32] = 0xFF;
  PutU16At(file, 33, 255);
  for (size_t i = 35; i < 35 + 255; ++i) file[i] = 'd';
  WriteFileBytes(path, file);
  auto index = OpenIndex(path, kOpenReadOnly);
  EXPECT_EQ(std::string(index->GetDescription()), std::string(255, 'd'));
  index.reset();

  // Capacity 50 and minimum 1 fit the buffers; height 30 fits the stack.
  TempDir other;
  const std::string wide = other.File("w.sif");
  {
    auto created = OpenIndex(wide, kCreate);
    ASSERT_EQ(created->SetNodeCapacity(50, 1), kEngineOk);
    for (uint32_t i = 1; i <= 120; ++i) ASSERT_EQ(created->Insert(0, Box(i, 0, i, 0), 2 * i), kEngineOk);
  }
  auto reopened = OpenIndex(wide, kOpenReadOnly);
  SifStatistics statistics;
  EXPECT_EQ(reopened->Verify(nullptr, statistics), kEngineOk);
  EXPECT_EQ(statistics.leafBlockSize, 38u * 50u);
  reopened.reset();
  Bytes deep = ReadFileBytes(wide);
  PutU16At(deep, sif::kHeightOffset, 30);
  WriteFileBytes(wide, deep);
  EXPECT_EQ(OpenStatus(wide, kOpenReadOnly), kEngineOk);
}

}  // namespace
}  // namespace kro::test
