#!/usr/bin/env bash
# The main job: builds the library and its demo program, then runs the demo on
# its built-in default (a small file set in a fresh temporary directory).
# Arguments are passed on to the demo.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v cmake >/dev/null || ! command -v g++ >/dev/null; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq g++ cmake >/dev/null
fi
cmake -S . -B build/demo -DCMAKE_BUILD_TYPE=Release -DKRO_BUILD_TESTS=OFF >/dev/null
cmake --build build/demo -j "$(nproc)" --target kro_demo >/dev/null
exec build/demo/examples/kro_demo "$@"
