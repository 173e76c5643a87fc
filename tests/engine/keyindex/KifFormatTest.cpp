// The bytes of key index files: header, description forms, key fields, node
// blocks and where blocks land.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "KifFiles.h"
#include "engine/keyindex/KifBlock.h"
#include "platform/FileSystem.h"

namespace kro::test {
namespace {

constexpr uint32_t kCreate = kOpenReadWrite | kOpenCreateTruncate;

using KifFormatTest = KifFileTest;

TEST_F(KifFormatTest, NewFileIsTheDefaultHeaderAlone) {
  EngineStatus status;
  auto index = OpenIndex(Path(), kCreate, status);
  ASSERT_EQ(status, kEngineOk) << StatusName(status);
  Bytes expected = HexBytes("41 4B 49 46 00 01 00 14 00 20 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00");
  expected.resize(512, 0);
  EXPECT_EQ(ReadFileBytes(Path()), expected) << "the header is written before the open returns";
  EXPECT_EQ(index->GetVersion(), 1u);
  EXPECT_EQ(index->GetNodeCapacity(), 20u);
  EXPECT_EQ(index->GetKeyLength(), 32u);
  EXPECT_EQ(index->Header().internalBlockSize, 804u);
  EXPECT_EQ(index->Header().leafBlockSize, 720u);
  index.reset();
  EXPECT_EQ(ReadFileBytes(Path()), expected);
}

TEST_F(KifFormatTest, RefusesHeadersItCannotHold) {
  struct Case {
    const char* what;
    std::function<void(Bytes&)> damage;
    EngineStatus expected;
  };
  const std::vector<Case> cases = {
      {"bad magic", [](Bytes& b) { b[3] = 'X'; }, eKifNotAKif},
      {"version 2", [](Bytes& b) { PutU16(b, 4, 2); }, eKifBadVersion},
      {"capacity 21", [](Bytes& b) { PutU16(b, 6, 21); }, eKifNotAKif},
      {"capacity 1", [](Bytes& b) { PutU16(b, 6, 1); }, eKifNotAKif},
      {"key length 0", [](Bytes& b) { PutU16(b, 8, 0); }, eKifNotAKif},
      {"key length 257", [](Bytes& b) { PutU16(b, 8, 257); }, eKifNotAKif},
      {"height 31", [](Bytes& b) { PutU16(b, 10, 31); PutU32(b, 12, 512); }, eKifNotAKif},
      {"height without root", [](Bytes& b) { PutU16(b, 10, 1); }, eKifNotAKif},
      {"root without height", [](Bytes& b) { PutU32(b, 12, 512); }, eKifNotAKif},
      {"description of 300 bytes", [](Bytes& b) { b[28] = 0xFF; PutU16(b, 29, 300); }, eKifNotAKif},
      {"short file", [](Bytes& b) { b.resize(100); }, eKifReadError},
  };
  for (const Case& c : cases) {
    Bytes file = EncodeHeader(HeaderFields{});
    c.damage(file);
    WriteFileBytes(Path(), file);
    for (uint32_t flags : {kOpenReadOnly, kOpenReadWrite}) {
      EngineStatus status;
      auto index = OpenIndex(Path(), flags, status);
      EXPECT_EQ(status, c.expected) << c.what << ": " << StatusName(status);
      EXPECT_EQ(index->Insert("a", 2), eKifCannotOpen) << c.what;
      index.reset();
      EXPECT_EQ(ReadFileBytes(Path()), file) << c.what << ": a refused file is not written";
    }
  }
}

TEST_F(KifFormatTest, AcceptsVersionZero) {
  HeaderFields fields;
  fields.version = 0;
  fields.description = "old";
  WriteFileBytes(Path(), EncodeHeader(fields));
  EngineStatus status;
  auto index = OpenIndex(Path(), kOpenReadOnly, status);
  EXPECT_EQ(status, kEngineOk);
  EXPECT_EQ(index->GetVersion(), 0u);
  EXPECT_STREQ(index->GetDescription(), "old");
}

TEST_F(KifFormatTest, DescriptionShortAndLongForms) {
  EngineStatus status;
  auto index = OpenIndex(Path(), kCreate, status);
  ASSERT_EQ(index->SetDescription(std::string(254, 'd').c_str()), kEngineOk);
  Bytes file = ReadFileBytes(Path());
  EXPECT_EQ(file[28], 0xFE);
  EXPECT_EQ(Bytes(file.begin() + 29, file.begin() + 29 + 254), Bytes(254, 'd'));
  EXPECT_EQ(file[29 + 254], 0) << "no terminator, padding follows";

  ASSERT_EQ(index->SetDescription(std::string(300, 'e').c_str()), kEngineOk);
  file = ReadFileBytes(Path());
  EXPECT_EQ(Bytes(file.begin() + 28, file.begin() + 31), HexBytes("FF 00 FF"));
  EXPECT_EQ(Bytes(file.begin() + 31, file.begin() + 31 + 255), Bytes(255, 'e'));
  EXPECT_EQ(std::strlen(index->GetDescription()), 255u);

  // A two-byte character that would cross the 255-byte limit is left out.
  ASSERT_EQ(index->SetDescription((std::string(254, 'f') + "\xC3\xA9").c_str()), kEngineOk);
  EXPECT_EQ(std::string(index->GetDescription()), std::string(254, 'f'));
  index.reset();

  index = OpenIndex(Path(), kOpenReadOnly, status);
  EXPECT_EQ(std::string(index->GetDescription()), std::string(254, 'f'));
  EXPECT_EQ(index->SetDescription("x"), eKifWriteError) << "a read-only file cannot take a header";
}

TEST_F(KifFormatTest, LeafBlockRoundTripsByteForByte) {
  EngineStatus status;
  auto index = OpenIndex(Path(), kCreate, status);
  const std::string full(32, 'z');  // exactly the key length: no terminator in the field
  ASSERT_EQ(index->Insert("beta", 20), kEngineOk);
  ASSERT_EQ(index->Insert(full.c_str(), 40), kEngineOk);
  ASSERT_EQ(index->Insert("", 30), kEngineOk);
  index.reset();

  const Bytes file = ReadFileBytes(Path());
  ASSERT_EQ(file.size(), 512u + 720u);
  const Bytes expected = EncodeBlock(Block{{{"", 30}, {"beta", 20}, {full, 40}}, {}}, 20, 32);
  EXPECT_EQ(Bytes(file.begin() + 512, file.end()), expected) << ToHex(Bytes(file.begin() + 512, file.end()));

  index = OpenIndex(Path(), kOpenReadWrite, status);
  KifNode node;
  ASSERT_EQ(index->ReadNode(512, 0, node), kEngineOk);
  EXPECT_EQ(node.count, 3u);
  EXPECT_EQ(std::memcmp(node.keys[2], full.data(), 32), 0);
  EXPECT_EQ(std::string(node.keys[1]), "beta");
  EXPECT_EQ(node.keys[0][0], 0);
  EXPECT_EQ(node.values[0], 30u);
  for (uint32_t child : node.children) EXPECT_EQ(child, 0u);
  ASSERT_EQ(index->WriteNode(index->Handle(), node), kEngineOk);
  index.reset();
  EXPECT_EQ(ReadFileBytes(Path()), file);
}

// The key fields of a block read up to their first zero, a key of exactly L
// bytes whole; bytes after a key's end and in unused slots are seen; a view
// is bound only over bytes that hold its whole block.
TEST_F(KifFormatTest, BlockViewsReadKeyFieldsAndNeedTheWholeBlock) {
  const std::string full(32, 'z');
  Bytes block = EncodeBlock(Block{{{"", 30}, {"beta", 20}, {full, 40}}, {}}, 20, 32);
  kif::BlockView view;
  EXPECT_FALSE(view.Bind(block.data(), block.size() - 1, 20, 32, true));
  EXPECT_FALSE(view.Bind(block.data(), block.size(), kif::kMaxCapacity + 1, 32, true));
  EXPECT_FALSE(view.Bind(block.data(), block.size(), 20, 32, false)) << "a leaf is shorter than an internal block";
  ASSERT_TRUE(view.Bind(block.data(), block.size(), 20, 32, true));
  EXPECT_EQ(view.KeyLength(0), 0u);
  EXPECT_EQ(std::string(view.KeyField(1), view.KeyLength(1)), "beta");
  EXPECT_EQ(view.KeyLength(2), 32u);
  EXPECT_EQ(view.Value(2), 40u);
  EXPECT_EQ(view.Child(0), 0u) << "a leaf stores no children";
  kif::SlotSurvey survey = kif::SurveySlots(view);
  EXPECT_EQ(survey.frontEntries, 3u);
  EXPECT_EQ(survey.firstKeyTail, kif::kSlotCount);
  EXPECT_EQ(survey.firstDirty, kif::kSlotCount);
  block[kif::KeyOffset(1, 32) + 6] = 'x';
  block[kif::KeyOffset(7, 32)] = 'x';
  survey = kif::SurveySlots(view);
  EXPECT_EQ(survey.firstKeyTail, 1u);
  EXPECT_EQ(survey.firstDirty, 7u);
  EXPECT_EQ(std::string(view.KeyField(1), view.KeyLength(1)), "beta") << "the tail is not part of the key";
}

TEST_F(KifFormatTest, EntriesOrderByKeyBytesThenRecordPosition) {
  EngineStatus status;
  auto index = OpenIndex(Path(), kCreate, status);
  const std::string full(32, 'q');
  EXPECT_LT(index->CompareEntries("same", 600, "same", 700), 0);
  EXPECT_EQ(index->CompareEntries(full.c_str(), 5, full.c_str(), 5), 0);
  EXPECT_LT(index->CompareEntries("ab", 900, "abc", 1), 0) << "a prefix sorts first";
  EXPECT_LT(index->CompareEntries("", 900, "\x01", 1), 0) << "the empty key sorts first";
  EXPECT_LT(index->CompareEntries("z", 1, "\xC3\xA9", 1), 0) << "bytes compare unsigned";
  EXPECT_LT(index->CompareEntries("Z", 1, "a", 1), 0) << "case counts";
}

TEST_F(KifFormatTest, BlocksLandAfterTheHeaderOneAfterAnother) {
  EngineStatus status;
  auto index = OpenIndex(Path(), kCreate, status);
  for (int i = 0; i < 21; ++i) ASSERT_EQ(index->Insert(("k" + std::to_string(100 + i)).c_str(), 2 + 2 * i), kEngineOk);
  EXPECT_EQ(index->Header().rootPosition, 1952u) << "leaves at 512 and 1232, then the new root";
  EXPECT_EQ(index->FileSize(), 1952u + 804u);
  index.reset();
  const Bytes file = ReadFileBytes(Path());
  const Block root = DecodeBlock(file, 1952, true, 20, 32);
  EXPECT_EQ(root.children, (std::vector<uint32_t>{512, 1232}));
}

// The order the bulk loader takes its entries in is the one the index
// compares them by, bytes above 0x7F, prefixes, the empty key and keys of
// exactly the key length included; a key ends at its first zero byte.
TEST_F(KifFormatTest, BulkOrderIsTheIndexOrder) {
  EngineStatus status;
  auto index = OpenIndex(Path(), kCreate, status);
  const std::vector<std::string> keys = {"", "\x01", "Z", "a", "ab", "abc", "b", "z", "\x7F", "\xC3\xA9", "\xC3\xA9z",
                                         "\xE4\xB8\xAD", "\xF0\x9F\x98\x80", std::string(32, 'q'), "\xFF"};
  for (const std::string& a : keys) {
    for (const std::string& b : keys) {
      for (uint32_t positionA : {2u, 9u}) {
        const bool before = index->CompareEntries(a.c_str(), positionA, b.c_str(), 5) < 0;
        EXPECT_EQ(KifEntryPrecedes(a.data(), a.size(), positionA, b.data(), b.size(), 5), before)
            << ToHex(Bytes(a.begin(), a.end())) << " / " << ToHex(Bytes(b.begin(), b.end()));
      }
    }
  }
  const std::string cut("ab\0zz", 5);
  EXPECT_FALSE(KifEntryPrecedes(cut.data(), cut.size(), 4, "ab", 2, 4)) << "the same key: \"ab\"";
  EXPECT_TRUE(KifEntryPrecedes(cut.data(), cut.size(), 4, "abc", 3, 1));
  EXPECT_TRUE(KifEntryPrecedes(nullptr, 0, 7, "", 0, 8)) << "null is the empty key";
}

// An empty load is exactly the file an open creates, also for another shape.
TEST_F(KifFormatTest, BulkLoadOfNothingIsTheNewFile) {
  for (const auto& [capacity, keyLength] : std::vector<std::pair<uint32_t, uint32_t>>{{20, 32}, {3, 9}}) {
    EngineStatus status;
    auto index = OpenIndex(Path(), kCreate, status);
    ASSERT_EQ(index->SetNodeCapacity(capacity), kEngineOk);
    ASSERT_EQ(index->SetKeyLength(keyLength), kEngineOk);
    index.reset();
    const std::string loaded = dir.File("loaded.kif");
    ASSERT_EQ(BulkLoad(loaded, {}, Env::Default(), capacity, keyLength), kEngineOk);
    EXPECT_EQ(ReadFileBytes(loaded), ReadFileBytes(Path())) << "capacity " << capacity;
  }
}

// Up to 21 sorted keys, insertion and the bulk load make the same tree (one
// leaf, then two of 10 under a new root), so the files match byte for byte:
// header last, blocks in the order they complete, key fields of every length.
TEST_F(KifFormatTest, BulkLoadOfFewSortedKeysIsTheInsertedFile) {
  std::vector<Entry> entries = {{"", 30}, {"", 31}, {"beta", 20}, {std::string(32, 'z'), 40}, {"\xC3\xA9t\xC3\xA9", 8},
                                {"\xF0\x9F\x98\x80", 6}, {"\xFF\xFE", 4}};
  for (int i = 0; entries.size() < 21; ++i) entries.push_back({"k" + std::to_string(100 + i), 2u + 2 * i});
  std::sort(entries.begin(), entries.end());
  for (size_t count : {1, 3, 20, 21}) {
    const std::vector<Entry> some(entries.begin(), entries.begin() + count);
    EngineStatus status;
    auto index = OpenIndex(Path(), kCreate, status);
    for (const Entry& entry : some) ASSERT_EQ(index->Insert(entry.first.c_str(), entry.second), kEngineOk);
    index.reset();
    const std::string loaded = dir.File("loaded.kif");
    ASSERT_EQ(BulkLoad(loaded, some), kEngineOk);
    EXPECT_EQ(ReadFileBytes(loaded), ReadFileBytes(Path())) << count << " entries";
  }
}

TEST_F(KifFormatTest, BulkLoadedHeaderCountsTheTreeAndNamesTheRootLast) {
  std::vector<Entry> entries;
  for (int i = 0; i < 441; ++i) entries.push_back({NumberedKey(i), 2u * (i + 1)});
  ASSERT_EQ(BulkLoad(Path(), entries), kEngineOk);
  const Bytes file = ReadFileBytes(Path());
  // 441 = 21 x 21 entries do not fit in two levels ((M + 1)^2 - 1 = 440):
  // 22 leaves, two internal nodes and the root.
  ASSERT_EQ(file.size(), 512u + 22 * 720 + 3 * 804);
  HeaderFields expected;
  expected.height = 3;
  expected.root = static_cast<uint32_t>(file.size() - 804);
  expected.entryCount = 441;
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 512), EncodeHeader(expected))
      << ToHex(Bytes(file.begin(), file.begin() + 32));
}

}  // namespace
}  // namespace kro::test
