// Reuse of free records, on hand-built free lists.
#include <gtest/gtest.h>

#include "GafTestSupport.h"
#include "engine/datafile/CGafFile.h"

namespace kro {
namespace {

using namespace test;

constexpr uint32_t kFirst = 56;  // first object of HeaderBytes(...) files

GafBytes& AddFree(GafBytes& out, uint32_t length, uint32_t link, bool longForm = false) {
  out.Tag(63, length, longForm).U32(link).Zeros(length - 4).Pad(length);
  return out;
}

// A point of record length `length` (even): a name of n = length - 11 bytes
// (odd, so the string block needs no pad) and 8 bytes of coordinates.
GafObject PointOfLength(uint32_t length, const std::string& key = "") {
  GafObject o = MakePoint(std::string(length - 11 - key.size(), 'n'), key, 1, 2);
  return o;
}

class GafFreeList : public ::testing::Test {
 protected:
  // Header, the free records given by `addFree`, a point "tail", end of data.
  void Build(uint32_t head, const std::function<void(GafBytes&)>& addFree) {
    GafBytes file = HeaderBytes(1, head, 1);
    addFree(file);
    tailPosition = static_cast<uint32_t>(file.Size());
    file.Tag(32, 8 + 8).Str("tail").Str("").Str("").U8(0).F32(5).F32(6).Tag(1, 0);
    WriteFileBytes(name, file.bytes);
  }

  uint32_t Write(CGafFile& file, const GafObject& o, EngineStatus expected = kEngineOk) {
    uint32_t position = 0;
    EXPECT_EQ(file.WriteRecord(o, position), expected);
    return position;
  }

