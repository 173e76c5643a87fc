// The write sessions active over one environment's files. The file layer asks
// it, for every open, write, truncation and close, whether a session owns
// the name or the handle; most calls find it empty, and then cost one atomic
// load. Sessions of different environments never see each other.
#ifndef KRO_ENGINE_WRITESESSION_SESSIONREGISTRY_H
#define KRO_ENGINE_WRITESESSION_SESSIONREGISTRY_H

#include <atomic>
#include <cstddef>
#include <mutex>
#include <vector>

#include "platform/FileSystem.h"

namespace kro {

class WriteSession;

class SessionRegistry {
 public:
  SessionRegistry() = default;
  SessionRegistry(const SessionRegistry&) = delete;
  SessionRegistry& operator=(const SessionRegistry&) = delete;

  void Add(WriteSession* session);
  void Remove(WriteSession* session);
  // The active session that owns a name or a handle, or null.
  WriteSession* ForName(const char* fileName) const;
  WriteSession* ForHandle(FileHandle handle) const;

 private:
  template <class Match>
  WriteSession* Find(Match match) const;

  mutable std::mutex mutex_;
  std::vector<WriteSession*> sessions_;
  std::atomic<size_t> count_{0};
};

}  // namespace kro

#endif
