#include "KifScan.h"

#include "IndexWalk.h"
#include "engine/indexfile/CIndexFile.h"
#include "engine/keyindex/KifFormat.h"
#include "platform/MultiByte.h"

namespace kro::inspection {
namespace kif = kro::kif;
namespace {

// An entry as an ordering bound; a null key is an open end.
struct Bound {
  const std::string* key = nullptr;
  uint32_t position = 0;
};

class KifWalk : IndexWalk {
 public:
  KifWalk(const ByteFile& file, const std::string& name, FindingList& findings)
      : IndexWalk(file, name, findings, "kif") {}

  KifScan Run() {
    scan_.fileSize = file_.Size();
    if (!ReadHeader()) return scan_;
    const uint32_t internal = kif::InternalBlockSize(scan_.capacity, scan_.keyLength);
    const uint32_t leaf = kif::LeafBlockSize(scan_.capacity, scan_.keyLength);
    MapBlocks(internal, leaf);
    scan_.nodesPerLevel.assign(scan_.height, 0);
    if (scan_.height > 0) VisitNode(scan_.root, scan_.height - 1, Bound{}, Bound{}, kif::kRootOffset);
    if (scan_.entries.size() != scan_.entryCount) {
      Report(kif::kEntryCountOffset, "count-mismatch",
             "header counts " + std::to_string(scan_.entryCount) + " entries, the tree holds " +
                 std::to_string(scan_.entries.size()));
    }
    WalkFreeLists(scan_.freeInternalHead, internal, scan_.freeLeafHead, leaf, scan_.freeInternalBlocks,
                  scan_.freeLeafBlocks);
    return scan_;
  }

 private:
  bool ReadHeader() {
    if (!HeaderFits()) return false;
    uint32_t magic = 0;
    file_.U32(kif::kMagicOffset, magic);
    file_.U16(kif::kVersionOffset, scan_.version);
    file_.U16(kif::kCapacityOffset, scan_.capacity);
    file_.U16(kif::kKeyLengthOffset, scan_.keyLength);
    file_.U16(kif::kHeightOffset, scan_.height);
    file_.U32(kif::kRootOffset, scan_.root);
    file_.U32(kif::kFreeInternalOffset, scan_.freeInternalHead);
    file_.U32(kif::kFreeLeafOffset, scan_.freeLeafHead);
    file_.U32(kif::kEntryCountOffset, scan_.entryCount);
    const bool descriptionFits = ReadDescription(kif::kDescriptionOffset, scan_.description);
    std::string problem;
    if (magic != kif::kMagic) {
      problem = "magic is not \"AKIF\"";
    } else if (scan_.version > kif::kVersion) {
      problem = "version " + std::to_string(scan_.version) + " is above 1";
    } else if (scan_.capacity < kif::kMinCapacity || scan_.capacity > kif::kMaxCapacity) {
      problem = "node capacity " + std::to_string(scan_.capacity) + " is outside 2..20";
    } else if (scan_.keyLength < kif::kMinKeyLength || scan_.keyLength > kif::kMaxKeyLength) {
      problem = "key length " + std::to_string(scan_.keyLength) + " is outside 1..256";
    } else if (!descriptionFits) {
      problem = "description runs past the header";
    } else {
      problem = TreeShapeProblem(scan_.height, scan_.root, kif::kMaxHeight);
    }
    if (!problem.empty()) {
      Report(0, "header", "header refused: " + problem);
      return false;
    }
    scan_.headerRead = true;
    return true;
  }

  std::string Key(uint32_t block, uint32_t slot) const {
    const char* field = reinterpret_cast<const char*>(file_.Data() + block + kif::KeyOffset(slot, scan_.keyLength));
    return std::string(field, kro::BoundedLength(field, scan_.keyLength));
  }
  uint32_t Value(uint32_t block, uint32_t slot) const {
    uint32_t value = 0;
    file_.U32(block + kif::ValueOffset(slot, scan_.capacity, scan_.keyLength), value);
    return value;
  }
  int Compare(const std::string& keyA, uint32_t a, const std::string& keyB, uint32_t b) const {
    const int keys = kro::MbCompareBounded(keyA.c_str(), keyB.c_str(), scan_.keyLength);
    if (keys != 0) return keys;
    return a < b ? -1 : (a > b ? 1 : 0);
  }

  void VisitNode(uint32_t block, uint32_t level, Bound low, Bound high, uint64_t from) {
    const uint32_t size = level == 0 ? kif::LeafBlockSize(scan_.capacity, scan_.keyLength)
                                     : kif::InternalBlockSize(scan_.capacity, scan_.keyLength);
    if (!ClaimNode(block, size, from)) return;
    ++scan_.nodesPerLevel[level];
    const uint32_t count = CountUsed(block, scan_.capacity, [&](uint32_t slot) { return Value(block, slot); });
    const bool root = block == scan_.root && level + 1 == scan_.height;
    CheckLeast(block, count, root ? 1 : scan_.capacity / 2);
    std::vector<std::string> keys(count);
    for (uint32_t slot = 0; slot < count; ++slot) keys[slot] = Key(block, slot);
    CheckOrder(block, keys, low, high);
    for (uint32_t slot = 0; slot < count; ++slot) scan_.entries.push_back(KifEntry{keys[slot], Value(block, slot), block});
    if (level == 0) return;
    for (uint32_t child = 0; child <= count; ++child) {
      uint32_t position = 0;
      const uint64_t field = block + kif::ChildOffset(child, scan_.capacity, scan_.keyLength);
      file_.U32(field, position);
      const Bound childLow = child == 0 ? low : Bound{&keys[child - 1], Value(block, child - 1)};
      const Bound childHigh = child == count ? high : Bound{&keys[child], Value(block, child)};
      VisitNode(position, level - 1, childLow, childHigh, field);
    }
  }

  void CheckOrder(uint32_t block, const std::vector<std::string>& keys, Bound low, Bound high) {
    for (uint32_t slot = 0; slot < keys.size(); ++slot) {
      const uint32_t value = Value(block, slot);
      const bool afterPrevious = slot == 0 ? (low.key == nullptr || Compare(*low.key, low.position, keys[slot], value) < 0)
                                           : Compare(keys[slot - 1], Value(block, slot - 1), keys[slot], value) < 0;
      const bool beforeHigh = high.key == nullptr || Compare(keys[slot], value, *high.key, high.position) < 0;
      if (!afterPrevious || !beforeHigh) {
        Report(block, "key-order", "entry " + std::to_string(slot) + " of node " + Hex(block) + " (key \"" + keys[slot] +
                                           "\") is out of order");
        return;
      }
    }
  }

  KifScan scan_;
};

}  // namespace

KifScan ScanKeyIndex(const ByteFile& file, const std::string& name, FindingList& findings) {
  return KifWalk(file, name, findings).Run();
}

}  // namespace kro::inspection
