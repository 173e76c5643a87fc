#!/usr/bin/env bash
# The main job: builds and installs the library into build/demo/prefix, builds
# the host program of examples/host against the installed package, and runs
# it: it loads the module, exports a small map into a fresh temporary folder
# (or the folder given as the first argument) and imports part of it back.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v cmake >/dev/null || ! command -v g++ >/dev/null || ! command -v make >/dev/null; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq g++ cmake make >/dev/null
fi
jobs=$(nproc)
prefix=$PWD/build/demo/prefix
cmake -S . -B build/demo/library -DCMAKE_BUILD_TYPE=Release -DKRO_BUILD_TESTS=OFF -DKRO_BUILD_EXAMPLES=OFF \
  -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR=lib >/dev/null
cmake --build build/demo/library -j "$jobs" >/dev/null
cmake --install build/demo/library >/dev/null
cmake -S examples/host -B build/demo/host -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build build/demo/host -j "$jobs" >/dev/null
exec build/demo/host/kro_host_demo "$prefix/lib/libKroGafExportImport.so" "$@"
