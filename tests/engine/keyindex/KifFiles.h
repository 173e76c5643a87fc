// Test helpers for key index files: an encoder and decoder of the file
// layout written from the format description (independent of the engine),
// and small conveniences around CKeyIndex.
#ifndef KRO_TESTS_ENGINE_KEYINDEX_KIFFILES_H
#define KRO_TESTS_ENGINE_KEYINDEX_KIFFILES_H

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/keyindex/CKeyIndex.h"
#include "engine/keyindex/KifBulkLoader.h"
#include "support/TempDir.h"

namespace kro::test {

struct HeaderFields {
  uint32_t magic = 0x414B4946u;
  uint32_t version = 1;
  uint32_t capacity = 20;
  uint32_t keyLength = 32;
  uint32_t height = 0;
  uint32_t root = 0;
  uint32_t freeInternal = 0;
  uint32_t freeLeaf = 0;
  uint32_t entryCount = 0;
  std::string description;
};

using Entry = std::pair<std::string, uint32_t>;

struct Block {
  std::vector<Entry> entries;
  std::vector<uint32_t> children;  // empty for a leaf
};

void PutU16(Bytes& bytes, size_t offset, uint32_t value);
void PutU32(Bytes& bytes, size_t offset, uint32_t value);
uint32_t GetU16(const Bytes& bytes, size_t offset);
uint32_t GetU32(const Bytes& bytes, size_t offset);

// 512 bytes; descriptions of 255 bytes or more use the long form.
Bytes EncodeHeader(const HeaderFields& fields);
HeaderFields DecodeHeader(const Bytes& file);
// One block of the size its kind has under (capacity, keyLength).
Bytes EncodeBlock(const Block& block, uint32_t capacity, uint32_t keyLength);
Block DecodeBlock(const Bytes& file, uint32_t position, bool internal, uint32_t capacity, uint32_t keyLength);

// A file image: header and blocks laid at chosen positions.
class KifImage {
 public:
  explicit KifImage(HeaderFields header) : header_(std::move(header)) {}
  HeaderFields& header() { return header_; }
  uint32_t LeafSize() const { return header_.capacity * (header_.keyLength + 4); }
  uint32_t InternalSize() const { return header_.capacity * (header_.keyLength + 8) + 4; }
  // Appends a block and returns its position.
  uint32_t Append(const Block& block);
  Bytes Build() const;

 private:
  HeaderFields header_;
  Bytes body_;
};

// Entry counts of the nodes of each level, root first, left to right, read
// from a closed file.
std::vector<std::vector<uint32_t>> LevelCounts(const Bytes& file);

std::unique_ptr<CKeyIndex> OpenIndex(const std::string& path, uint32_t flagWord, EngineStatus& status,
                                     Env& env = Env::Default());
// Every record position a search for `key` delivers, in delivery order;
// `status` receives the status that ended the search.
std::vector<uint32_t> SearchAll(CKeyIndex& index, const std::string& key, EngineStatus* status = nullptr);

// The pairs an index should hold.
using Model = std::set<Entry>;
// Builds an index of `entries` pairs over 40 keys (many duplicates), then
// deletes every third pair, so that its free lists hold blocks. Returns the
// pairs left.
Model BuildSampleIndex(const std::string& path, int entries);
// Keys of the sample index, plus one it never holds.
std::vector<std::string> SampleKeys();
// Sorted record positions of `key` in the model and in the index; the
// index's search must end with kEngineEndOfResults.
std::vector<uint32_t> ModelPositions(const Model& model, const std::string& key);
std::vector<uint32_t> SortedSearch(CKeyIndex& index, const std::string& key);
// Every sample key finds exactly the model's positions, and the tree
// verifies with the model's entry count.
void ExpectHoldsExactly(CKeyIndex& index, const Model& model);

// Writes `entries`, in the index's order, into a new file at `path` through
// KifBulkLoader with its count, capacity and key length. The first status
// that is not kEngineOk (eKifCannotOpen when the file cannot be made,
// eKifWriteError when it cannot be closed), else Finish's.
EngineStatus BulkLoad(const std::string& path, const std::vector<Entry>& entries, Env& env = Env::Default(),
                      uint32_t capacity = 20, uint32_t keyLength = 32);

// "k000", "k001", ...: short keys that sort like their numbers.
std::string NumberedKey(int i);

// A test around one index file in a directory of its own.
class KifFileTest : public ::testing::Test {
 protected:
  std::string Path() const { return dir.File("keys.kif"); }
  // Opens Path() in env_ and expects the open to succeed.
  std::unique_ptr<CKeyIndex> Open(uint32_t flags);
  TempDir dir;
  // Where Open opens the index: a test's faults, or the operating system.
  Env* env_ = &Env::Default();
};

// Points TMPDIR at a directory of the test for its lifetime, so the
// temporary files of a compaction can be counted without interference.
class ScopedTempDirectory {
 public:
  explicit ScopedTempDirectory(const std::string& path);
  ~ScopedTempDirectory();
  ScopedTempDirectory(const ScopedTempDirectory&) = delete;
  ScopedTempDirectory& operator=(const ScopedTempDirectory&) = delete;

 private:
  std::string previous_;
  bool hadPrevious_;
};

}  // namespace kro::test

#endif
