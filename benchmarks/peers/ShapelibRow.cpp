// shapelib: a polyline shapefile with a .dbf of name and key, and its .qix
// quadtree built after the objects are written (shapelib builds the tree in
// memory and writes it once). The quadtree answers with candidates; the
// query reads each candidate and keeps the ones whose box meets the query.
#include <shapefil.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "Row.h"

namespace peers {
namespace {

void ReadShape(SHPHandle shp, DBFHandle dbf, int id, const Box* query, Tally& tally) {
  SHPObject* shape = SHPReadObject(shp, id);
  if (shape == nullptr) return;
  const Box bounds{shape->dfXMin, shape->dfYMin, shape->dfXMax, shape->dfYMax};
  if (query == nullptr || bounds.Meets(*query)) {
    const int count = shape->nVertices < kVertices ? shape->nVertices : kVertices;
    tally.Add(shape->padfX, shape->padfY, count, std::strlen(DBFReadStringAttribute(dbf, id, 0)),
              std::strlen(DBFReadStringAttribute(dbf, id, 1)));
  }
  SHPDestroyObject(shape);
}

class ShapelibRow final : public Row {
 public:
  const char* Name() const override { return "shapelib + .qix"; }
  bool HasKeyIndex() const override { return false; }
  bool Write(const std::string& stem, uint64_t count, bool) override {
    SHPHandle shp = SHPCreate(stem.c_str(), SHPT_ARC);
    DBFHandle dbf = DBFCreate(stem.c_str());
    bool ok = shp != nullptr && dbf != nullptr && DBFAddField(dbf, "name", FTString, 16, 0) == 0 &&
              DBFAddField(dbf, "key", FTString, 10, 0) == 1;
    Object object;
    for (uint64_t i = 0; ok && i < count; ++i) {
      MakeObject(i, object);
      SHPObject* shape = SHPCreateSimpleObject(SHPT_ARC, kVertices, object.x, object.y, nullptr);
      const int id = SHPWriteObject(shp, -1, shape);
      SHPDestroyObject(shape);
      ok = id >= 0 && DBFWriteStringAttribute(dbf, id, 0, object.name) && DBFWriteStringAttribute(dbf, id, 1, object.key);
    }
    if (ok) {
      SHPTree* tree = SHPCreateTree(shp, 2, 0, nullptr, nullptr);
      ok = tree != nullptr;
      if (ok) {
        SHPTreeTrimExtraNodes(tree);
        ok = SHPWriteTree(tree, (stem + ".qix").c_str()) != 0;
        SHPDestroyTree(tree);
      }
    }
    if (dbf != nullptr) DBFClose(dbf);
    if (shp != nullptr) SHPClose(shp);
    return ok;
  }
  bool QueryIndex(const std::string& stem, uint64_t& hits) override {
    return Each(stem, [&](SHPHandle, DBFHandle, int, const Box&) { ++hits; });
  }
  bool Query(const std::string& stem, Tally& tally) override {
    return Each(stem, [&](SHPHandle shp, DBFHandle dbf, int id, const Box& box) { ReadShape(shp, dbf, id, &box, tally); });
  }
  bool Scan(const std::string& stem, Tally& tally) override {
    SHPHandle shp = SHPOpen(stem.c_str(), "rb");
    DBFHandle dbf = DBFOpen(stem.c_str(), "rb");
    const bool ok = shp != nullptr && dbf != nullptr;
    if (ok) {
      int entities = 0;
      SHPGetInfo(shp, &entities, nullptr, nullptr, nullptr);
      for (int id = 0; id < entities; ++id) ReadShape(shp, dbf, id, nullptr, tally);
    }
    if (dbf != nullptr) DBFClose(dbf);
    if (shp != nullptr) SHPClose(shp);
    return ok;
  }

 private:
  template <class Visit>
  static bool Each(const std::string& stem, Visit visit) {
    SHPHandle shp = SHPOpen(stem.c_str(), "rb");
    DBFHandle dbf = DBFOpen(stem.c_str(), "rb");
    SHPTreeDiskHandle tree = SHPOpenDiskTree((stem + ".qix").c_str(), nullptr);
    const bool ok = shp != nullptr && dbf != nullptr && tree != nullptr;
    for (int q = 0; ok && q < kQueries; ++q) {
      const Box box = MakeQuery(q);
      double low[4] = {box.xMin, box.yMin, 0, 0}, high[4] = {box.xMax, box.yMax, 0, 0};
      int found = 0;
      int* ids = SHPSearchDiskTreeEx(tree, low, high, &found);
      for (int i = 0; i < found; ++i) visit(shp, dbf, ids[i], box);
      std::free(ids);
    }
    if (tree != nullptr) SHPCloseDiskTree(tree);
    if (dbf != nullptr) DBFClose(dbf);
    if (shp != nullptr) SHPClose(shp);
    return ok;
  }
};

}  // namespace

std::unique_ptr<Row> MakeShapelibRow() { return std::make_unique<ShapelibRow>(); }

}  // namespace peers