  TempDir dir;
  std::string name = dir.File("f.gaf");
  uint32_t tailPosition = 0;
};

TEST_F(GafFreeList, ReusedWhenTheSlackIsBelowTheWantedLength) {
  Build(kFirst, [](GafBytes& f) { AddFree(f, 100, 0); });
  const size_t size = ReadFileBytes(name).size();
  {
    auto file = OpenGaf(name, 2);
    const uint32_t append = file->AppendPosition();
    EXPECT_EQ(Write(*file, PointOfLength(60, "r")), kFirst) << "slack 40 < 60";
    EXPECT_EQ(file->AppendPosition(), append) << "the append position stays";
    EXPECT_EQ(file->FreeListHead(), 0u);
  }
  const Bytes bytes = ReadFileBytes(name);
  EXPECT_EQ(bytes.size(), size) << "the file did not grow";
  EXPECT_EQ(ToHex(Bytes(bytes.begin() + kFirst, bytes.begin() + kFirst + 2)), "80 64")
      << "the record keeps the free record's length, 100";
  EXPECT_EQ(ToHex(Bytes(bytes.begin() + 6, bytes.begin() + 10)), "00 00 00 00") << "head rewritten at close";
  auto reader = OpenGaf(name, 1);
  EngineStatus end;
  std::vector<uint32_t> positions;
  const auto objects = ReadAll(*reader, end, &positions);
  EXPECT_EQ(end, kEngineEndOfResults);
  ASSERT_EQ(objects.size(), 2u);
  EXPECT_EQ(objects[0].key, "r");
  EXPECT_EQ(objects[1].name, "tail");
  EXPECT_EQ(positions[1], tailPosition);

  // A reader is told what of each record's length its contents took: the
  // reused record leaves the free record's slack over, the tail nothing.
  ASSERT_EQ(reader->EndSearch(), kEngineOk);
  ASSERT_EQ(reader->Rewind(), kEngineOk);
  const std::pair<uint32_t, uint32_t> expectedFill[] = {{60, 40}, {16, 0}};
  for (const auto& [content, unused] : expectedFill) {
    EGafObjectType type;
    uint32_t position;
    GafObject read;
    ASSERT_EQ(reader->NextRecord(type, position), kEngineOk);
    ASSERT_EQ(reader->ReadRecord(read), kEngineOk);
    EXPECT_EQ(reader->LastReadContentBytes(), content) << position;
    EXPECT_EQ(reader->LastReadUnusedBytes(), unused) << position;
  }
}

TEST_F(GafFreeList, NotReusedWhenTheSlackIsTooLarge) {
  Build(kFirst, [](GafBytes& f) { AddFree(f, 100, 0); });
  auto file = OpenGaf(name, 2);
  const uint32_t append = file->AppendPosition();
  EXPECT_EQ(Write(*file, PointOfLength(40)), append) << "slack 60 is not below 40";
  EXPECT_EQ(file->FreeListHead(), kFirst);
}

TEST_F(GafFreeList, BestFitTakesTheSmallestSlackAndRelinksItsPredecessor) {
  const uint32_t second = kFirst + 2 + 70;
  Build(kFirst, [&](GafBytes& f) {
    AddFree(f, 70, second);
    AddFree(f, 64, 0);
  });
  {
    auto file = OpenGaf(name, 2);
    EXPECT_EQ(Write(*file, PointOfLength(60)), second) << "64 fits better than 70";
    EXPECT_EQ(file->FreeListHead(), kFirst);
  }
  const Bytes bytes = ReadFileBytes(name);
  EXPECT_EQ(ToHex(Bytes(bytes.begin() + kFirst, bytes.begin() + kFirst + 6)), "FC 46 00 00 00 00")
      << "the 70 now ends the list";
  auto file = OpenGaf(name, 2);
  EXPECT_EQ(Write(*file, PointOfLength(60)), kFirst) << "the 70 is still there to take";
}

TEST_F(GafFreeList, EqualSlackKeepsTheEarlierAndAnExactFitStopsTheWalk) {
  const uint32_t second = kFirst + 2 + 70;
  Build(kFirst, [&](GafBytes& f) {
    AddFree(f, 70, second);
    AddFree(f, 70, 0);
  });
  {
    auto file = OpenGaf(name, 2);
    EXPECT_EQ(Write(*file, PointOfLength(60)), kFirst);
    EXPECT_EQ(file->FreeListHead(), second);
  }
  // An exact fit whose link leads to a record that is not free: the walk
  // stops before it; the next walk meets it and refuses.
  Build(kFirst, [&](GafBytes& f) { AddFree(f, 60, kFirst + 62); });
  ASSERT_EQ(tailPosition, kFirst + 62);
  auto file = OpenGaf(name, 2);
  EXPECT_EQ(Write(*file, PointOfLength(60)), kFirst);
  EXPECT_EQ(file->FreeListHead(), kFirst + 62);
  const uint32_t append = file->AppendPosition();
  EXPECT_EQ(Write(*file, PointOfLength(60), eGafBadFormat), 0u);
  EXPECT_EQ(file->AppendPosition(), append);
  EXPECT_EQ(file->Status(), eGafBadFormat);
}

TEST_F(GafFreeList, LongFormFreeRecordKeepsItsForm) {
  Build(kFirst, [](GafBytes& f) { AddFree(f, 100, 0, true); });
  {
    auto file = OpenGaf(name, 2);
    EXPECT_EQ(Write(*file, PointOfLength(60, "L")), kFirst);
  }
  const Bytes bytes = ReadFileBytes(name);
  EXPECT_EQ(ToHex(Bytes(bytes.begin() + kFirst, bytes.begin() + kFirst + 6)), "80 7F 00 00 00 64");
  auto reader = OpenGaf(name, 1);
  EngineStatus end;
  const auto objects = ReadAll(*reader, end);
  EXPECT_EQ(end, kEngineEndOfResults);
  ASSERT_EQ(objects.size(), 2u);
  EXPECT_EQ(objects[0].key, "L");
}

TEST_F(GafFreeList, FreeRecordsReadAsType10) {
  Build(kFirst, [](GafBytes& f) { AddFree(f, 9, 0); });
  auto file = OpenGaf(name, 1);
  EGafObjectType type;
  uint32_t position;
  ASSERT_EQ(file->NextRecord(type, position), kEngineOk);
  EXPECT_EQ(type, static_cast<EGafObjectType>(10));
  ASSERT_EQ(file->NextRecord(type, position), kEngineOk) << "odd length: skipped with its pad";
  EXPECT_EQ(position, kFirst + 2 + 10);
  EXPECT_EQ(type, kGafPointObject);
}

TEST_F(GafFreeList, BrokenListsEndInBadFormat) {
  struct Case {
    const char* what;
    uint32_t head;
    std::function<void(GafBytes&)> addFree;
  };
  const uint32_t second = kFirst + 2 + 20;
  const Case cases[] = {
      {"a loop of two", kFirst, [&](GafBytes& f) { AddFree(f, 20, second); AddFree(f, 20, kFirst); }},
      {"a record linked to itself", kFirst, [&](GafBytes& f) { AddFree(f, 20, kFirst); }},
      {"a head inside the header", 10, [&](GafBytes& f) { AddFree(f, 20, 0); }},
      {"an odd head", kFirst + 1, [&](GafBytes& f) { AddFree(f, 20, 0); }},
      {"a head past the end", 100000, [&](GafBytes& f) { AddFree(f, 20, 0); }},
      {"a free record too short for its link", kFirst, [&](GafBytes& f) { f.Tag(63, 2).U16(0); }},
      // Its length reaches over the tail and the end-of-data chunk.
      {"a free record that runs into the end marker", kFirst, [&](GafBytes& f) { f.Tag(63, 24).U32(0); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Build(c.head, c.addFree);
    const Bytes before = ReadFileBytes(name);
    {
      EngineStatus status;
      CGafFile file(name.c_str(), 2, status);
      if (status != kEngineOk) {
        EXPECT_EQ(status, eGafBadFormat);
        continue;
      }
      EXPECT_EQ(Write(file, PointOfLength(18), eGafBadFormat), 0u);
      EXPECT_EQ(file.Close(), eGafBadFormat);
    }
    EXPECT_EQ(ToHex(ReadFileBytes(name)), ToHex(before)) << "nothing was written";
  }
}

}  // namespace
}  // namespace kro
