// Byte-exact layout of the spatial index file: header, leaf and internal
// blocks at both coordinate widths, the description forms, and what opening
// and closing does to a file.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "SifTestSupport.h"
#include "engine/spatialindex/SifBlock.h"
#include "engine/spatialindex/SifFormat.h"

namespace kro::test {
namespace {

const char* const kNewHeaderHex =
    "41 53 49 46 00 00 00 02 00 0A 00 14 00 00 00 40"  // ASIF, 0, version, min, max, height, bits
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"  // root, free lists, count
    "00";                                              // empty description

Bytes NewHeaderBytes() {
  Bytes bytes = HexBytes(kNewHeaderHex);
  bytes.resize(kIndexHeaderSize, 0);
  return bytes;
}

// Twenty-one boxes along a line, with types 0..5 and positions 2, 4, ...
BoundingBoxNode LineBox(int i) { return Box(i * 10.0, 1.0, i * 10.0 + 5.0, 2.0 + i); }

void InsertLine(CSpatialIndex& index, int count) {
  for (int i = 0; i < count; ++i) ASSERT_EQ(index.Insert(i % 6, LineBox(i), 2u * (i + 1)), kEngineOk);
}

TEST(SifLayout, NewFileIsExactlyTheDefaultHeader) {
  TempDir dir;
  const std::string path = dir.File("a.sif");
  auto index = OpenIndex(path, kOpenReadWrite | kOpenCreateAlways);
  // Written before the constructor returns, not only at close.
  EXPECT_EQ(ToHex(ReadFileBytes(path)), ToHex(NewHeaderBytes()));
  EXPECT_EQ(index->GetVersion(), 2u);
  uint32_t maximum = 0;
  uint32_t minimum = 0;
  index->GetNodeCapacity(maximum, minimum);
  EXPECT_EQ(maximum, 20u);
  EXPECT_EQ(minimum, 10u);
  EXPECT_EQ(index->GetCoordinateBits(), 64u);
  EXPECT_EQ(index->GetObjectCount(), 0u);
  EXPECT_STREQ(index->GetDescription(), "");
  index.reset();
  EXPECT_EQ(ToHex(ReadFileBytes(path)), ToHex(NewHeaderBytes()));
}

TEST(SifLayout, FirstInsertionAppendsOneLeafAsRoot) {
  TempDir dir;
  const std::string path = dir.File("a.sif");
  auto index = OpenIndex(path, kCreate);
  ASSERT_EQ(index->Insert(4, Box(1, 2, 3, 4), 100), kEngineOk);
  EXPECT_EQ(ReadFileBytes(path).size(), 1272u) << "the block is appended at once";
  index.reset();

  const Bytes file = ReadFileBytes(path);
  ASSERT_EQ(file.size(), 1272u);
  EXPECT_EQ(RootOf(file), 512u);
  EXPECT_EQ(HeightOf(file), 1u);
  EXPECT_EQ(U32At(file, sif::kObjectCountOffset), 1u);
  // Child field, box of slot 0 at 512 + 80, type of slot 0 at 512 + 720.
  EXPECT_EQ(U32At(file, 512), 100u);
  EXPECT_EQ(ToHex(Bytes(file.begin() + 592, file.begin() + 624)),
            "3F F0 00 00 00 00 00 00 40 00 00 00 00 00 00 00 40 08 00 00 00 00 00 00 40 10 00 00 00 00 00 00");
  EXPECT_EQ(U16At(file, 1232), 4u);
  for (size_t i = 516; i < 592; ++i) ASSERT_EQ(file[i], 0) << "unused child fields at " << i;
  for (size_t i = 624; i < 1232; ++i) ASSERT_EQ(file[i], 0) << "unused boxes at " << i;
  for (size_t i = 1234; i < 1272; ++i) ASSERT_EQ(file[i], 0) << "unused types at " << i;
}

TEST(SifLayout, TwentyFirstInsertionSplitsIntoTenAndElevenUnderANewRoot) {
  TempDir dir;
  const std::string path = dir.File("a.sif");
  auto index = OpenIndex(path, kCreate);
  InsertLine(*index, 20);
  EXPECT_EQ(index->GetHeight(), 1u);
  ASSERT_EQ(index->Insert(5, LineBox(20), 42), kEngineOk);
  EXPECT_EQ(index->GetHeight(), 2u);
  index.reset();

  const Bytes file = ReadFileBytes(path);
  // Old leaf at 512, sibling leaf at 1272, internal root at 2032 (720 bytes).
  ASSERT_EQ(file.size(), 2752u);
  EXPECT_EQ(RootOf(file), 2032u);
  EXPECT_EQ(HeightOf(file), 2u);
  EXPECT_EQ(U32At(file, sif::kObjectCountOffset), 21u);
  const std::vector<BlockEntry> root = DecodeBlock(file, 2032, false);
  ASSERT_EQ(root.size(), 2u);
  EXPECT_EQ(root[0].child, 512u) << "the old root comes first";
  EXPECT_EQ(root[1].child, 1272u);
  const std::vector<BlockEntry> kept = DecodeBlock(file, 512, true);
  const std::vector<BlockEntry> moved = DecodeBlock(file, 1272, true);
  EXPECT_EQ(kept.size() + moved.size(), 21u);
  EXPECT_TRUE((kept.size() == 10 && moved.size() == 11) || (kept.size() == 11 && moved.size() == 10))
      << kept.size() << " / " << moved.size();
  EXPECT_EQ(root[0].box, UnionOf(kept));
  EXPECT_EQ(root[1].box, UnionOf(moved));
  EXPECT_EQ(root[0].type, 0u);
  // Internal blocks carry no types: the root ends at 2752 exactly.
}

TEST(SifLayout, ThirtyTwoBitCoordinatesUseFourHundredAndFourHundredFortyByteBlocks) {
  TempDir dir;
  const std::string path = dir.File("a.sif");
  auto index = OpenIndex(path, kCreate);
  ASSERT_EQ(index->SetCoordinateBits(32), kEngineOk);
  EXPECT_EQ(index->GetCoordinateBits(), 32u);
  EXPECT_EQ(U16At(ReadFileBytes(path), sif::kCoordinateBitsOffset), 32u) << "the header is written at once";
  ASSERT_EQ(index->Insert(2, Box(0.5, 1.5, 2.5, 3.5), 8), kEngineOk);
  index.reset();

  Bytes file = ReadFileBytes(path);
  ASSERT_EQ(file.size(), 512u + 440u);
  // Leaf: 80 bytes of child fields, 20 boxes of 16 bytes, then the types.
  EXPECT_EQ(U32At(file, 512), 8u);
  EXPECT_EQ(ToHex(Bytes(file.begin() + 512 + 80, file.begin() + 512 + 96)),
            "3F 00 00 00 3F C0 00 00 40 20 00 00 40 60 00 00");
  EXPECT_EQ(U16At(file, 512 + 400), 2u);

  index = OpenIndex(path, kUpdate);
  InsertLine(*index, 20);
  index.reset();
  file = ReadFileBytes(path);
  ASSERT_EQ(file.size(), 512u + 440u + 440u + 400u);
  EXPECT_EQ(RootOf(file), 512u + 880u);
  EXPECT_EQ(DecodeBlock(file, 1392, false, 20, 32).size(), 2u);
  EXPECT_EQ(DecodeBlock(file, 512, true, 20, 32).size() + DecodeBlock(file, 952, true, 20, 32).size(), 21u);
}

TEST(SifLayout, DescriptionsOf254And255BytesUseTheShortAndLongForms) {
  TempDir dir;
  const std::string path = dir.File("a.sif");
  const std::string short254(254, 's');
  const std::string long255(255, 'l');
  {
    auto index = OpenIndex(path, kCreate);
    ASSERT_EQ(index->SetDescription(short254.c_str()), kEngineOk);
    const Bytes file = ReadFileBytes(path);
    EXPECT_EQ(file[32], 0xFE);
    EXPECT_EQ(std::string(file.begin() + 33, file.begin() + 33 + 254), short254);
    EXPECT_EQ(file[33 + 254], 0);
    ASSERT_EQ(index->SetDescription(long255.c_str()), kEngineOk);
  }
  Bytes file = ReadFileBytes(path);
  EXPECT_EQ(ToHex(Bytes(file.begin() + 32, file.begin() + 35)), "FF 00 FF");
  EXPECT_EQ(std::string(file.begin() + 35, file.begin() + 35 + 255), long255);
  EXPECT_EQ(OpenIndex(path, kOpenReadOnly)->GetDescription(), long255);

  // Longer text keeps whole characters within 255 bytes: 254 ASCII bytes and
  // a two-byte character leave the character out.
  auto index = OpenIndex(path, kUpdate);
  const std::string text = short254 + "\xC3\xA9" + "tail";
  ASSERT_EQ(index->SetDescription(text.c_str()), kEngineOk);
  EXPECT_EQ(std::string(index->GetDescription()), short254);
  EXPECT_EQ(index->SetDescription(nullptr), eSifInvalidParameter);
}

TEST(SifLayout, ReadOnlyOpenLeavesTheFileUnchangedAndUpdateRewritesAnIdenticalHeader) {
  TempDir dir;
  const std::string path = dir.File("a.sif");
  {
    auto index = OpenIndex(path, kCreate);
    ASSERT_EQ(index->SetDescription("roads"), kEngineOk);
    InsertLine(*index, 60);
  }
  Bytes before = ReadFileBytes(path);
  // The reserved word is never read: a rewrite puts 0 back, which shows that
  // an update open writes the header even without changes.
  PutU16At(before, sif::kReservedOffset, 0xBEEF);
  WriteFileBytes(path, before);
  {
    auto index = OpenIndex(path, kOpenReadOnly);
    EXPECT_EQ(SearchAll(*index, Box(-1e9, -1e9, 1e9, 1e9)).size(), 60u);
    SifStatistics statistics;
    EXPECT_EQ(index->Verify(nullptr, statistics), kEngineOk);
    EXPECT_EQ(index->Insert(0, Box(0, 0, 1, 1), 1000), eSifReadOnly);
    EXPECT_EQ(index->Delete(LineBox(0), 2), eSifReadOnly);
    EXPECT_EQ(index->SetDescription("x"), eSifReadOnly);
  }
  EXPECT_EQ(ReadFileBytes(path), before) << "read-only open and close";
  {
    auto index = OpenIndex(path, kUpdate);
    EXPECT_EQ(SearchAll(*index, Box(0, 0, 50, 50)).size(), 6u);
  }
  Bytes after = ReadFileBytes(path);
  EXPECT_EQ(U16At(after, sif::kReservedOffset), 0u);
  PutU16At(after, sif::kReservedOffset, 0xBEEF);
  EXPECT_EQ(after, before);
}

TEST(SifLayout, LayoutSettersChangeOnlyANewEmptyIndex) {
  TempDir dir;
  const std::string path = dir.File("a.sif");
  auto index = OpenIndex(path, kCreate);
  EXPECT_EQ(index->SetNodeCapacity(10, 11), eSifInvalidParameter);
  EXPECT_EQ(index->SetNodeCapacity(51, 10), eSifInvalidParameter);
  EXPECT_EQ(index->SetNodeCapacity(1, 1), eSifInvalidParameter);
  EXPECT_EQ(index->SetNodeCapacity(20, 0), eSifInvalidParameter);
  EXPECT_EQ(index->SetNodeCapacity(20, 11), eSifInvalidParameter) << "a split could not keep both halves";
  EXPECT_EQ(index->SetCoordinateBits(16), eSifInvalidParameter);

  ASSERT_EQ(index->SetNodeCapacity(30, 15), kEngineOk);
  const Bytes header = ReadFileBytes(path);
  EXPECT_EQ(U16At(header, sif::kMinimumOffset), 15u);
  EXPECT_EQ(U16At(header, sif::kMaximumOffset), 30u);
  ASSERT_EQ(index->Insert(1, Box(0, 0, 1, 1), 2), kEngineOk);
  EXPECT_EQ(ReadFileBytes(path).size(), 512u + 38u * 30u);

  EXPECT_EQ(index->SetNodeCapacity(8, 4), kEngineOk) << "an index holding an entry";
  EXPECT_EQ(index->SetCoordinateBits(32), kEngineOk);
  uint32_t maximum = 0;
  uint32_t minimum = 0;
  index->GetNodeCapacity(maximum, minimum);
  EXPECT_EQ(maximum, 30u);
  EXPECT_EQ(minimum, 15u);
  EXPECT_EQ(index->GetCoordinateBits(), 64u);
  index.reset();

  // A file this open did not create keeps its layout even when empty.
  TempDir other;
  const std::string empty = other.File("b.sif");
  OpenIndex(empty, kCreate).reset();
  auto reopened = OpenIndex(empty, kUpdate);
  EXPECT_EQ(reopened->SetCoordinateBits(32), kEngineOk);
  EXPECT_EQ(reopened->GetCoordinateBits(), 64u);
}

// A block's slots decode what was encoded into them at both widths (a
// 32-bit block rounds to singles), and a view is bound only over bytes that
// hold its whole block.
TEST(SifLayout, BlockViewsDecodeTheirSlotsAndNeedTheWholeBlock) {
  const BoundingBoxNode box = Box(-1.1, 2.2, 3.3, 4.4);
  for (const uint32_t bits : {64u, 32u}) {
    for (const bool leaf : {true, false}) {
      SCOPED_TRACE(std::to_string(bits) + (leaf ? " leaf" : " internal"));
      const uint32_t size = leaf ? sif::LeafBlockSize(20, bits) : sif::InternalBlockSize(20, bits);
      Bytes block(size, 0);
      sif::EncodeSlot(block.data(), 20, bits, leaf, 19, 0x01020304u, box, 5);
      sif::BlockView view;
      EXPECT_FALSE(view.Bind(block.data(), size - 1, 20, bits, leaf));
      EXPECT_FALSE(view.Bind(block.data(), size, sif::kMaxSlots + 1, bits, leaf));
      EXPECT_FALSE(view.Bind(block.data(), size, 20, 48, leaf));
      ASSERT_TRUE(view.Bind(block.data(), size, 20, bits, leaf));
      EXPECT_EQ(U32At(block, sif::ChildFieldOffset(19)), 0x01020304u);
      EXPECT_EQ(view.Child(19), 0x01020304u);
      const auto held = [bits](double v) { return bits == 32 ? static_cast<double>(static_cast<float>(v)) : v; };
      EXPECT_EQ(view.Box(19), Box(held(-1.1), held(2.2), held(3.3), held(4.4)));
      EXPECT_EQ(view.Type(19), leaf ? 5u : 0u);
      const sif::SlotSurvey survey = sif::SurveySlots(view);
      EXPECT_EQ(survey.frontEntries, 0u);
      EXPECT_EQ(survey.firstGap, 19u);
      EXPECT_EQ(survey.firstDirty, sif::kMaxSlots);
      block[sif::BoxOffset(20, bits / 8, 3)] = 1;
      EXPECT_EQ(sif::SurveySlots(view).firstDirty, 3u);
    }
  }
  EXPECT_EQ(sif::CheckBox(Box(0, 0, 0, 0)), sif::BoxFault::kNone);
  EXPECT_EQ(sif::CheckBox(Box(1, 0, 0, 0)), sif::BoxFault::kInverted);
  EXPECT_EQ(sif::CheckBox(Box(0, 0, 1, std::nan(""))), sif::BoxFault::kNaN);
}

}  // namespace
}  // namespace kro::test
