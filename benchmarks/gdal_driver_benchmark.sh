#!/usr/bin/env bash
# The GDAL driver against GDAL's own formats, through the real tools:
# ogr2ogr of N eight-vertex polylines from a FlatGeobuf file into Gaf, into
# FlatGeobuf and into GeoPackage (each with its spatial index, Gaf also with
# its key index), then box queries (ogrinfo -so -spat, which reads every
# feature in the box to count it) against Gaf and FlatGeobuf.
#
#   bash benchmarks/gdal_driver_benchmark.sh [N] [build folder]
#
# N defaults to 1000000; the build folder (default build/dev) must hold
# gdalplugins/gdal_Gaf.so. Not a test: it prints wall-clock seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
benchmarks=$PWD/benchmarks
count=${1:-1000000}
build=${2:-build/dev}
export GDAL_DRIVER_PATH=$PWD/$build/gdalplugins
[[ -f $GDAL_DRIVER_PATH/gdal_Gaf.so ]] || { echo "no $GDAL_DRIVER_PATH/gdal_Gaf.so: build target gdal_Gaf first" >&2; exit 1; }
work=$PWD/$build/gdal-benchmark
rm -rf "$work" && mkdir -p "$work" && cd "$work"

seconds() {  # seconds <label> <command...>: runs the command, prints its wall time
  local start end
  start=$(date +%s.%N)
  "${@:2}" >/dev/null 2>&1
  end=$(date +%s.%N)
  printf '%-44s %8.2f s\n' "$1" "$(echo "$end - $start" | bc)"
}

echo "generating $count polylines of 8 vertices"
awk -v n="$count" -f "$benchmarks/lines.awk" > lines.csv
ogr2ogr -f FlatGeobuf lines.fgb lines.csv -oo GEOM_POSSIBLE_NAMES=WKT -oo KEEP_GEOM_COLUMNS=NO -a_srs EPSG:4326
rm lines.csv

echo "== ogr2ogr from FlatGeobuf ($count features; Gaf drops the field id, with one warning)"
seconds "into Gaf (64-bit, .sif and .kif)" ogr2ogr -f Gaf lines.gaf lines.fgb -lco KEY_FIELD=id -lco NAME_FIELD=name
seconds "into Gaf (64-bit, .sif only)" ogr2ogr -f Gaf lines64.gaf lines.fgb -dsco KEY_INDEX=NO -lco NAME_FIELD=name
seconds "into Gaf (32-bit, .sif only)" ogr2ogr -f Gaf lines32.gaf lines.fgb -dsco PRECISION=32 -dsco KEY_INDEX=NO -lco NAME_FIELD=name
seconds "into FlatGeobuf (spatial index)" ogr2ogr -f FlatGeobuf copy.fgb lines.fgb
seconds "into GeoPackage (spatial index)" ogr2ogr -f GPKG copy.gpkg lines.fgb
ls -l lines.gaf lines.sif lines.kif lines64.gaf lines32.gaf lines32.sif copy.fgb copy.gpkg | awk '{ printf "  %-12s %12d bytes\n", $9, $5 }'

echo "== box queries (ogrinfo -so -spat), 20 boxes of 2 x 2 degrees, then 5 of 20 x 20"
boxes_small=$(awk 'BEGIN { srand(7); for (i = 0; i < 20; i++) { x = -170 + rand() * 330; y = -70 + rand() * 130; printf "%f,%f,%f,%f ", x, y, x + 2, y + 2 } }')
boxes_large=$(awk 'BEGIN { srand(9); for (i = 0; i < 5; i++) { x = -170 + rand() * 300; y = -70 + rand() * 110; printf "%f,%f,%f,%f ", x, y, x + 20, y + 20 } }')
query() {  # query <file> <boxes>: counts the features of every box
  local box
  for box in $2; do
    ogrinfo -ro -so -al "$1" -spat ${box//,/ } | grep "Feature Count"
  done
}
for size in small large; do
  boxes=boxes_$size
  seconds "$size boxes in Gaf" query lines.gaf "${!boxes}"
  seconds "$size boxes in FlatGeobuf" query lines.fgb "${!boxes}"
  if [[ "$(query lines.gaf "${!boxes}")" != "$(query lines.fgb "${!boxes}")" ]]; then
    echo "the counts of Gaf and FlatGeobuf differ" >&2; exit 1
  fi
done
seconds "key lookup in Gaf (-where key = '123456')" ogrinfo -ro -al -q lines.gaf -where "key = '123456'"
seconds "full count in Gaf (header)" ogrinfo -ro -so -al lines.gaf
