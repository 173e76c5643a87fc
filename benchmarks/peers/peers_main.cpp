// The peer comparison: every row runs W1 (write with the spatial index), W1k
// (write with a key index too), W2 (index only), W2b (query) and W3 (scan) of
// the comparison workload, each workload of each row in a child process of
// its own, so that the child's peak resident memory is that row's. The
// table shows medians, peak memory and, for our rows, the ratio of our time
// to the fastest peer's in the same run.
//
//   peers <objects> [repetitions] [work directory]
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Row.h"

namespace peers {

std::vector<std::unique_ptr<Row>> MakeRows() {
  std::vector<std::unique_ptr<Row>> rows;
  rows.push_back(MakeComponentRow());
  rows.push_back(MakeEngineRow());
  rows.push_back(MakeOrderedEngineRow());
  rows.push_back(MakeOrderedComponentRow());
#ifdef KRO_GAFTOOL_PATH
  rows.push_back(MakeSortedRow(MakeComponentRow(), "ours, component, sorted"));
  rows.push_back(MakeSortedRow(MakeEngineRow(), "ours, engine, sorted"));
#endif
  rows.push_back(MakeGdalRow("FlatGeobuf", ".fgb", "FlatGeobuf"));
  rows.push_back(MakeGdalRow("GPKG", ".gpkg", "GeoPackage"));
  rows.push_back(MakeSqliteRow());
  rows.push_back(MakeShapelibRow());
  rows.push_back(MakeSpatialIndexRow());
  return rows;
}

namespace {

enum Workload { kW1, kW1Key, kW2, kW2b, kW3, kWorkloads };
const char* const kWorkloadNames[kWorkloads] = {"W1 write", "W1 + key", "W2 index", "W2b query", "W3 scan"};

struct Measure {
  bool ran = false;
  double seconds = 0;       // median wall-clock time
  double cpuSeconds = 0;    // median processor time (user and system)
  double peakMegabytes = 0;
  uint64_t objects = 0;     // objects (or positions) the workload delivered
};

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double UsageSeconds(int who) {
  struct rusage usage {};
  getrusage(who, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

// Processor time of this process and the programs it ran so far. On a
// machine shared with other work it varies far less than the wall-clock
// time.
double CpuSeconds() { return UsageSeconds(RUSAGE_SELF) + UsageSeconds(RUSAGE_CHILDREN); }

// Peak resident memory of the programs this process ran, in MB.
double ChildrenPeakMegabytes() {
  struct rusage usage {};
  getrusage(RUSAGE_CHILDREN, &usage);
  return usage.ru_maxrss / 1024.0;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

bool Applies(const Row& row, Workload workload) {
  return (workload != kW1Key || row.HasKeyIndex()) && (workload != kW2 || row.HasIndexOnly()) &&
         (workload != kW3 || row.HasScan());
}

// One repetition; the objects delivered, or -1 on failure.
int64_t RunOnce(Row& row, Workload workload, const std::string& stem, uint64_t objects) {
  Tally tally;
  uint64_t hits = 0;
  switch (workload) {
    case kW1:
      return row.Write(stem, objects, false) ? static_cast<int64_t>(objects) : -1;
    case kW1Key:
      return row.Write(stem + "-key", objects, true) ? static_cast<int64_t>(objects) : -1;
    case kW2:
      return row.QueryIndex(stem, hits) ? static_cast<int64_t>(hits) : -1;
    case kW2b:
      return row.Query(stem, tally) ? static_cast<int64_t>(tally.objects) : -1;
    default:
      return row.Scan(stem, tally) ? static_cast<int64_t>(tally.objects) : -1;
  }
}

// The child: runs the workload `repetitions` times and prints the median
// time and the objects delivered.
int RunChild(size_t rowIndex, Workload workload, const std::string& stem, uint64_t objects, int repetitions) {
  auto rows = MakeRows();
  std::vector<double> times, cpuTimes;
  int64_t delivered = 0;
  for (int r = 0; r < repetitions; ++r) {
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = CpuSeconds();
    delivered = RunOnce(*rows[rowIndex], workload, stem, objects);
    times.push_back(Seconds(start));
    cpuTimes.push_back(CpuSeconds() - cpuStart);
    if (delivered < 0) return 1;
  }
  std::printf("%.6f %lld %.6f %.1f\n", Median(times), static_cast<long long>(delivered), Median(cpuTimes),
              ChildrenPeakMegabytes());
  return 0;
}

// Floor: making the objects and writing their bytes with one write.
int RunFloor(const std::string& stem, uint64_t objects) {
  const auto start = std::chrono::steady_clock::now();
  const double cpuStart = CpuSeconds();
  std::vector<Object> all(objects);
  for (uint64_t i = 0; i < objects; ++i) MakeObject(i, all[i]);
  FILE* file = std::fopen((stem + ".floor").c_str(), "wb");
  const bool ok = file != nullptr && std::fwrite(all.data(), sizeof(Object), all.size(), file) == all.size();
  if (file != nullptr) std::fclose(file);
  std::printf("%.6f %llu %.6f\n", Seconds(start), static_cast<unsigned long long>(objects), CpuSeconds() - cpuStart);
  return ok ? 0 : 1;
}

Measure Spawn(const char* self, const std::vector<std::string>& arguments) {
  Measure measure;
  int channel[2];
  if (pipe(channel) != 0) return measure;
  const pid_t child = fork();
  if (child == 0) {
    dup2(channel[1], STDOUT_FILENO);
    close(channel[0]);
    close(channel[1]);
    std::vector<char*> argv{const_cast<char*>(self)};
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execv("/proc/self/exe", argv.data());
    _exit(127);
  }
  close(channel[1]);
  std::string output;
  char buffer[256];
  ssize_t got;
  while ((got = read(channel[0], buffer, sizeof buffer)) > 0) output.append(buffer, static_cast<size_t>(got));
  close(channel[0]);
  int status = 0;
  struct rusage usage {};
  if (child < 0 || wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    return measure;
  }
  long long delivered = 0;
  double childrenPeak = 0;
  if (std::sscanf(output.c_str(), "%lf %lld %lf %lf", &measure.seconds, &delivered, &measure.cpuSeconds,
                  &childrenPeak) < 3) {
    return measure;
  }
  measure.objects = static_cast<uint64_t>(delivered);
  // A row that runs a program of its own (the sort) peaks where either does.
  measure.peakMegabytes = std::max(usage.ru_maxrss / 1024.0, childrenPeak);
  measure.ran = true;
  return measure;
}

bool IsOurs(const Row& row) { return std::strncmp(row.Name(), "ours", 4) == 0; }

// Whether the row's name contains one of the comma-separated parts of
// `filter`; every row when it is empty.
bool Selected(const Row& row, const std::string& filter) {
  if (filter.empty()) return true;
  size_t start = 0;
  while (start <= filter.size()) {
    const size_t end = std::min(filter.find(',', start), filter.size());
    const std::string part = filter.substr(start, end - start);
    if (!part.empty() && std::strstr(row.Name(), part.c_str()) != nullptr) return true;
    start = end + 1;
  }
  return false;
}

void PrintTable(const std::vector<std::unique_ptr<Row>>& rows, const std::vector<std::vector<Measure>>& table,
                const Measure& floor, uint64_t objects, bool cpu) {
  const auto time = [cpu](const Measure& m) { return cpu ? m.cpuSeconds : m.seconds; };
  std::vector<double> fastest(kWorkloads, 0);
  for (int w = 0; w < kWorkloads; ++w) {
    for (size_t r = 0; r < rows.size(); ++r) {
      const Measure& m = table[r][w];
      if (m.ran && !IsOurs(*rows[r]) && (fastest[w] == 0 || time(m) < fastest[w])) fastest[w] = time(m);
    }
  }
  std::printf("\n%llu objects; median %s seconds (peak resident MB) [our time / fastest peer's]; W2 and W2b: %d "
              "queries\n\n",
              static_cast<unsigned long long>(objects), cpu ? "processor (user + system)" : "wall-clock", kQueries);
  std::printf("| row |");
  for (const char* name : kWorkloadNames) std::printf(" %s |", name);
  std::printf(" W2b objects |\n|---|");
  for (int w = 0; w < kWorkloads; ++w) std::printf("---|");
  std::printf("---|\n");
  for (size_t r = 0; r < rows.size(); ++r) {
    std::printf("| %s |", rows[r]->Name());
    for (int w = 0; w < kWorkloads; ++w) {
      const Measure& m = table[r][w];
      if (!m.ran) {
        std::printf(" - |");
        continue;
      }
      std::printf(" %.3f (%.0f)", time(m), m.peakMegabytes);
      if (IsOurs(*rows[r]) && fastest[w] > 0) std::printf(" [%.2fx]", time(m) / fastest[w]);
      std::printf(" |");
    }
    std::printf(" %llu |\n", static_cast<unsigned long long>(table[r][kW2b].objects));
  }
  if (floor.ran) std::printf("| floor | %.3f (%.0f) | | | | | |\n", time(floor), floor.peakMegabytes);
}

}  // namespace
}  // namespace peers

int main(int argc, char** argv) {
  using namespace peers;
  if (argc >= 7 && std::strcmp(argv[1], "--child") == 0) {
    return RunChild(std::strtoul(argv[2], nullptr, 10), static_cast<Workload>(std::atoi(argv[3])), argv[4],
                    std::strtoull(argv[5], nullptr, 10), std::atoi(argv[6]));
  }
  if (argc >= 2 && std::strcmp(argv[1], "--idle") == 0) {
    std::printf("0 0 0\n");
    return 0;
  }
  if (argc >= 4 && std::strcmp(argv[1], "--floor") == 0) return RunFloor(argv[2], std::strtoull(argv[3], nullptr, 10));
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <objects> [repetitions] [work directory] [row names, comma-separated parts]\n",
                 argv[0]);
    return 2;
  }
  const uint64_t objects = std::strtoull(argv[1], nullptr, 10);
  const int repetitions = argc > 2 ? std::atoi(argv[2]) : 3;
  const char* tmp = std::getenv("TMPDIR");
  std::string dir = argc > 3 ? argv[3] : std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/peers-XXXXXX";
  if (argc <= 3 && mkdtemp(&dir[0]) == nullptr) return 1;
  mkdir(dir.c_str(), 0755);
  const std::string filter = argc > 4 ? argv[4] : "";

