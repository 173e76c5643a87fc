#include "Workload.h"

#include <algorithm>
#include <cstdio>

namespace peers {
namespace {

constexpr uint64_t kSeed = 42;

class SplitMix64 {
 public:
  explicit SplitMix64(uint64_t state) : state_(state) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  double Uniform(double lo, double hi) { return lo + (hi - lo) * (static_cast<double>(Next() >> 11) * 0x1.0p-53); }

 private:
  uint64_t state_;
};

}  // namespace

Box Object::Bounds() const {
  Box box{x[0], y[0], x[0], y[0]};
  for (int i = 1; i < kVertices; ++i) {
    box.xMin = std::min(box.xMin, x[i]);
    box.xMax = std::max(box.xMax, x[i]);
    box.yMin = std::min(box.yMin, y[i]);
    box.yMax = std::max(box.yMax, y[i]);
  }
  return box;
}

void MakeObject(uint64_t index, Object& object) {
  SplitMix64 random(kSeed ^ (0xD1B54A32D192ED03ULL * (index + 1)));
  object.x[0] = random.Uniform(-180, 180);
  object.y[0] = random.Uniform(-90, 90);
  for (int i = 1; i < kVertices; ++i) {
    object.x[i] = std::clamp(object.x[i - 1] + random.Uniform(-0.05, 0.05), -180.0, 180.0);
    object.y[i] = std::clamp(object.y[i - 1] + random.Uniform(-0.05, 0.05), -90.0, 90.0);
  }
  const int letters = 8 + static_cast<int>(random.Next() % 9);
  for (int i = 0; i < letters; ++i) object.name[i] = static_cast<char>('a' + random.Next() % 26);
  object.name[letters] = '\0';
  std::snprintf(object.key, sizeof object.key, "K%09llu",
                static_cast<unsigned long long>((index * 654435761ULL + 12345ULL) % 1000000000ULL));
}

Box MakeQuery(uint64_t index) {
  SplitMix64 random(kSeed ^ 0x5157A11CEULL ^ (0xA0761D6478BD642FULL * (index + 1)));
  const double x = random.Uniform(-179.5, 179.5);
  const double y = random.Uniform(-89.5, 89.5);
  return Box{x - 0.5, y - 0.5, x + 0.5, y + 0.5};
}

}  // namespace peers
