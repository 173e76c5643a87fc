#include "KifFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace kro::test {

void PutU16(Bytes& bytes, size_t offset, uint32_t value) {
  bytes.at(offset) = static_cast<uint8_t>(value >> 8);
  bytes.at(offset + 1) = static_cast<uint8_t>(value);
}

void PutU32(Bytes& bytes, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.at(offset + i) = static_cast<uint8_t>(value >> (24 - 8 * i));
}

uint32_t GetU16(const Bytes& bytes, size_t offset) { return uint32_t(bytes.at(offset)) << 8 | bytes.at(offset + 1); }

uint32_t GetU32(const Bytes& bytes, size_t offset) {
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value = value << 8 | bytes.at(offset + i);
  return value;
}

Bytes EncodeHeader(const HeaderFields& fields) {
  Bytes bytes(512, 0);
  PutU32(bytes, 0, fields.magic);
  PutU16(bytes, 4, fields.version);
  PutU16(bytes, 6, fields.capacity);
  PutU16(bytes, 8, fields.keyLength);
  PutU16(bytes, 10, fields.height);
  PutU32(bytes, 12, fields.root);
  PutU32(bytes, 16, fields.freeInternal);
  PutU32(bytes, 20, fields.freeLeaf);
  PutU32(bytes, 24, fields.entryCount);
  const std::string& text = fields.description;
  size_t at = 28;
  if (text.size() < 255) {
    bytes[at++] = static_cast<uint8_t>(text.size());
  } else {
    bytes[at++] = 0xFF;
    PutU16(bytes, at, static_cast<uint32_t>(text.size()));
    at += 2;
  }
  std::memcpy(bytes.data() + at, text.data(), text.size());
  return bytes;
}

HeaderFields DecodeHeader(const Bytes& file) {
  HeaderFields fields;
  fields.magic = GetU32(file, 0);
  fields.version = GetU16(file, 4);
  fields.capacity = GetU16(file, 6);
  fields.keyLength = GetU16(file, 8);
  fields.height = GetU16(file, 10);
  fields.root = GetU32(file, 12);
  fields.freeInternal = GetU32(file, 16);
  fields.freeLeaf = GetU32(file, 20);
  fields.entryCount = GetU32(file, 24);
  size_t length = file.at(28);
  size_t at = 29;
  if (length == 0xFF) {
    length = GetU16(file, 29);
    at = 31;
  }
  fields.description.assign(reinterpret_cast<const char*>(file.data()) + at, length);
  return fields;
}

Bytes EncodeBlock(const Block& block, uint32_t capacity, uint32_t keyLength) {
  const bool internal = !block.children.empty();
  Bytes bytes(internal ? capacity * (keyLength + 8) + 4 : capacity * (keyLength + 4), 0);
  for (size_t i = 0; i < block.entries.size(); ++i) {
    const std::string& key = block.entries[i].first;
    std::memcpy(bytes.data() + i * keyLength, key.data(), std::min<size_t>(key.size(), keyLength));
    PutU32(bytes, capacity * keyLength + 4 * i, block.entries[i].second);
  }
  for (size_t i = 0; i < block.children.size(); ++i) PutU32(bytes, capacity * (keyLength + 4) + 4 * i, block.children[i]);
  return bytes;
}

Block DecodeBlock(const Bytes& file, uint32_t position, bool internal, uint32_t capacity, uint32_t keyLength) {
  Block block;
  for (uint32_t i = 0; i < capacity; ++i) {
    const uint32_t value = GetU32(file, position + capacity * keyLength + 4 * i);
    if (value == 0) continue;
    const char* field = reinterpret_cast<const char*>(file.data()) + position + i * keyLength;
    block.entries.emplace_back(std::string(field, strnlen(field, keyLength)), value);
  }
  if (internal) {
    for (uint32_t i = 0; i <= block.entries.size(); ++i) {
      block.children.push_back(GetU32(file, position + capacity * (keyLength + 4) + 4 * i));
    }
  }
  return block;
}

uint32_t KifImage::Append(const Block& block) {
  const uint32_t position = 512 + static_cast<uint32_t>(body_.size());
  const Bytes bytes = EncodeBlock(block, header_.capacity, header_.keyLength);
  body_.insert(body_.end(), bytes.begin(), bytes.end());
  return position;
}

Bytes KifImage::Build() const {
  Bytes file = EncodeHeader(header_);
  file.insert(file.end(), body_.begin(), body_.end());
  return file;
}

std::vector<std::vector<uint32_t>> LevelCounts(const Bytes& file) {
  const HeaderFields header = DecodeHeader(file);
  std::vector<std::vector<uint32_t>> levels;
  std::vector<uint32_t> positions;
  if (header.root != 0) positions.push_back(header.root);
  for (uint32_t level = header.height; level-- > 0 && !positions.empty();) {
    std::vector<uint32_t> counts;
    std::vector<uint32_t> next;
    for (uint32_t position : positions) {
      const Block block = DecodeBlock(file, position, level != 0, header.capacity, header.keyLength);
      counts.push_back(static_cast<uint32_t>(block.entries.size()));
      next.insert(next.end(), block.children.begin(), block.children.end());
    }
    levels.push_back(counts);
    positions = next;
  }
  return levels;
}

