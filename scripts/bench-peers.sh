#!/usr/bin/env bash
# Builds the peer comparison and runs it at 200,000 and 1,000,000 objects
# (three repetitions each; the median is shown). Needs libgdal-dev,
# libsqlite3-dev, libshp-dev and libspatialindex-dev. Extra arguments are
# object counts to run instead.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKRO_BUILD_BENCHMARKS=ON >/dev/null
cmake --build "$build" --target peers
counts=("$@")
[ ${#counts[@]} -eq 0 ] && counts=(200000 1000000)
for objects in "${counts[@]}"; do
  work=$(mktemp -d "${TMPDIR:-/tmp}/peers-XXXXXX")
  "$build/benchmarks/peers/peers" "$objects" 3 "$work"
  rm -rf "$work"
done
