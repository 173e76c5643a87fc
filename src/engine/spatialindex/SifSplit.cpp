#include "engine/spatialindex/SifSplit.h"

#include <cmath>
#include <limits>

#include "engine/spatialindex/SifBox.h"

namespace kro::sif {
namespace {

constexpr double kNegativeInfinity = -std::numeric_limits<double>::infinity();

void Join(SplitGroup& group, uint32_t index, const SplitEntry& entry) {
  group.box = group.count == 0 ? entry.box : Union(group.box, entry.box);
  group.members[group.count++] = static_cast<uint8_t>(index);
}

void JoinRemaining(const SplitList& entries, uint32_t n, std::array<bool, kMaxSplitEntries>& assigned,
                   SplitGroup& group) {
  for (uint32_t i = 0; i < n; ++i) {
    if (assigned[i]) continue;
    Join(group, i, entries[i]);
    assigned[i] = true;
  }
}

}  // namespace

SeedPair PickSeeds(const SplitList& entries, uint32_t n) {
  SeedPair seeds;
  double best = kNegativeInfinity;
  for (uint32_t i = 0; i + 1 < n; ++i) {
    for (uint32_t j = i + 1; j < n; ++j) {
      const double waste =
          Area(Union(entries[i].box, entries[j].box)) - Area(entries[i].box) - Area(entries[j].box);
      if (waste > best) {
        best = waste;
        seeds = SeedPair{i, j};
      }
    }
  }
  return seeds;
}

NextPick PickNext(const SplitList& entries, uint32_t n, const SplitGroup& group1, const SplitGroup& group2,
                  const std::array<bool, kMaxSplitEntries>& assigned) {
  const double area1 = Area(group1.box);
  const double area2 = Area(group2.box);
  const auto growth1 = [&](uint32_t i) { return Area(Union(group1.box, entries[i].box)) - area1; };
  const auto growth2 = [&](uint32_t i) { return Area(Union(group2.box, entries[i].box)) - area2; };

  constexpr uint32_t kNone = kMaxSplitEntries;
  uint32_t chosen = kNone;
  uint32_t firstUnassigned = kNone;
  double best = kNegativeInfinity;
  for (uint32_t i = 0; i < n; ++i) {
    if (assigned[i]) continue;
    if (firstUnassigned == kNone) firstUnassigned = i;
    const double preference = std::fabs(growth1(i) - growth2(i));
    if (preference > best) {
      best = preference;
      chosen = i;
    }
  }
  // Only NaN preferences left (NaN boxes): the first unassigned entry goes,
  // so a choice always exists.
  if (chosen == kNone) chosen = firstUnassigned;

  NextPick pick;
  pick.entry = chosen;
  const double d1 = growth1(chosen);
  const double d2 = growth2(chosen);
  if (d1 < d2) pick.group = 1;
  else if (d2 < d1) pick.group = 2;
  else if (area1 < area2) pick.group = 1;
  else if (area2 < area1) pick.group = 2;
  else if (group1.count < group2.count) pick.group = 1;
  else pick.group = 2;
  return pick;
}

void DistributeEntries(const SplitList& entries, uint32_t maximum, uint32_t minimum, SplitGroup& group1,
                       SplitGroup& group2) {
  const uint32_t n = maximum + 1;
  std::array<bool, kMaxSplitEntries> assigned{};
  group1 = SplitGroup{};
  group2 = SplitGroup{};

  const SeedPair seeds = PickSeeds(entries, n);
  Join(group1, seeds.first, entries[seeds.first]);
  Join(group2, seeds.second, entries[seeds.second]);
  assigned[seeds.first] = assigned[seeds.second] = true;

  const uint32_t limit = maximum - minimum;
  for (uint32_t round = 0; round + 1 < maximum; ++round) {
    const NextPick pick = PickNext(entries, n, group1, group2, assigned);
    Join(pick.group == 1 ? group1 : group2, pick.entry, entries[pick.entry]);
    assigned[pick.entry] = true;
    if (group1.count >= limit || group2.count >= limit) break;
  }

  if (group1.count < minimum) {
    JoinRemaining(entries, n, assigned, group1);
  } else if (group2.count < minimum) {
    JoinRemaining(entries, n, assigned, group2);
  }
  // With a minimum below half the capacity both groups can have reached it
  // while entries are left; they join by preference, never beyond capacity.
  while (group1.count + group2.count < n) {
    const NextPick pick = PickNext(entries, n, group1, group2, assigned);
    SplitGroup* target = pick.group == 1 ? &group1 : &group2;
    if (target->count >= maximum) target = target == &group1 ? &group2 : &group1;
    Join(*target, pick.entry, entries[pick.entry]);
    assigned[pick.entry] = true;
  }
}

}  // namespace kro::sif