std::unique_ptr<CKeyIndex> OpenIndex(const std::string& path, uint32_t flagWord, EngineStatus& status, Env& env) {
  return std::make_unique<CKeyIndex>(path.c_str(), flagWord, status, env);
}

std::vector<uint32_t> SearchAll(CKeyIndex& index, const std::string& key, EngineStatus* status) {
  std::vector<uint32_t> found;
  EngineStatus result = index.BeginSearch(key.c_str());
  while (result == kEngineOk) {
    uint32_t position = 0;
    result = index.GetNextMatch(position);
    if (result == kEngineOk) found.push_back(position);
  }
  if (status != nullptr) *status = result;
  return found;
}

std::vector<std::string> SampleKeys() {
  std::vector<std::string> keys;
  for (int i = 0; i < 40; ++i) keys.push_back((i % 2 ? "\xC3\xA9" : "key") + std::to_string(i));
  keys.push_back("absent");
  return keys;
}

Model BuildSampleIndex(const std::string& path, int entries) {
  const std::vector<std::string> keys = SampleKeys();
  Model model;
  EngineStatus status;
  auto index = OpenIndex(path, 2 | 8, status);
  EXPECT_EQ(status, kEngineOk);
  for (int i = 0; i < entries; ++i) {
    const Entry entry{keys[(i * 7) % 40], 2u * (i + 1)};
    EXPECT_EQ(index->Insert(entry.first.c_str(), entry.second), kEngineOk);
    model.insert(entry);
  }
  for (int i = 0; i < entries; i += 3) {
    const Entry entry{keys[(i * 7) % 40], 2u * (i + 1)};
    EXPECT_EQ(index->Delete(entry.first.c_str(), entry.second), kEngineOk);
    model.erase(entry);
  }
  return model;
}

std::vector<uint32_t> ModelPositions(const Model& model, const std::string& key) {
  std::vector<uint32_t> positions;
  for (auto it = model.lower_bound({key, 0}); it != model.end() && it->first == key; ++it) {
    positions.push_back(it->second);
  }
  return positions;
}

std::vector<uint32_t> SortedSearch(CKeyIndex& index, const std::string& key) {
  EngineStatus end;
  std::vector<uint32_t> found = SearchAll(index, key, &end);
  EXPECT_EQ(end, kEngineEndOfResults) << StatusName(end);
  std::sort(found.begin(), found.end());
  return found;
}

void ExpectHoldsExactly(CKeyIndex& index, const Model& model) {
  for (const std::string& key : SampleKeys()) EXPECT_EQ(SortedSearch(index, key), ModelPositions(model, key)) << key;
  KifStatistics statistics;
  EXPECT_EQ(index.Verify(nullptr, statistics), kEngineOk);
  EXPECT_EQ(statistics.entries, model.size());
}

EngineStatus BulkLoad(const std::string& path, const std::vector<Entry>& entries, Env& env, uint32_t capacity,
                      uint32_t keyLength) {
  const CGafRawFile files(env);
  FileHandle file = kInvalidFileHandle;
  if (!files.Open(path.c_str(), kOpenReadWrite | kOpenCreateTruncate, file)) return eKifCannotOpen;
  EngineStatus status = kEngineOk;
  {
    KifBulkLoader loader(files, file, entries.size(), capacity, keyLength);
    for (size_t i = 0; i < entries.size() && status == kEngineOk; ++i) {
      status = loader.Add(entries[i].first.data(), entries[i].first.size(), entries[i].second);
    }
    if (status == kEngineOk) status = loader.Finish();
  }
  if (!files.Close(file) && status == kEngineOk) status = eKifWriteError;
  return status;
}

std::string NumberedKey(int i) {
  char text[16];
  std::snprintf(text, sizeof text, "k%03d", i);
  return text;
}

std::unique_ptr<CKeyIndex> KifFileTest::Open(uint32_t flags) {
  EngineStatus status;
  auto index = OpenIndex(Path(), flags, status, *env_);
  EXPECT_EQ(status, kEngineOk) << StatusName(status);
  return index;
}

ScopedTempDirectory::ScopedTempDirectory(const std::string& path) {
  const char* previous = std::getenv("TMPDIR");
  hadPrevious_ = previous != nullptr;
  if (hadPrevious_) previous_ = previous;
  ::setenv("TMPDIR", path.c_str(), 1);
}

ScopedTempDirectory::~ScopedTempDirectory() {
  if (hadPrevious_) ::setenv("TMPDIR", previous_.c_str(), 1);
  else ::unsetenv("TMPDIR");
}

}  // namespace kro::test
