// Index mutation on arbitrary bytes: the first byte chooses a spatial or a
// key index, the rest is split into the index file and a script of
// operations (insert, delete, search, verify, compact, and a leaf scan or a
// full key walk) run on the file opened for update; the file is then closed,
// reopened read-only and verified. Nothing may crash, hang or read out of
// bounds, whatever the file holds.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzFiles.h"
#include "engine/keyindex/CKeyIndex.h"
#include "engine/spatialindex/CSpatialIndex.h"
#include "engine/spatialindex/SifFormat.h"

namespace {

using kro::EngineStatus;
using kro::kEngineOk;
using kro::fuzz::ByteReader;

constexpr int kMaxOperations = 64;
// Bounds every result loop; a sound index of the sizes fuzzed delivers far fewer.
constexpr int kMaxResults = 100000;

BoundingBoxNode ReadBox(ByteReader& script) {
  const double x = script.Coordinate(), y = script.Coordinate();
  const uint8_t size = script.U8();
  return BoundingBoxNode{x, y, x + size, y + size % 16};
}

// Keys of up to 40 bytes over a small alphabet, so that keys repeat and some
// are longer than the index's key length.
std::string ReadKey(ByteReader& script) {
  std::string key(script.U8() % 41, 'a');
  for (char& c : key) c = static_cast<char>('a' + script.U8() % 4);
  return key;
}

void RunSpatial(const std::string& path, ByteReader& script) {
  {
    EngineStatus status;
    kro::CSpatialIndex index(path.c_str(), kro::kOpenReadWrite, status);
    if (status != kEngineOk) return;
    for (int op = 0; op < kMaxOperations && !script.Empty(); ++op) {
      switch (script.U8() % 6) {
        case 0: {
          const uint32_t type = script.U8() % 6;
          const BoundingBoxNode box = ReadBox(script);
          index.Insert(type, box, script.U32());
          break;
        }
        case 1: {
          const BoundingBoxNode box = ReadBox(script);
          index.Delete(box, script.U32());
          break;
        }
        case 2: {
          const BoundingBoxNode box = ReadBox(script);
          if (index.BeginSearch(box, script.U8() % 5, script.U8() % 2 == 0) != kEngineOk) break;
          uint32_t position, type;
          BoundingBoxNode hit;
          for (int i = 0; i < kMaxResults && index.GetNextHit(position, type, hit) == kEngineOk; ++i) {
          }
          break;
        }
        case 3: {
          kro::SifStatistics statistics;
          index.Verify(nullptr, statistics);
          break;
        }
        case 4: index.Compact(nullptr, nullptr); break;
        default: {
          if (index.BeginLeafScan() != kEngineOk) break;
          uint32_t positions[kro::sif::kMaxSlots], types[kro::sif::kMaxSlots], count;
          BoundingBoxNode boxes[kro::sif::kMaxSlots], unionBox;
          for (int i = 0; i < kMaxResults && index.GetNextLeaf(positions, types, boxes, count, unionBox) == kEngineOk;
               ++i) {
          }
          break;
        }
      }
    }
  }
  EngineStatus status;
  kro::CSpatialIndex index(path.c_str(), kro::kOpenReadOnly, status);
  kro::SifStatistics statistics;
  if (status == kEngineOk) index.Verify(nullptr, statistics);
}

void SearchKey(kro::CKeyIndex& index, const std::string& key) {
  if (index.BeginSearch(key.c_str()) != kEngineOk) return;
  uint32_t position;
  for (int i = 0; i < kMaxResults && index.GetNextMatch(position) == kEngineOk; ++i) {
  }
}

void RunKeys(const std::string& path, ByteReader& script) {
  {
    EngineStatus status;
    kro::CKeyIndex index(path.c_str(), kro::kOpenReadWrite, status);
    if (status != kEngineOk) return;
    for (int op = 0; op < kMaxOperations && !script.Empty(); ++op) {
      switch (script.U8() % 6) {
        case 0: {
          const std::string key = ReadKey(script);
          index.Insert(key.c_str(), script.U32());
          break;
        }
        case 1: {
          const std::string key = ReadKey(script);
          index.Delete(key.c_str(), script.U32());
          break;
        }
        case 2: SearchKey(index, ReadKey(script)); break;
        case 3: {
          kro::KifStatistics statistics;
          index.Verify(nullptr, statistics);
          break;
        }
        case 4: index.Compact(nullptr, nullptr); break;
        default: SearchKey(index, ""); break;
      }
    }
  }
  EngineStatus status;
  kro::CKeyIndex index(path.c_str(), kro::kOpenReadOnly, status);
  kro::KifStatistics statistics;
  if (status == kEngineOk) index.Verify(nullptr, statistics);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool spatial = data[0] % 2 == 0;
  const std::vector<kro::fuzz::Slice> parts = kro::fuzz::SplitInput(data + 1, size - 1, 2);
  const std::string path = kro::fuzz::FilePath(spatial ? "mutation.sif" : "mutation.kif");
  if (!kro::fuzz::WriteFile(path, parts[0])) return 0;
  ByteReader script(parts[1]);
  if (spatial) {
    RunSpatial(path, script);
  } else {
    RunKeys(path, script);
  }
  return 0;
}
