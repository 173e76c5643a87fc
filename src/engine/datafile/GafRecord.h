// One object record as a plain value: what the data file writes and reads,
// what the file set passes, and what every consumer walks.
//
// Every kind has parts: a point is one part of one vertex, a multi-point,
// polyline or polygon one part of all its vertices, a multi-polyline or
// multi-polygon one part per set. `parts` holds the vertex count of each
// part and `vertices` all parts one after another, so a consumer that walks
// Parts(record) needs no case for any kind.
//
// A record read from a file has texts cut to 255 bytes (whole characters,
// up to a stored zero byte) and parts that add up to its vertices. One kept
// for the next read reuses its storage: once it has held the largest record
// of a pass, reading allocates nothing.
#ifndef KRO_ENGINE_DATAFILE_GAFRECORD_H
#define KRO_ENGINE_DATAFILE_GAFRECORD_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "KroGafExportImport/KroGafExportImport.h"

namespace kro {

struct GafRecord {
  // 0 to 5 for objects; a pass that steps onto a free record (10) or an
  // unknown one (-1) says so here, with no contents.
  EGafObjectType kind = kGafUndefinedObject;
  std::string name;
  std::string key;
  std::string url;
  std::vector<int32_t> parts;  // vertex count of each part
  std::vector<CKroDoublePointNode> vertices;
  // Known when the record came through the spatial index (the entry's box);
  // a writer answers the box it computed separately.
  std::optional<BoundingBoxNode> box;

  // Empties the contents, keeping the storage.
  void Clear(EGafObjectType newKind) {
    kind = newKind;
    name.clear();
    key.clear();
    url.clear();
    parts.clear();
    vertices.clear();
    box.reset();
  }
};

// A record of one part holding all of `vertices` (a point, multi-point,
// polyline or polygon).
inline GafRecord SinglePartRecord(EGafObjectType kind, std::vector<CKroDoublePointNode> vertices) {
  GafRecord record;
  record.kind = kind;
  record.parts.assign(1, static_cast<int32_t>(vertices.size()));
  record.vertices = std::move(vertices);
  return record;
}

// One part: its vertices, contiguous in the record's array.
struct GafPart {
  const CKroDoublePointNode* vertices = nullptr;
  size_t count = 0;
  const CKroDoublePointNode* begin() const { return vertices; }
  const CKroDoublePointNode* end() const { return vertices + count; }
};

// The parts of a record in order. A part count beyond the vertices left (or
// negative) yields only the vertices there are, so a record built by hand
// is never read past its array.
class GafParts {
 public:
  class Iterator {
   public:
    Iterator(const GafRecord& record, size_t part, size_t start) : record_(&record), part_(part), start_(start) {}
    GafPart operator*() const {
      const size_t left = record_->vertices.size() - start_;
      const int32_t count = record_->parts[part_];
      return GafPart{record_->vertices.data() + start_, count > 0 ? std::min(static_cast<size_t>(count), left) : 0};
    }
    Iterator& operator++() {
      start_ += (**this).count;
      ++part_;
      return *this;
    }
    bool operator!=(const Iterator& other) const { return part_ != other.part_; }

   private:
    const GafRecord* record_;
    size_t part_;
    size_t start_;
  };

  explicit GafParts(const GafRecord& record) : record_(record) {}
  Iterator begin() const { return Iterator(record_, 0, 0); }
  Iterator end() const { return Iterator(record_, record_.parts.size(), 0); }
  size_t size() const { return record_.parts.size(); }

 private:
  const GafRecord& record_;
};

inline GafParts Parts(const GafRecord& record) { return GafParts(record); }

}  // namespace kro

#endif
