#include "gaftool/GaftoolTestSupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

#include "engine/datafile/GafRecordCodec.h"
#include "engine/indexfile/CIndexFile.h"
#include "fileset/CGafWriter.h"
#include "fileset/IndexRebuild.h"

namespace kro::test {
namespace {

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A regular ring of `n` vertices around (x, y), closed.
std::vector<CKroDoublePointNode> Ring(double x, double y, double r, int n) {
  std::vector<CKroDoublePointNode> ring;
  for (int i = 0; i < n; ++i) {
    const double angle = 6.283185307179586 * i / n;
    ring.push_back({x + r * std::cos(angle), y + r * std::sin(angle)});
  }
  ring.push_back(ring.front());
  return ring;
}

}  // namespace

std::vector<SampleObject> SampleObjects(int count, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> place(-170, 170);
  std::uniform_real_distribution<double> size(0.01, 3);
  std::vector<SampleObject> objects(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    SampleObject& o = objects[static_cast<size_t>(i)];
    o.record.kind = static_cast<EGafObjectType>(i % 6);
    o.record.name = "object " + std::to_string(i);
    o.record.key = "k" + std::to_string(i);
    o.record.url = "https://example.org/" + std::to_string(i);
    const double x = place(random), y = place(random) / 2, r = size(random);
    std::vector<CKroDoublePointNode>& p = o.record.vertices;
    switch (i % 6) {
      case 0: p = {{x, y}}; break;
      case 1: p = {{x, y}, {x + r, y - r}, {x - r, y}}; break;
      case 2: p = {{x, y}, {x + r, y + r}, {x + 2 * r, y}}; break;
      case 3:
        p = {{x, y}, {x + r, y}, {x, y + r}, {x + r, y + r}, {x + 2 * r, y}};
        o.record.parts = {2, 3};
        break;
      case 4: p = Ring(x, y, r, 5); break;
      default: {
        p = Ring(x, y, r, 4);
        const std::vector<CKroDoublePointNode> second = Ring(x + 3 * r, y, r / 2, 6);
        p.insert(p.end(), second.begin(), second.end());
        o.record.parts = {5, 7};
      }
    }
    if (o.record.parts.empty()) o.record.parts = {static_cast<int32_t>(p.size())};
    o.box = VerticesBox(p.data(), p.size());
  }
  return objects;
}

bool WriteSampleSet(const std::string& dataFile, std::vector<SampleObject>& objects, LONG useKif, SHORT precision) {
  CGafWriter writer;
  if (writer.Open(dataFile.c_str(), kGafCreateNew, useKif) != eKroOk) return false;
  writer.SetDescription("gaftool test set");
  writer.SetPrecision(precision);
  for (SampleObject& o : objects) {
    if (writer.Write(o.record, nullptr) != eKroOk) return false;
    o.position = writer.LastRecordPosition();
  }
  return writer.Finish() == eKroOk;
}

ToolRun RunTool(const std::vector<std::string>& args) {
  TempDir capture;
  std::string command = Quote(GAFTOOL_PATH);
  for (const std::string& a : args) command += " " + Quote(a);
  command += " >" + capture.File("out") + " 2>" + capture.File("err");
  const int status = std::system(command.c_str());
  ToolRun run;
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.out = Slurp(capture.File("out"));
  run.err = Slurp(capture.File("err"));
  return run;
}

pid_t StartTool(const std::vector<std::string>& args, const std::string& temporaryDirectory) {
  std::vector<std::string> words = {GAFTOOL_PATH};
  words.insert(words.end(), args.begin(), args.end());
  const pid_t child = fork();
  if (child != 0) return child;
  const int quiet = open("/dev/null", O_WRONLY);
  dup2(quiet, 1);
  dup2(quiet, 2);
  if (!temporaryDirectory.empty()) setenv("TMPDIR", temporaryDirectory.c_str(), 1);
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(&w[0]);
  argv.push_back(nullptr);
  execv(argv[0], argv.data());
  _exit(127);
}

bool KillWhenGrown(pid_t child, const std::function<uint64_t()>& grown, uint64_t killAt, int& status) {
  status = 0;
  for (; waitpid(child, &status, WNOHANG) == 0; usleep(100)) {
    if (grown() > killAt) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      return true;
    }
  }
  return false;
}

uint64_t DirectoryBytes(const std::string& directory) {
  uint64_t total = 0;
  DIR* folder = opendir(directory.c_str());
  if (folder == nullptr) return 0;
  for (const dirent* entry; (entry = readdir(folder)) != nullptr;) {
    struct stat info;
    const std::string name = entry->d_name;
    if (name == "." || name == ".." || stat((directory + "/" + name).c_str(), &info) != 0) continue;
    if (S_ISREG(info.st_mode)) total += static_cast<uint64_t>(info.st_size);
    if (S_ISDIR(info.st_mode)) total += DirectoryBytes(directory + "/" + name);
  }
  closedir(folder);
  return total;
}

std::string HexOffset(uint64_t offset) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(offset));
  return text;
}

uint64_t VertexOffset(const SampleObject& object, size_t vertex, int precision) {
  const GafRecord& record = object.record;
  const uint64_t strings = 3 + record.name.size() + record.key.size() + record.url.size();
  const uint64_t padded = strings + (strings & 1u);
  const bool multiSet = gaf::IsMultiPart(record.kind);
  const uint64_t counts = record.kind == kGafPointObject ? 0 : multiSet ? 2 + 4 * record.parts.size() : 2;
  const uint64_t vertexSize = precision == 64 ? 16 : 8;
  const uint64_t length = padded + counts + vertexSize * record.vertices.size();
  const uint64_t tag = length > 126 ? 6 : 2;
  return object.position + tag + padded + counts + vertexSize * vertex;
}

void PatchU16(const std::string& file, uint64_t offset, uint32_t value) {
  Bytes bytes = ReadFileBytes(file);
  CIndexFile::PutUInt(value, 16, bytes.data() + offset);
  WriteFileBytes(file, bytes);
}

void PatchU32(const std::string& file, uint64_t offset, uint32_t value) {
  Bytes bytes = ReadFileBytes(file);
  CIndexFile::PutUInt(value, 32, bytes.data() + offset);
  WriteFileBytes(file, bytes);
}

void PatchF64(const std::string& file, uint64_t offset, double value) {
  Bytes bytes = ReadFileBytes(file);
  uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  CIndexFile::PutUInt(static_cast<uint32_t>(bits >> 32), 32, bytes.data() + offset);
  CIndexFile::PutUInt(static_cast<uint32_t>(bits), 32, bytes.data() + offset + 4);
  WriteFileBytes(file, bytes);
}

void Truncate(const std::string& file, uint64_t size) {
  Bytes bytes = ReadFileBytes(file);
  bytes.resize(static_cast<size_t>(size));
  WriteFileBytes(file, bytes);
}

void CopySet(const std::string& fromStem, const std::string& toStem) {
  for (const char* extension : {".gaf", ".sif", ".kif"}) {
    if (FileExists(fromStem + extension)) WriteFileBytes(toStem + extension, ReadFileBytes(fromStem + extension));
  }
}

std::string DamagedCopy(const std::string& fromStem, const std::string& toStem,
                        const std::function<void(const std::string&)>& damage) {
  CopySet(fromStem, toStem);
  damage(toStem + ".gaf");
  return toStem + ".gaf";
}

}  // namespace kro::test
