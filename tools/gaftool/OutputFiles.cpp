#include "OutputFiles.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "Commands.h"
#include "engine/fileaccess/CGafRawFile.h"
#include "engine/writesession/SetFileTarget.h"

namespace gaftool {
namespace {

constexpr const char* kPartialSuffix = ".gaftool-partial";

bool SameFile(const std::string& a, const std::string& b) {
  struct stat first, second;
  if (::stat(a.c_str(), &first) != 0 || ::stat(b.c_str(), &second) != 0) return a == b;
  return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// Removes the files in `folder`, then the folder; true when it is gone.
bool RemoveFolder(const std::string& folder) {
  if (DIR* listing = ::opendir(folder.c_str())) {
    for (const dirent* entry; (entry = ::readdir(listing)) != nullptr;) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") ::unlink((folder + "/" + name).c_str());
    }
    ::closedir(listing);
  }
  return ::rmdir(folder.c_str()) == 0;
}

}  // namespace

std::string PartialFileName(const std::string& target) { return target + kPartialSuffix; }

bool IsFileOfSet(const std::string& path, const SetPaths& set) {
  for (const std::string& file : {set.data, set.spatialIndex, set.keyIndex, kro::JournalNameFor(set.data)}) {
    if (SameFile(path, file)) return true;
  }
  return false;
}

int CheckTarget(const std::string& target, const SetPaths& source, bool force) {
  if (IsFileOfSet(target, source)) {
    std::fprintf(stderr, "gaftool: %s is a file of the set %s; name another output\n", target.c_str(), source.data.c_str());
    return kExitUsage;
  }
  struct stat info;
  if (::lstat(target.c_str(), &info) != 0) return kExitOk;
  if (!S_ISREG(info.st_mode)) {
    std::fprintf(stderr, "gaftool: %s exists and is not a regular file; name another output\n", target.c_str());
    return kExitUsage;
  }
  if (force) return kExitOk;
  std::fprintf(stderr, "gaftool: %s exists; remove it, name another output, or replace it with --force\n",
               target.c_str());
  return kExitUsage;
}

bool PutInPlace(const std::string& partial, const std::string& target) {
  if (kro::CGafRawFile().Replace(partial.c_str(), target.c_str())) return true;
  std::fprintf(stderr, "gaftool: cannot move %s to %s; %s is as it was\n", partial.c_str(), target.c_str(),
               target.c_str());
  kro::CGafRawFile().Delete(partial.c_str());
  return false;
}

void RemoveLeftover(const std::string& file) {
  if (!kro::CGafRawFile().Exists(file.c_str())) return;
  if (kro::CGafRawFile().Delete(file.c_str())) {
    std::fprintf(stderr, "gaftool: removed %s, left by an earlier run that did not finish\n", file.c_str());
  } else {
    std::fprintf(stderr, "gaftool: cannot remove %s, left by an earlier run that did not finish\n", file.c_str());
  }
}

SetPaths PartialSet(const SetPaths& target) {
  const std::string& data = target.data;
  const std::string partialData = data.substr(0, data.size() - 4) + kPartialSuffix + data.substr(data.size() - 4);
  SetPaths partial;
  std::string error;
  // A name too long for the engine fails the writer's open, which says so.
  if (!DeriveSetPaths(partialData, partial, error)) partial = SetPaths{partialData, "", ""};
  return partial;
}

std::vector<std::string> FilesOfWrite(const SetPaths& set) {
  std::vector<std::string> files = {set.data, kro::JournalNameFor(set.data)};
  for (const std::string* index : {&set.spatialIndex, &set.keyIndex}) {
    if (index->empty()) continue;
    files.push_back(*index);
    files.push_back(*index + ".rebuild");  // what IndexRebuild writes before its move
  }
  return files;
}

void RemoveLeftoverSet(const SetPaths& partial) {
  for (const std::string& file : FilesOfWrite(partial)) RemoveLeftover(file);
}

bool PutSetInPlace(const SetPaths& partial, const SetPaths& target, bool withKeyIndex) {
  if (!PutInPlace(partial.spatialIndex, target.spatialIndex)) return false;
  if (withKeyIndex) {
    if (!PutInPlace(partial.keyIndex, target.keyIndex)) return false;
  } else if (kro::CGafRawFile().Exists(target.keyIndex.c_str()) && !kro::CGafRawFile().Delete(target.keyIndex.c_str())) {
    std::fprintf(stderr, "gaftool: cannot remove %s, which does not index the new set\n", target.keyIndex.c_str());
    return false;
  }
  return PutInPlace(partial.data, target.data);
}

}  // namespace gaftool

namespace gaftool {

TemporaryFolderBeside::TemporaryFolderBeside(const std::string& target) : folder_(PartialFileName(target)) {
  struct stat info;
  if (::lstat(folder_.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && RemoveFolder(folder_)) {
    std::fprintf(stderr, "gaftool: removed %s, left by an earlier run that did not finish\n", folder_.c_str());
  }
  made_ = ::mkdir(folder_.c_str(), 0700) == 0;
  if (!made_) return;
  const char* previous = std::getenv("TMPDIR");
  hadPrevious_ = previous != nullptr;
  if (hadPrevious_) previous_ = previous;
  ::setenv("TMPDIR", folder_.c_str(), 1);
}

TemporaryFolderBeside::~TemporaryFolderBeside() {
  if (!made_) return;
  if (hadPrevious_) {
    ::setenv("TMPDIR", previous_.c_str(), 1);
  } else {
    ::unsetenv("TMPDIR");
  }
  RemoveFolder(folder_);
}

}  // namespace gaftool
