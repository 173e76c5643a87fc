#include "support/PowerLossFileSystem.h"

#include <cstdio>
#include <functional>
#include <set>

#include "platform/PosixFileSystem.h"

namespace kro::test {
namespace {

std::string DirectoryOf(const std::string& name) {
  const size_t slash = name.rfind('/');
  return slash == std::string::npos ? std::string(".") : name.substr(0, slash);
}

// The operating system's files without the syncs: a power loss is worked
// out from what the layer saw, so waiting for the disk would only be slow.
class UnsyncedFiles final : public PosixFileSystem {
 public:
  bool Sync(FileHandle) override { return true; }
  bool SyncDirectory(const char*) override { return true; }
};

FileSystem& Unsynced() {
  // Never destroyed: handles closed by objects destroyed at exit still find it.
  static FileSystem* const files = new UnsyncedFiles();
  return *files;
}

}  // namespace

PowerLossFileSystem::PowerLossFileSystem() : FaultInjectingFileSystem(Unsynced()) {}

void PowerLossFileSystem::LosePowerAt(uint64_t k, Moment moment) {
  lossAt_ = k;
  lossMoment_ = moment;
  lost_ = false;
  afterLoss_.clear();
  afterKill_.clear();
}

void PowerLossFileSystem::PutOnDisk(const DiskImage& image) {
  for (const auto& [name, bytes] : image) {
    if (bytes) {
      WriteFileBytes(name, *bytes);
    } else {
      std::remove(name.c_str());
    }
  }
}

PowerLossFileSystem::DiskImage PowerLossFileSystem::AfterLossOf(const std::string& losing) const {
  DiskImage image = afterKill_;
  const auto lost = afterLoss_.find(losing);
  if (lost != afterLoss_.end()) image[losing] = lost->second;
  return image;
}

void PowerLossFileSystem::Track(const std::string& name) {
  if (live_.count(name) != 0 || durable_.count(name) != 0 || !FileExists(name)) return;
  const int node = NewNode(ReadFileBytes(name));
  live_[name] = node;
  durable_[name] = node;
}

int PowerLossFileSystem::NewNode(Bytes synced) {
  nodes_.push_back(Node{std::move(synced)});
  return static_cast<int>(nodes_.size() - 1);
}

std::optional<std::string> PowerLossFileSystem::NameOf(int node) const {
  for (const auto& [name, at] : live_) {
    if (at == node) return name;
  }
  return std::nullopt;
}

std::vector<std::string> PowerLossFileSystem::KnownNames() const {
  std::set<std::string> names;
  for (const auto& entry : live_) names.insert(entry.first);
  for (const auto& entry : durable_) names.insert(entry.first);
  return {names.begin(), names.end()};
}

void PowerLossFileSystem::NoteDisk() {
  for (const std::string& name : KnownNames()) {
    const auto durable = durable_.find(name);
    afterLoss_[name] = durable == durable_.end() ? std::nullopt : std::optional<Bytes>(nodes_[durable->second].synced);
    afterKill_[name] = FileExists(name) ? std::optional<Bytes>(ReadFileBytes(name)) : std::nullopt;
  }
  lost_ = true;
}

bool PowerLossFileSystem::CountedSync(const std::string& what, const std::function<bool()>& effect) {
  const uint64_t number = ++syncs_;
  syncsMade_.push_back(what);
  const bool losesPower = !lost_ && number == lossAt_;
  if (losesPower && lossMoment_ == Moment::kBeforeSync) NoteDisk();
  const bool synced = number == omitted_ || effect();
  if (losesPower && lossMoment_ == Moment::kAfterSync) NoteDisk();
  return synced;
}

bool PowerLossFileSystem::Open(const char* fileName, uint32_t flagWord, FileHandle& handle) {
  if (fileName != nullptr) Track(fileName);
  if (!FaultInjectingFileSystem::Open(fileName, flagWord, handle)) return false;
  if (live_.count(fileName) == 0) live_[fileName] = NewNode({});
  handles_[handle] = live_[fileName];
  return true;
}

bool PowerLossFileSystem::Close(FileHandle handle) {
  handles_.erase(handle);
  return FaultInjectingFileSystem::Close(handle);
}

bool PowerLossFileSystem::Sync(FileHandle handle) {
  const auto node = handles_.find(handle);
  const std::optional<std::string> known = node == handles_.end() ? std::nullopt : NameOf(node->second);
  return CountedSync("file " + known.value_or("?"), [&] {
    if (!FaultInjectingFileSystem::Sync(handle)) return false;
    if (node == handles_.end()) return true;
    // A file whose name is gone keeps nothing anybody can find again.
    if (known) nodes_[node->second].synced = ReadFileBytes(*known);
    return true;
  });
}

bool PowerLossFileSystem::SyncDirectory(const char* fileName) {
  const std::string directory = DirectoryOf(fileName);
  return CountedSync("directory " + directory, [&] {
    if (!FaultInjectingFileSystem::SyncDirectory(fileName)) return false;
    for (const std::string& name : KnownNames()) {
      if (DirectoryOf(name) != directory) continue;
      const auto live = live_.find(name);
      if (live == live_.end()) {
        durable_.erase(name);
      } else {
        durable_[name] = live->second;
      }
    }
    return true;
  });
}

bool PowerLossFileSystem::TempFileName(char* name) {
  if (!FaultInjectingFileSystem::TempFileName(name)) return false;
  live_[name] = NewNode({});
  return true;
}

bool PowerLossFileSystem::Replace(const char* source, const char* target) {
  Track(source);
  Track(target);
  if (!FaultInjectingFileSystem::Replace(source, target)) return false;
  const auto moved = live_.find(source);
  if (moved != live_.end()) {
    live_[target] = moved->second;
    live_.erase(source);
  }
  return true;
}

bool PowerLossFileSystem::Delete(const char* fileName) {
  Track(fileName);
  if (!FaultInjectingFileSystem::Delete(fileName)) return false;
  live_.erase(fileName);
  return true;
}

}  // namespace kro::test
