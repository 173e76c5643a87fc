// What the engine's objects work over: the file services and the write
// sessions active on them. Every object that touches a file is handed one
// (the operating system's by default), so two objects over different
// environments never see each other's files or sessions. An environment
// must outlive every object made over it.
#ifndef KRO_ENGINE_FILEACCESS_ENV_H
#define KRO_ENGINE_FILEACCESS_ENV_H

#include "engine/writesession/SessionRegistry.h"
#include "platform/FileSystem.h"

namespace kro {

class Env {
 public:
  explicit Env(FileSystem& files) : files_(files) {}
  Env(const Env&) = delete;
  Env& operator=(const Env&) = delete;

  // The operating system's files, one environment per process; nothing can
  // put other services behind it.
  static Env& Default();

  FileSystem& Files() const { return files_; }
  SessionRegistry& Sessions() { return sessions_; }

 private:
  FileSystem& files_;
  SessionRegistry sessions_;
};

}  // namespace kro

#endif
