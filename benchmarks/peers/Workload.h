// The comparison workload: N polylines of eight vertices with a name and a
// key, and 10 000 query boxes of one degree, each made from (seed, index)
// alone so that every row makes exactly the same objects and queries.
#ifndef KRO_BENCHMARKS_PEERS_WORKLOAD_H
#define KRO_BENCHMARKS_PEERS_WORKLOAD_H

#include <cstdint>
#include <string>

namespace peers {

constexpr int kVertices = 8;
constexpr int kQueries = 10000;

struct Box {
  double xMin, yMin, xMax, yMax;
  bool Meets(const Box& other) const {
    return xMin <= other.xMax && other.xMin <= xMax && yMin <= other.yMax && other.yMin <= yMax;
  }
};

struct Object {
  double x[kVertices];
  double y[kVertices];
  char name[17];
  char key[11];
  Box Bounds() const;
};

// Object `index` of the workload.
void MakeObject(uint64_t index, Object& object);
// Query box `index`.
Box MakeQuery(uint64_t index);

// What a row read: objects, vertices and text bytes, folded together so
// that every row must really read what it reports.
struct Tally {
  uint64_t objects = 0;
  double coordinateSum = 0;
  uint64_t textBytes = 0;
  void Add(const double* xs, const double* ys, int count, size_t nameLength, size_t keyLength) {
    ++objects;
    for (int i = 0; i < count; ++i) coordinateSum += xs[i] + ys[i];
    textBytes += nameLength + keyLength;
  }
};

}  // namespace peers

#endif
