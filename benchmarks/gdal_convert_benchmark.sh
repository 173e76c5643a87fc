#!/usr/bin/env bash
# ogr2ogr of the same sources into Gaf, FlatGeobuf and GeoPackage, side by
# side: processor time (user + sys, GNU time) and peak memory (max RSS) of
# each conversion (the run of least processor time of three). Sources, each
# a FlatGeobuf file made first (not timed):
#   - one polygon of 16,000 and one of 32,000 rings (unit squares side by
#     side, a MultiPolygon each), so that growth in the rings shows;
#   - the bundled Natural Earth 1:50m countries (data/ne_50m_countries.geojson.gz);
#   - N polylines of eight vertices (N defaults to 1,000,000).
#
#   bash benchmarks/gdal_convert_benchmark.sh [N] [build folder]
#
# The build folder (default build/dev) must hold gdalplugins/gdal_Gaf.so.
# Needs GNU time (Debian package `time`). Not a test: it prints figures.
set -euo pipefail
cd "$(dirname "$0")/.."
benchmarks=$PWD/benchmarks
count=${1:-1000000}
build=${2:-build/dev}
data=$PWD/data
export GDAL_DRIVER_PATH=$PWD/$build/gdalplugins
[[ -f $GDAL_DRIVER_PATH/gdal_Gaf.so ]] || { echo "no $GDAL_DRIVER_PATH/gdal_Gaf.so: build target gdal_Gaf first" >&2; exit 1; }
[[ -x /usr/bin/time ]] || { echo "no GNU time: apt-get install -y time" >&2; exit 1; }
work=$PWD/$build/gdal-convert-benchmark
rm -rf "$work" && mkdir -p "$work" && cd "$work"

squares() {  # squares <n>: a GeoJSON feature of n unit squares, each a polygon of its own
  awk -v n="$1" 'BEGIN {
    printf "{\"type\":\"FeatureCollection\",\"features\":[{\"type\":\"Feature\",\"properties\":{\"name\":\"squares\"},"
    printf "\"geometry\":{\"type\":\"MultiPolygon\",\"coordinates\":["
    for (i = 0; i < n; i++) {
      x = (i % 200) * 2; y = int(i / 200) * 2
      printf "%s[[[%d,%d],[%d,%d],[%d,%d],[%d,%d],[%d,%d]]]", (i ? "," : ""), x, y, x + 1, y, x + 1, y + 1, x, y + 1, x, y
    }
    print "]}}]}"
  }'
}

echo "making the sources"
for rings in 16000 32000; do
  squares "$rings" > "rings$rings.geojson"
  ogr2ogr -f FlatGeobuf "rings$rings.fgb" "rings$rings.geojson"
  rm "rings$rings.geojson"
done
ogr2ogr -f FlatGeobuf countries.fgb "/vsigzip/$data/ne_50m_countries.geojson.gz"
awk -v n="$count" -f "$benchmarks/lines.awk" > lines.csv
ogr2ogr -f FlatGeobuf lines.fgb lines.csv -oo GEOM_POSSIBLE_NAMES=WKT -oo KEEP_GEOM_COLUMNS=NO -a_srs EPSG:4326
rm lines.csv

measure() {  # measure <format> <output> <source>: "seconds MiB" of the best of three ogr2ogr runs
  local format=$1 output=$2 source=$3 run
  rm -f times.txt
  for run in 1 2 3; do
    rm -f "$output"
    /usr/bin/time -a -o times.txt -f '%U %S %M' ogr2ogr -f "$format" "$output" "$source" >/dev/null 2>&1
  done
  sort -n -k1,1 times.txt | awk '{ cpu = $1 + $2; if (NR == 1 || cpu < best) { best = cpu; rss = $3 } }
    END { printf "%8.2f s %7.0f MiB", best, rss / 1024 }'
}

printf '\n%-24s | %-22s | %-22s | %-22s\n' "source (FlatGeobuf)" "into Gaf" "into FlatGeobuf" "into GeoPackage"
printf '%-24s | %-22s | %-22s | %-22s\n' "" "     cpu           peak" "     cpu           peak" "     cpu           peak"
for source in rings16000 rings32000 countries lines; do
  label=$source
  [[ $source == lines ]] && label="$count lines"
  [[ $source == rings* ]] && label="1 polygon, ${source#rings} rings"
  printf '%-24s | %s | %s | %s\n' "$label" "$(measure Gaf "$source.gaf" "$source.fgb")" \
    "$(measure FlatGeobuf "copy-$source.fgb" "$source.fgb")" "$(measure GPKG "$source.gpkg" "$source.fgb")"
done
