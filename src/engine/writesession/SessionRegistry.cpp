#include "engine/writesession/SessionRegistry.h"

#include <algorithm>

#include "engine/writesession/WriteSession.h"

namespace kro {

void SessionRegistry::Add(WriteSession* session) {
  std::lock_guard<std::mutex> lock(mutex_);
  sessions_.push_back(session);
  count_.store(sessions_.size(), std::memory_order_release);
}

void SessionRegistry::Remove(WriteSession* session) {
  std::lock_guard<std::mutex> lock(mutex_);
  sessions_.erase(std::remove(sessions_.begin(), sessions_.end(), session), sessions_.end());
  count_.store(sessions_.size(), std::memory_order_release);
}

template <class Match>
WriteSession* SessionRegistry::Find(Match match) const {
  if (count_.load(std::memory_order_acquire) == 0) return nullptr;
  std::lock_guard<std::mutex> lock(mutex_);
  for (WriteSession* session : sessions_) {
    if (match(*session)) return session;
  }
  return nullptr;
}

WriteSession* SessionRegistry::ForName(const char* fileName) const {
  if (fileName == nullptr) return nullptr;
  return Find([fileName](const WriteSession& session) { return session.Owns(fileName); });
}

WriteSession* SessionRegistry::ForHandle(FileHandle handle) const {
  if (handle == kInvalidFileHandle) return nullptr;
  return Find([handle](const WriteSession& session) { return session.OwnsHandle(handle); });
}

}  // namespace kro
