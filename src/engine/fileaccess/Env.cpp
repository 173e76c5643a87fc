#include "engine/fileaccess/Env.h"

namespace kro {

Env& Env::Default() {
  // Never destroyed: files closed by objects destroyed at exit still find it.
  static Env* const operatingSystem = new Env(OperatingSystemFiles());
  return *operatingSystem;
}

}  // namespace kro