  const auto rows = MakeRows();
  std::vector<std::vector<Measure>> table(rows.size(), std::vector<Measure>(kWorkloads));
  for (size_t r = 0; r < rows.size(); ++r) {
    if (!Selected(*rows[r], filter)) continue;
    const std::string stem = dir + "/row" + std::to_string(r);
    for (int w = 0; w < kWorkloads; ++w) {
      if (!Applies(*rows[r], static_cast<Workload>(w))) continue;
      table[r][w] = Spawn(argv[0], {"--child", std::to_string(r), std::to_string(w), stem, std::to_string(objects),
                                    std::to_string(repetitions)});
      std::fprintf(stderr, "%s, %s: %s %.3f s, %.0f MB\n", rows[r]->Name(), kWorkloadNames[w],
                   table[r][w].ran ? "" : "FAILED", table[r][w].seconds, table[r][w].peakMegabytes);
    }
  }
  const Measure floor = Spawn(argv[0], {"--floor", dir + "/floor", std::to_string(objects)});
  PrintTable(rows, table, floor, objects, false);
  PrintTable(rows, table, floor, objects, true);
  // Every child carries all the libraries of every row.
  const Measure idle = Spawn(argv[0], {"--idle"});
  std::printf("\nresident memory of a child that only starts: %.0f MB\n", idle.peakMegabytes);
  std::printf("\nwork directory: %s\n", dir.c_str());
  return 0;
}
