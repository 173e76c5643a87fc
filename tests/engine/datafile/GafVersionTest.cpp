// Old and newer format versions.
#include <gtest/gtest.h>

#include "GafTestSupport.h"
#include "engine/datafile/CGafFile.h"

namespace kro {
namespace {

using namespace test;

// A version 1 file: two strings per record, no vertex count in single-set
// records, and a multi-set record whose length field is not relied on.
Bytes OldFile(int version) {
  GafBytes f = HeaderBytes(5, 0, 7, version, 32);
  f.Tag(32, 14).Str("ab").Str("k").U8(0).F32(1).F32(2);
  // Length 40, string block 8: (40 - 8) / 4 / 2 = 4 vertices.
  f.Tag(34, 40).Str("abc").Str("xyz");
  for (int i = 0; i < 4; ++i) f.F32(i).F32(-i);
  // Length 44: 36 bytes after the strings still make 4 vertices; the rest is passed over.
  f.Tag(36, 44).Str("abc").Str("pgn").F32(0).F32(0).F32(1).F32(0).F32(1).F32(1).F32(0).F32(0).U32(0xDEADBEEF);
  // Content of 42 bytes under a length field of 2.
  f.Tag(37, 2).Str("m").Str("").U8(0).U16(1).U32(4).F32(0).F32(0).F32(1).F32(0).F32(1).F32(1).F32(0).F32(0);
  f.Tag(35, 4 + 2 + 8 + 16).Str("ml").Str("").U16(2).U32(1).U32(1).F32(7).F32(8).F32(9).F32(10);
  f.Tag(1, 0);
  return f.bytes;
}

class GafVersion : public ::testing::Test {
 protected:
  TempDir dir;
  std::string name = dir.File("v.gaf");
};

TEST_F(GafVersion, OldVersionsAreReadButNotWritten) {
  for (int version : {1, 0}) {
    SCOPED_TRACE(version);
    const Bytes bytes = OldFile(version);
    WriteFileBytes(name, bytes);
    {
      auto file = OpenGaf(name, 1);
      EXPECT_EQ(file->Version(), static_cast<uint32_t>(version));
      EngineStatus end;
      std::vector<uint32_t> positions;
      const auto objects = ReadAll(*file, end, &positions);
      EXPECT_EQ(end, kEngineEndOfResults);
      ASSERT_EQ(objects.size(), 5u);
      EXPECT_EQ(objects[0].name, "ab");
      EXPECT_EQ(objects[0].key, "k");
      EXPECT_EQ(objects[0].url, "") << "no URL before version 2";
      EXPECT_EQ(objects[1].vertices.size(), 4u);
      EXPECT_EQ(objects[1].vertices[3].y, -3);
      EXPECT_EQ(objects[2].vertices.size(), 4u);
      EXPECT_EQ(objects[2].key, "pgn");
      ASSERT_EQ(objects[3].parts, std::vector<int32_t>{4});
      EXPECT_EQ(objects[3].vertices[2].y, 1);
      ASSERT_EQ(objects[4].parts, (std::vector<int32_t>{1, 1}));
      EXPECT_EQ(objects[4].vertices[1].y, 10);
      EXPECT_EQ(positions[4], positions[3] + 2 + 42) << "the old multi-set record ends where its content does";

      // A scan that reads nothing passes over every record the same way.
      ASSERT_EQ(file->EndSearch(), kEngineOk);
      EGafObjectType type;
      uint32_t position;
      std::vector<uint32_t> skipped;
      while (file->NextRecord(type, position) == kEngineOk) skipped.push_back(position);
      EXPECT_EQ(file->Status(), kEngineEndOfResults);
      EXPECT_EQ(skipped, positions);
    }
    for (uint32_t flag : {2u, 18u}) OpenGaf(name, flag, eGafBadVersion);
    EXPECT_EQ(ToHex(ReadFileBytes(name)), ToHex(bytes)) << "refused opens write nothing";
  }
}

TEST_F(GafVersion, NewerVersionIsRefusedInEveryMode) {
  GafBytes f = HeaderBytes(0, 0, 0, 3);
  f.Tag(1, 0);
  WriteFileBytes(name, f.bytes);
  for (uint32_t flag : {1u, 2u, 18u}) OpenGaf(name, flag, eGafBadVersion);
  EXPECT_EQ(ToHex(ReadFileBytes(name)), ToHex(f.bytes));
  // Even when its info chunk has grown: the version is reported first.
  GafBytes grown;
  grown.Tag(0, 48).Zeros(48).Tag(16, 2).U16(3).Tag(2, 0).Tag(1, 0);
  WriteFileBytes(name, grown.bytes);
  OpenGaf(name, 1, eGafBadVersion);
}

}  // namespace
}  // namespace kro
