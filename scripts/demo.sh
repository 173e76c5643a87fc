#!/usr/bin/env bash
# The main job: builds and installs the library and gaftool into
# build/demo/prefix, builds the host programs of examples/host against the
# installed package, and runs them: the host demo exports a small map and
# imports part of it back; the GeoJSON host writes the world's countries
# (data/ne_110m_countries.geojson) into a Gaf set through the component
# interfaces; then gaftool shows the set (info), checks it (verify), queries
# it (dump --box) and draws it with its spatial index (render).
# Everything goes into a fresh temporary folder, or the folder given first.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v cmake >/dev/null || ! command -v g++ >/dev/null || ! command -v make >/dev/null ||
   ! dpkg -s libcli11-dev nlohmann-json3-dev >/dev/null 2>&1; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq g++ cmake make libcli11-dev nlohmann-json3-dev >/dev/null
fi
jobs=$(nproc)
prefix=$PWD/build/demo/prefix
cmake -S . -B build/demo/library -DCMAKE_BUILD_TYPE=Release -DKRO_BUILD_TESTS=OFF -DKRO_BUILD_EXAMPLES=OFF \
  -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR=lib >/dev/null
cmake --build build/demo/library -j "$jobs" >/dev/null
cmake --install build/demo/library >/dev/null
cmake -S examples/host -B build/demo/host -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build build/demo/host -j "$jobs" >/dev/null

folder=${1:-$(mktemp -d /tmp/kro-demo-XXXXXX)}
mkdir -p "$folder"
module=$prefix/lib/libKroGafExportImport.so
gaftool=$prefix/bin/gaftool
build/demo/host/kro_host_demo "$module" "$folder"

set_file=$folder/countries.gaf
echo
echo "== write the world's countries through the component interfaces"
build/demo/host/kro_geojson_export "$module" data/ne_110m_countries.geojson "$set_file"
echo
echo "== gaftool info $set_file"
"$gaftool" info "$set_file"
echo
echo "== gaftool verify"
"$gaftool" verify "$set_file"
echo
echo "== gaftool dump --box 5 45 15 55 (central Europe, through the spatial index)"
"$gaftool" dump "$set_file" --box 5 45 15 55 --format jsonl |
  sed -E 's/.*"key":"([^"]*)".*"name":"([^"]*)".*/  \1 \2/'
echo
echo "== gaftool render"
picture=$folder/countries.svg
"$gaftool" render "$set_file" -o "$picture" --index-levels 2 --size 1200 >/dev/null
echo "the picture of the map and its index: $picture"
