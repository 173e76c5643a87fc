// Our rows on a set sorted into map order: the objects are written as in W1,
// then `gaftool sort` rewrites the set with its objects in Hilbert order and
// a packed spatial index. W1 includes the sort; the reading workloads run on
// the sorted set.
#ifdef KRO_GAFTOOL_PATH
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "Row.h"

extern char** environ;

namespace peers {
namespace {

bool RunGaftoolSort(const std::string& from, const std::string& to) {
  const std::string input = from + ".gaf", output = "--output=" + to + ".gaf";
  char* argv[] = {const_cast<char*>(KRO_GAFTOOL_PATH), const_cast<char*>("sort"), const_cast<char*>(input.c_str()),
                  const_cast<char*>(output.c_str()), const_cast<char*>("--quiet"), nullptr};
  // The child's standard output carries the measurement; the tool's report
  // must not mix into it.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t child = 0;
  const bool started = posix_spawn(&child, KRO_GAFTOOL_PATH, &actions, nullptr, argv, environ) == 0;
  posix_spawn_file_actions_destroy(&actions);
  if (!started) return false;
  int status = 0;
  return waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class SortedRow final : public Row {
 public:
  SortedRow(std::unique_ptr<Row> base, const char* name) : base_(std::move(base)), name_(name) {}
  const char* Name() const override { return name_; }
  bool HasIndexOnly() const override { return base_->HasIndexOnly(); }
  bool Write(const std::string& stem, uint64_t count, bool withKeyIndex) override {
    const std::string unsorted = stem + "-unsorted";
    RemoveGafSet(stem);
    const bool sorted = base_->Write(unsorted, count, withKeyIndex) && RunGaftoolSort(unsorted, stem);
    RemoveGafSet(unsorted);
    return sorted;
  }
  bool QueryIndex(const std::string& stem, uint64_t& hits) override { return base_->QueryIndex(stem, hits); }
  bool Query(const std::string& stem, Tally& tally) override { return base_->Query(stem, tally); }
  bool Scan(const std::string& stem, Tally& tally) override { return base_->Scan(stem, tally); }

 private:
  std::unique_ptr<Row> base_;
  const char* name_;
};

}  // namespace

std::unique_ptr<Row> MakeSortedRow(std::unique_ptr<Row> base, const char* name) {
  return std::make_unique<SortedRow>(std::move(base), name);
}

}  // namespace peers

#endif
