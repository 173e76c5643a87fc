#include "KifScan.h"

#include "IndexWalk.h"
#include "engine/indexfile/CIndexFile.h"
#include "engine/keyindex/KifBlock.h"
#include "engine/keyindex/KifFormat.h"
#include "engine/keyindex/KifHeader.h"
#include "platform/MultiByte.h"

namespace kro::inspection {
namespace kif = kro::kif;
namespace {

// An entry as an ordering bound; a null key is an open end.
struct Bound {
  const std::string* key = nullptr;
  uint32_t position = 0;
};

// Why open refuses the header, with the limits it is held to.
std::string HeaderProblem(kif::HeaderFault fault, const kro::KifHeader& h, uint64_t fileSize) {
  switch (fault) {
    case kif::HeaderFault::kNone: return std::string();
    case kif::HeaderFault::kTooShort: return TooShortProblem(fileSize);
    case kif::HeaderFault::kMagic: return "magic is not \"AKIF\"";
    case kif::HeaderFault::kVersion:
      return "version " + std::to_string(h.version) + " is above " + std::to_string(kif::kVersion);
    case kif::HeaderFault::kCapacity:
      return "node capacity " + std::to_string(h.capacity) + " is outside " + std::to_string(kif::kMinCapacity) +
             ".." + std::to_string(kif::kMaxCapacity);
    case kif::HeaderFault::kKeyLength:
      return "key length " + std::to_string(h.keyLength) + " is outside " + std::to_string(kif::kMinKeyLength) +
             ".." + std::to_string(kif::kMaxKeyLength);
    case kif::HeaderFault::kTreeShape: return TreeShapeProblem(h.height, h.rootPosition, kif::kMaxHeight);
    case kif::HeaderFault::kDescription: return "description runs past the header";
  }
  return std::string();
}

class KifWalk : IndexWalk {
 public:
  KifWalk(const ByteFile& file, const std::string& name, FindingList& findings)
      : IndexWalk(file, name, findings, "kif") {}

  KifScan Run() {
    scan_.fileSize = file_.Size();
    if (!ReadHeader()) return scan_;
    MapBlocks(header_.internalBlockSize, header_.leafBlockSize);
    scan_.nodesPerLevel.assign(scan_.height, 0);
    if (scan_.height > 0) VisitNode(scan_.root, scan_.height - 1, Bound{}, Bound{}, kif::kRootOffset);
    if (scan_.entries.size() != scan_.entryCount) {
      Report(kif::kEntryCountOffset, "count-mismatch",
             "header counts " + std::to_string(scan_.entryCount) + " entries, the tree holds " +
                 std::to_string(scan_.entries.size()));
    }
    WalkFreeLists(scan_.freeInternalHead, header_.internalBlockSize, scan_.freeLeafHead, header_.leafBlockSize,
                  scan_.freeInternalBlocks, scan_.freeLeafBlocks);
    return scan_;
  }

 private:
  bool ReadHeader() {
    const kif::HeaderFault fault = kro::KifHeader::DecodeFields(BytesAt(0), BytesFrom(0), header_);
    if (fault != kif::HeaderFault::kTooShort) KeepHeaderFields();
    const bool read = fault == kif::HeaderFault::kNone;
    scan_.headerRead = AcceptHeader(HeaderProblem(fault, header_, file_.Size()),
                                    read ? kro::KifHeader::FirstPaddingByteSet(BytesAt(0)) : kro::kIndexHeaderSize);
    return scan_.headerRead;
  }

  void KeepHeaderFields() {
    scan_.version = header_.version;
    scan_.capacity = header_.capacity;
    scan_.keyLength = header_.keyLength;
    scan_.height = header_.height;
    scan_.root = header_.rootPosition;
    scan_.freeInternalHead = header_.freeInternal;
    scan_.freeLeafHead = header_.freeLeaf;
    scan_.entryCount = header_.entryCount;
    scan_.description = header_.description;
  }

  int Compare(const std::string& keyA, uint32_t a, const std::string& keyB, uint32_t b) const {
    const int keys = kro::MbCompareBounded(keyA.c_str(), keyB.c_str(), header_.keyLength);
    if (keys != 0) return keys;
    return a < b ? -1 : (a > b ? 1 : 0);
  }

  void CheckFields(uint32_t block, const kif::SlotSurvey& survey, uint32_t capacity) {
    CheckSlots(block, survey.firstGap, survey.firstDirty, capacity);
    if (survey.firstDirtyChild <= capacity) {
      Report(block, "unused-slot", "child field " + std::to_string(survey.firstDirtyChild) + " of node " + Hex(block) +
                                       " lies past the last child and is not 0");
    }
    if (survey.firstKeyTail < capacity) {
      Report(block, "key-tail", "key field of entry " + std::to_string(survey.firstKeyTail) + " of node " +
                                    Hex(block) + " has bytes after the key's end that are not zero");
    }
  }

  void VisitNode(uint32_t block, uint32_t level, Bound low, Bound high, uint64_t from) {
    if (!ClaimNode(block, header_.BlockSize(level), from)) return;
    kif::BlockView view;
    view.Bind(BytesAt(block), BytesFrom(block), header_.capacity, header_.keyLength, level == 0);
    ++scan_.nodesPerLevel[level];
    const kif::SlotSurvey survey = kif::SurveySlots(view);
    CheckFields(block, survey, view.Slots());
    const uint32_t count = survey.frontEntries;
    const bool root = level + 1 == header_.height;
    CheckLeast(block, count, kif::LeastEntries(root, header_.capacity), root, header_.capacity);
    std::vector<std::string> keys(count);
    for (uint32_t slot = 0; slot < count; ++slot) keys[slot] = std::string(view.KeyField(slot), view.KeyLength(slot));
    CheckOrder(block, view, keys, low, high);
    for (uint32_t slot = 0; slot < count; ++slot) scan_.entries.push_back(KifEntry{keys[slot], view.Value(slot), block});
    if (level == 0) return;
    for (uint32_t child = 0; child <= count; ++child) {
      const uint64_t field = block + kif::ChildOffset(child, header_.capacity, header_.keyLength);
      const Bound childLow = child == 0 ? low : Bound{&keys[child - 1], view.Value(child - 1)};
      const Bound childHigh = child == count ? high : Bound{&keys[child], view.Value(child)};
      VisitNode(view.Child(child), level - 1, childLow, childHigh, field);
    }
  }

  void CheckOrder(uint32_t block, const kif::BlockView& view, const std::vector<std::string>& keys, Bound low,
                  Bound high) {
    for (uint32_t slot = 0; slot < keys.size(); ++slot) {
      const uint32_t value = view.Value(slot);
      const bool afterPrevious = slot == 0 ? (low.key == nullptr || Compare(*low.key, low.position, keys[slot], value) < 0)
                                           : Compare(keys[slot - 1], view.Value(slot - 1), keys[slot], value) < 0;
      const bool beforeHigh = high.key == nullptr || Compare(keys[slot], value, *high.key, high.position) < 0;
      if (!afterPrevious || !beforeHigh) {
        Report(block, "key-order", "entry " + std::to_string(slot) + " of node " + Hex(block) + " (key \"" + keys[slot] +
                                           "\") is out of order");
        return;
      }
    }
  }

  kro::KifHeader header_;
  KifScan scan_;
};

}  // namespace

KifScan ScanKeyIndex(const ByteFile& file, const std::string& name, FindingList& findings) {
  return KifWalk(file, name, findings).Run();
}

}  // namespace kro::inspection
