// Writes the seed corpus of the fuzz targets: small sound file sets of every
// object kind and precision, and slightly damaged copies of them.
//   kro_fuzz_seeds <directory>
// makes <directory>/data_file, <directory>/file_set, <directory>/inspection
// and <directory>/index_mutation.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <numeric>
#include <string>
#include <vector>

#include "FuzzFiles.h"
#include "engine/datafile/CGafFile.h"
#include "engine/datafile/GafRecordCodec.h"
#include "engine/keyindex/CKeyIndex.h"
#include "engine/spatialindex/CSpatialIndex.h"

namespace {

using Bytes = std::vector<uint8_t>;
using kro::EngineStatus;

Bytes Load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Save(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

struct FileSet {
  Bytes gaf, sif, kif;
};

// `count` objects of every kind (the kinds cycle), with or without metadata,
// at 32 or 64 bits, indexed in both indexes.
FileSet MakeSet(int count, int16_t bits, bool metadata) {
  const std::string gaf = kro::fuzz::FilePath("seed.gaf");
  const std::string sif = kro::fuzz::FilePath("seed.sif");
  const std::string kif = kro::fuzz::FilePath("seed.kif");
  {
    EngineStatus status;
    kro::CGafFile file(gaf.c_str(), kro::kOpenReadWrite | kro::kOpenCreateTruncate, status);
    kro::CSpatialIndex spatial(sif.c_str(), kro::kOpenReadWrite | kro::kOpenCreateTruncate, status);
    kro::CKeyIndex keys(kif.c_str(), kro::kOpenReadWrite | kro::kOpenCreateTruncate, status);
    file.SetPrecision(bits);
    if (metadata) {
      kro::GafCoordSys coordSys;
      file.SetCoordSys(&coordSys);
      file.SetDescription("seed");
    }
    for (int i = 0; i < count; ++i) {
      const double x = i, y = i % 7;
      const std::vector<CKroDoublePointNode> ring{{x, y}, {x + 1, y}, {x + 1, y + 1}, {x, y}};
      std::vector<CKroDoublePointNode> two(ring);
      two.insert(two.end(), ring.begin(), ring.end());
      // Kinds 0 to 5 in turn: point, multi-point, polyline, multi-polyline,
      // polygon, multi-polygon.
      const int kind = i % 6;
      const std::vector<int32_t> parts[6] = {{1}, {3}, {3}, {4, 4}, {4}, {4, 4}};
      const char* const urls[6] = {"u", "", "url", "", "", "u"};
      kro::GafRecord record;
      record.kind = static_cast<EGafObjectType>(kind);
      record.name = i % 2 ? "name" + std::to_string(i) : "";
      record.key = "k" + std::to_string(i % 5);
      record.url = urls[kind];
      record.parts = parts[kind];
      const std::vector<CKroDoublePointNode>& vertices = kro::gaf::IsMultiPart(kind) ? two : ring;
      record.vertices.assign(vertices.begin(), vertices.begin() + std::accumulate(parts[kind].begin(), parts[kind].end(), 0));
      uint32_t position = 0;
      BoundingBoxNode box{};
      file.WriteRecord(record, position, &box);
      spatial.Insert(static_cast<uint32_t>(i % 6), box, position);
      keys.Insert(record.key.c_str(), position);
    }
  }
  return FileSet{Load(gaf), Load(sif), Load(kif)};
}

// Deterministic damage: a few bytes replaced, or the end cut off.
Bytes Damaged(Bytes bytes, uint32_t seed) {
  uint32_t state = seed * 2654435761u + 1;
  auto next = [&state] {
    state = state * 1103515245u + 12345u;
    return state >> 8;
  };
  if (bytes.empty()) return bytes;
  if (seed % 3 == 0) {
    bytes.resize(bytes.size() - 1 - next() % (bytes.size() < 16 ? bytes.size() : 16));
    return bytes;
  }
  for (uint32_t i = 0; i <= seed % 3; ++i) bytes[next() % bytes.size()] = static_cast<uint8_t>(next());
  return bytes;
}

// An operation script for the index mutation target: inserts, deletes and
// searches on small keys and boxes, a verify and a compact.
Bytes Script(uint32_t seed) {
  Bytes script;
  uint32_t state = seed + 7;
  for (int op = 0; op < 24; ++op) {
    state = state * 1103515245u + 12345u;
    const uint8_t kind = static_cast<uint8_t>(op == 20 ? 3 : op == 22 ? 4 : (state >> 16) % 3);
    script.push_back(kind);
    for (int i = 0; i < 10; ++i) script.push_back(static_cast<uint8_t>(state >> (i % 4 * 8)));
  }
  return script;
}

// A 64-bit file with one odd-length polyline record whose last string ends
// on the pad byte: the shape of a past over-read, kept so that mutations
// start near that corner of the reader.
Bytes OddRecordFile() {
  Bytes file{0x00, 0x2C, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 7};
  file.resize(file.size() + 32, 0);  // the box
  const Bytes rest{0x40, 0x02, 0x00, 0x02,                    // version 2
                   0x48, 0x02, 0x00, 0x40,                    // 64-bit coordinates
                   0x08, 0x00,                                // end of header
                   0x88, 0x05, 0x7F, 0x00, 0x00, 0x00, 0x01,  // polyline, length 5
                   0x41,                                      // the pad byte
                   0x04, 0x00};                               // end of data
  file.insert(file.end(), rest.begin(), rest.end());
  return file;
}

// A version 1 file: two strings per record, a polyline whose vertex count
// comes from its length, a multi-polyline framed by its content under a
// length field of 2, a free record, and no end-of-data chunk.
Bytes OldVersionFile() {
  Bytes file{0x00, 0x2C, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 2};
  file.resize(file.size() + 32, 0);  // the box
  const Bytes rest{0x40, 0x02, 0x00, 0x01,                          // version 1
                   0x08, 0x00,                                      // end of header
                   0x88, 0x14, 0x01, 0x61, 0x00, 0x00,              // polyline, length 20: "a", "", pad
                   0, 0, 0, 0, 0, 0, 0, 0, 0x3F, 0x80, 0, 0, 0, 0, 0, 0,  // two f32 vertices
                   0xFC, 0x04, 0, 0, 0, 0,                          // free record, link 0
                   0x8C, 0x02, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01,  // multi-polyline: 1 set of 1
                   0x40, 0x00, 0x00, 0x00, 0x40, 0x40, 0x00, 0x00};
  file.insert(file.end(), rest.begin(), rest.end());
  return file;
}

// The index mutation target's input: the kind byte (0 spatial, 1 key), then
// the file and the script.
Bytes MutationInput(uint8_t kind, const Bytes& file, const Bytes& script) {
  Bytes input{kind};
  const Bytes parts = kro::fuzz::JoinParts({file, script});
  input.insert(input.end(), parts.begin(), parts.end());
  return input;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kro_fuzz_seeds <directory>\n");
    return 2;
  }
  const std::string root = argv[1];
  for (const char* sub : {"", "/data_file", "/file_set", "/inspection", "/index_mutation"}) {
    mkdir((root + sub).c_str(), 0755);
  }
  int n = 0;
  auto name = [&n](const std::string& folder) { return folder + "/seed-" + std::to_string(n++); };
  // The whole-set targets, the engine's and the inspection's, start from the same sets.
  auto saveSet = [&](const std::vector<Bytes>& files) {
    const Bytes joined = kro::fuzz::JoinParts(files);
    Save(name(root + "/file_set"), joined);
    Save(name(root + "/inspection"), joined);
  };
  uint32_t seed = 0;
  for (int16_t bits : {int16_t{32}, int16_t{64}}) {
    for (bool metadata : {false, true}) {
      for (int count : {0, 1, 7, 30}) {
        const FileSet set = MakeSet(count, bits, metadata);
        Save(name(root + "/data_file"), set.gaf);
        saveSet({set.gaf, set.sif, set.kif});
        saveSet({set.gaf, set.sif, {}});
        Save(name(root + "/index_mutation"), MutationInput(0, set.sif, Script(seed)));
        Save(name(root + "/index_mutation"), MutationInput(1, set.kif, Script(seed + 1)));
        for (int variant = 0; variant < 3; ++variant, ++seed) {
          Save(name(root + "/data_file"), Damaged(set.gaf, seed));
          saveSet({Damaged(set.gaf, seed), Damaged(set.sif, seed + 1), set.kif});
          Save(name(root + "/index_mutation"), MutationInput(0, Damaged(set.sif, seed), Script(seed)));
          Save(name(root + "/index_mutation"), MutationInput(1, Damaged(set.kif, seed), Script(seed)));
        }
      }
    }
  }
  const FileSet one = MakeSet(1, 64, false);
  Save(name(root + "/data_file"), OddRecordFile());
  saveSet({OddRecordFile(), one.sif, one.kif});
  saveSet({OldVersionFile(), one.sif, {}});
  std::printf("%d seeds in %s\n", n, root.c_str());
  return 0;
}
