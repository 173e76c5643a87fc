// Damaged files: positions that are no block places, trees that break their
// invariants, free lists that loop. Every operation ends with a status.
#include <gtest/gtest.h>

#include <functional>

#include "KifFiles.h"
#include "platform/FileSystem.h"

namespace kro::test {
namespace {

std::vector<Entry> Entries(int from, int to) {
  std::vector<Entry> entries;
  for (int i = from; i < to; ++i) entries.emplace_back(NumberedKey(i), 2 * (i + 1));
  return entries;
}

// A sound tree: two leaves of 10 (k000..k009, k011..k020) under a root
// holding k010, then the changes a test makes to it.
struct Damage {
  const char* what;
  std::function<void(KifImage&, Block& left, Block& right, Block& root)> apply;
};

class KifCorruptionTest : public KifFileTest {
 protected:
  // Lays out left leaf (512), right leaf (1232), root (1952), and an extra
  // leaf block at 2756 for free-list damage.
  void Write(const Damage& damage) {
    KifImage image(HeaderFields{});
    Block left{Entries(0, 10), {}};
    Block right{Entries(11, 21), {}};
    Block root{{{NumberedKey(10), 22}}, {512, 1232}};
    image.header().height = 2;
    image.header().root = 1952;
    image.header().entryCount = 21;
    damage.apply(image, left, right, root);
    image.Append(left);
    image.Append(right);
    image.Append(root);
    image.Append(Block{});
    WriteFileBytes(Path(), image.Build());
  }
  EngineStatus VerifyStatus() {
    EngineStatus status;
    auto index = OpenIndex(Path(), kOpenReadOnly, status);
    EXPECT_EQ(status, kEngineOk);
    KifStatistics statistics;
    return index->Verify(nullptr, statistics);
  }
};

TEST_F(KifCorruptionTest, ChildPositionsThatAreNoBlockPlaces) {
  const std::vector<std::pair<const char*, uint32_t>> places = {
      {"misaligned", 1232 + 7}, {"beyond the file", 2756 + 720 * 4}, {"inside the header", 100},
      {"cut short by the end of the file", 2756 + 12}, {"zero", 0}};
  for (const auto& [what, place] : places) {
    const uint32_t bad = place;
    Write({what, [bad](KifImage&, Block&, Block&, Block& root) { root.children[1] = bad; }});
    EXPECT_EQ(VerifyStatus(), eKifBadNodePosition) << what;

    // Each operation on a fresh object, so that each meets the damage itself.
    auto index = Open(kOpenReadWrite);
    EngineStatus end;
    EXPECT_TRUE(SearchAll(*index, NumberedKey(15), &end).empty());
    EXPECT_EQ(end, eKifReadError) << what;
    EXPECT_EQ(SearchAll(*index, NumberedKey(5)), (std::vector<uint32_t>{12})) << "the sound part still answers";
    EXPECT_EQ(index->Insert(NumberedKey(15).c_str(), 99 * 2), eKifReadError) << what;
    EXPECT_EQ(index->Insert(NumberedKey(5).c_str(), 99 * 2), eKifReadError) << "a failed change is sticky";
    index.reset();
    index = Open(kOpenReadWrite);
    EXPECT_EQ(index->Delete(NumberedKey(15).c_str(), 32), eKifReadError) << what;
    index.reset();
    index = Open(kOpenReadWrite);
    // A change in the left leaf that needs its right sibling.
    EXPECT_EQ(index->Delete(NumberedKey(3).c_str(), 8), eKifReadError) << what;
    index.reset();
    index = Open(kOpenReadWrite);
    EXPECT_EQ(index->Compact(nullptr, nullptr), eKifReadError) << what;
    EXPECT_EQ(SearchAll(*index, NumberedKey(5)), (std::vector<uint32_t>{12})) << "a failed compaction changes nothing";
  }
}

TEST_F(KifCorruptionTest, RootPositionThatIsNoBlockPlace) {
  Write({"root beyond the file", [](KifImage& image, Block&, Block&, Block&) { image.header().root = 1952 + 8 * 804; }});
  EXPECT_EQ(VerifyStatus(), eKifBadNodePosition);
  EngineStatus status;
  auto index = OpenIndex(Path(), kOpenReadWrite, status);
  ASSERT_EQ(status, kEngineOk);
  EXPECT_EQ(index->BeginSearch("k"), eKifReadError);
  EXPECT_EQ(index->ErrorFor(eKifReadError).Describe(),
            Path() + " at 0x20C0: a node position is no block place of the file (eKifReadError)");
  EXPECT_EQ(index->Insert("k", 2), eKifReadError);
  EXPECT_EQ(index->Delete("k", 2), eKifReadError);
}

TEST_F(KifCorruptionTest, BlocksSharedAcrossTheTree) {
  // A child that is its own parent's block, read at another level.
  Write({"cycle", [](KifImage&, Block&, Block&, Block& root) { root.children[1] = 1952; }});
  EXPECT_EQ(VerifyStatus(), eKifReadError);
  EngineStatus status;
  auto index = OpenIndex(Path(), kOpenReadWrite, status);
  EngineStatus end;
  SearchAll(*index, NumberedKey(15), &end);
  EXPECT_EQ(end, eKifReadError);
  EXPECT_EQ(index->Insert(NumberedKey(15).c_str(), 200), eKifReadError);
  index.reset();

  // Both children are one leaf: a change that needs a sibling is refused.
  Write({"shared leaf", [](KifImage&, Block& left, Block&, Block& root) {
           left.entries = Entries(0, 20);
           root.entries = {{NumberedKey(30), 2}};
           root.children[1] = 512;
         }});
  EXPECT_EQ(VerifyStatus(), eKifBadKeyOrder);
  index = OpenIndex(Path(), kOpenReadWrite, status);
  EXPECT_EQ(index->Insert("k005a", 200), eKifReadError) << "an overfull leaf whose sibling is itself";
}

TEST_F(KifCorruptionTest, BrokenInvariantsAreNamed) {
  const std::vector<std::pair<Damage, EngineStatus>> cases = {
      {{"entries out of order", [](KifImage&, Block& left, Block&, Block&) { std::swap(left.entries[2], left.entries[3]); }},
       eKifBadKeyOrder},
      {{"entry outside its parent's bounds", [](KifImage&, Block&, Block& right, Block&) { right.entries[0].first = "k0"; }},
       eKifBadKeyOrder},
      {{"the same pair twice", [](KifImage&, Block& left, Block&, Block&) { left.entries[4] = left.entries[3]; }},
       eKifBadKeyOrder},
      {{"underfull leaf", [](KifImage& image, Block& left, Block&, Block&) {
          left.entries.resize(5);
          image.header().entryCount = 16;
        }},
       eKifUnderfullNode},
      {{"count mismatch", [](KifImage& image, Block&, Block&, Block&) { image.header().entryCount = 22; }},
       eKifCountMismatch},
  };
  for (const auto& [damage, expected] : cases) {
    Write(damage);
    EXPECT_EQ(VerifyStatus(), expected) << damage.what;
  }
}

// A used slot behind an unused one: the entry in front keeps its key but
// lost its value, and the value sits in a later slot. Reading such a block
// is a read error everywhere, so Compact refuses rather than write back only
// the slots in front and lose the entry.
TEST_F(KifCorruptionTest, UsedSlotsMustBeInFront) {
  const uint32_t valueOffset = 20 * 32;
  const std::vector<std::pair<const char*, uint32_t>> gaps = {{"leaf", 1232 + valueOffset + 9 * 4},
                                                              {"internal node", 1952 + valueOffset}};
  for (const auto& [what, slotValue] : gaps) {
    SCOPED_TRACE(what);
    Write({what, [](KifImage&, Block&, Block&, Block&) {}});
    Bytes bytes = ReadFileBytes(Path());
    const uint32_t value = GetU32(bytes, slotValue);
    PutU32(bytes, slotValue, 0);
    PutU32(bytes, slotValue + 4 * 5, value);
    WriteFileBytes(Path(), bytes);

    EXPECT_EQ(VerifyStatus(), eKifReadError);
    auto index = Open(kOpenReadWrite);
    EngineStatus end;
    SearchAll(*index, NumberedKey(20), &end);
    EXPECT_EQ(end, eKifReadError);
    index.reset();
    index = Open(kOpenReadWrite);
    EXPECT_EQ(index->Compact(nullptr, nullptr), eKifReadError);
    index.reset();
    EXPECT_EQ(ToHex(ReadFileBytes(Path())), ToHex(bytes)) << "every entry kept";
  }
}

TEST_F(KifCorruptionTest, FreeListsThatLoopOrLeaveTheFile) {
  const uint32_t spare = 2756;
  const std::vector<std::pair<const char*, std::function<void(Bytes&)>>> cases = {
      {"a block pointing to itself", [](Bytes& file) { PutU32(file, spare, spare); }},
      {"two blocks pointing to each other", [](Bytes& file) { PutU32(file, spare, 512); PutU32(file, 512, spare); }},
      {"a next block beyond the file", [](Bytes& file) { PutU32(file, spare, spare + 720 * 10); }},
      {"a misaligned next block", [](Bytes& file) { PutU32(file, spare, spare - 6); }},
  };
  for (const auto& [what, damage] : cases) {
    // An empty tree whose free leaf list starts at the spare block.
    Write({what, [](KifImage& image, Block&, Block&, Block&) {
             image.header().height = 0;
             image.header().root = 0;
             image.header().entryCount = 0;
             image.header().freeLeaf = 2756;
           }});
    Bytes file = ReadFileBytes(Path());
    damage(file);
    WriteFileBytes(Path(), file);
    EXPECT_EQ(VerifyStatus(), eKifReadError) << what;
    EngineStatus status;
    auto index = OpenIndex(Path(), kOpenReadWrite, status);
    ASSERT_EQ(status, kEngineOk);
    EXPECT_EQ(index->Insert("k", 2), eKifReadError) << what << ": no block is handed out twice";
    EXPECT_EQ(index->Header().height, 0u);
  }
}

TEST_F(KifCorruptionTest, SoundFreeListIsTakenInOrder) {
  Write({"sound list", [](KifImage& image, Block&, Block&, Block&) {
           image.header().height = 0;
           image.header().root = 0;
           image.header().entryCount = 0;
           image.header().freeLeaf = 2756;
         }});
  Bytes file = ReadFileBytes(Path());
  PutU32(file, 2756, 1232);
  PutU32(file, 1232, 0);
  WriteFileBytes(Path(), file);
  EngineStatus status;
  auto index = OpenIndex(Path(), kOpenReadWrite, status);
  KifStatistics statistics;
  ASSERT_EQ(index->Verify(nullptr, statistics), kEngineOk);
  EXPECT_EQ(statistics.freeLeafBlocks, 2u);
  ASSERT_EQ(index->Insert("k", 2), kEngineOk);
  EXPECT_EQ(index->Header().rootPosition, 2756u);
  EXPECT_EQ(index->Header().freeLeaf, 1232u);
}

}  // namespace
}  // namespace kro::test
