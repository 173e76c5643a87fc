// SQLite with an R*Tree table beside the objects table (16 MB page cache);
// the key index, when asked for, is an ordinary index on the key column.
// Vertices are stored as a blob of 16 doubles.
#include <sqlite3.h>

#include <cstring>
#include <string>

#include "Row.h"

namespace peers {
namespace {

class Database {
 public:
  explicit Database(const std::string& path, bool create) {
    if (create) std::remove(path.c_str());
    if (sqlite3_open_v2(path.c_str(), &db_, create ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READONLY,
                        nullptr) != SQLITE_OK) {
      sqlite3_close(db_);
      db_ = nullptr;
      return;
    }
    Exec("PRAGMA cache_size=-16384");
  }
  ~Database() { sqlite3_close(db_); }
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;
  sqlite3* Get() const { return db_; }
  bool Exec(const char* sql) { return db_ != nullptr && sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

 private:
  sqlite3* db_ = nullptr;
};

class Statement {
 public:
  Statement(sqlite3* db, const char* sql) {
    if (db == nullptr || sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr) != SQLITE_OK) statement_ = nullptr;
  }
  ~Statement() { sqlite3_finalize(statement_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  sqlite3_stmt* Get() const { return statement_; }

 private:
  sqlite3_stmt* statement_ = nullptr;
};

void ReadRow(sqlite3_stmt* row, int first, Tally& tally) {
  const double* blob = static_cast<const double*>(sqlite3_column_blob(row, first));
  const int bytes = sqlite3_column_bytes(row, first);
  double xs[kVertices], ys[kVertices];
  const int count = blob == nullptr ? 0 : bytes / 16;
  for (int v = 0; v < count && v < kVertices; ++v) xs[v] = blob[2 * v], ys[v] = blob[2 * v + 1];
  tally.Add(xs, ys, count < kVertices ? count : kVertices, static_cast<size_t>(sqlite3_column_bytes(row, first + 1)),
            static_cast<size_t>(sqlite3_column_bytes(row, first + 2)));
}

class SqliteRow final : public Row {
 public:
  const char* Name() const override { return "SQLite R*Tree"; }
  bool Write(const std::string& stem, uint64_t count, bool withKeyIndex) override {
    Database db(stem + ".sqlite", true);
    if (!db.Exec("CREATE TABLE objects(id INTEGER PRIMARY KEY, geom BLOB, name TEXT, key TEXT)") ||
        !db.Exec("CREATE VIRTUAL TABLE boxes USING rtree(id, xmin, xmax, ymin, ymax)") ||
        (withKeyIndex && !db.Exec("CREATE INDEX objects_key ON objects(key)")) || !db.Exec("BEGIN")) {
      return false;
    }
    Statement object(db.Get(), "INSERT INTO objects VALUES(?, ?, ?, ?)");
    Statement box(db.Get(), "INSERT INTO boxes VALUES(?, ?, ?, ?, ?)");
    if (object.Get() == nullptr || box.Get() == nullptr) return false;
    Object o;
    double blob[2 * kVertices];
    for (uint64_t i = 0; i < count; ++i) {
      MakeObject(i, o);
      for (int v = 0; v < kVertices; ++v) blob[2 * v] = o.x[v], blob[2 * v + 1] = o.y[v];
      const Box b = o.Bounds();
      sqlite3_bind_int64(object.Get(), 1, static_cast<sqlite3_int64>(i + 1));
      sqlite3_bind_blob(object.Get(), 2, blob, sizeof blob, SQLITE_STATIC);
      sqlite3_bind_text(object.Get(), 3, o.name, -1, SQLITE_STATIC);
      sqlite3_bind_text(object.Get(), 4, o.key, -1, SQLITE_STATIC);
      sqlite3_bind_int64(box.Get(), 1, static_cast<sqlite3_int64>(i + 1));
      sqlite3_bind_double(box.Get(), 2, b.xMin);
      sqlite3_bind_double(box.Get(), 3, b.xMax);
      sqlite3_bind_double(box.Get(), 4, b.yMin);
      sqlite3_bind_double(box.Get(), 5, b.yMax);
      if (sqlite3_step(object.Get()) != SQLITE_DONE || sqlite3_step(box.Get()) != SQLITE_DONE) return false;
      sqlite3_reset(object.Get());
      sqlite3_reset(box.Get());
    }
    return db.Exec("COMMIT");
  }
  bool QueryIndex(const std::string& stem, uint64_t& hits) override {
    Database db(stem + ".sqlite", false);
    Statement query(db.Get(), "SELECT id FROM boxes WHERE xmax >= ?1 AND xmin <= ?3 AND ymax >= ?2 AND ymin <= ?4");
    return Queries(query.Get(), [&](sqlite3_stmt* row) { hits += sqlite3_column_int64(row, 0) != 0; });
  }
  bool Query(const std::string& stem, Tally& tally) override {
    Database db(stem + ".sqlite", false);
    Statement query(db.Get(),
                    "SELECT o.geom, o.name, o.key FROM boxes b JOIN objects o ON o.id = b.id "
                    "WHERE b.xmax >= ?1 AND b.xmin <= ?3 AND b.ymax >= ?2 AND b.ymin <= ?4");
    return Queries(query.Get(), [&](sqlite3_stmt* row) { ReadRow(row, 0, tally); });
  }
  bool Scan(const std::string& stem, Tally& tally) override {
    Database db(stem + ".sqlite", false);
    Statement scan(db.Get(), "SELECT geom, name, key FROM objects ORDER BY id");
    if (scan.Get() == nullptr) return false;
    int step;
    while ((step = sqlite3_step(scan.Get())) == SQLITE_ROW) ReadRow(scan.Get(), 0, tally);
    return step == SQLITE_DONE;
  }

 private:
  template <class Visit>
  static bool Queries(sqlite3_stmt* query, Visit visit) {
    if (query == nullptr) return false;
    for (int q = 0; q < kQueries; ++q) {
      const Box box = MakeQuery(q);
      sqlite3_bind_double(query, 1, box.xMin);
      sqlite3_bind_double(query, 2, box.yMin);
      sqlite3_bind_double(query, 3, box.xMax);
      sqlite3_bind_double(query, 4, box.yMax);
      int step;
      while ((step = sqlite3_step(query)) == SQLITE_ROW) visit(query);
      if (step != SQLITE_DONE) return false;
      sqlite3_reset(query);
    }
    return true;
  }
};

}  // namespace

std::unique_ptr<Row> MakeSqliteRow() { return std::make_unique<SqliteRow>(); }

}  // namespace peers
