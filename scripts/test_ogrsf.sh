#!/usr/bin/env bash
# Runs GDAL's conformance program for vector drivers, test_ogrsf, on the Gaf
# plugin in its three modes: read-only on a set converted from
# data/ne_110m_countries.geojson, update on a copy of it, and creation
# (-driver Gaf, which creates its sets in /vsimem/ and is skipped by
# test_ogrsf while the driver does not claim DCAP_VIRTUALIO).
#   scripts/test_ogrsf.sh [TEST_OGRSF [PLUGIN_DIR]]
# TEST_OGRSF: the program, by default /tmp/test_ogrsf/test_ogrsf (test_ogrsf
# is GDAL's own, built from apps/test_ogrsf.cpp of GDAL's sources against the
# installed GDAL; it is not part of this repository). PLUGIN_DIR: the folder
# of gdal_Gaf.so, by default build/dev/gdalplugins, else build/gdalplugins.
# Prints each mode's ERROR, FAILURE and WARN lines and a summary line per
# mode; exits 1 when any line starts with ERROR or FAILURE or a run fails.
set -euo pipefail
cd "$(dirname "$0")/.."
test_ogrsf=${1:-/tmp/test_ogrsf/test_ogrsf}
plugins=${2:-}
if [[ -z $plugins ]]; then
  plugins=build/dev/gdalplugins
  [[ -e $plugins/gdal_Gaf.so ]] || plugins=build/gdalplugins
fi
[[ -x $test_ogrsf ]] || { echo "test_ogrsf not found at $test_ogrsf; build GDAL's test_ogrsf and pass its path" >&2; exit 2; }
[[ -e $plugins/gdal_Gaf.so ]] || { echo "gdal_Gaf.so not found in $plugins; build the target gdal_Gaf" >&2; exit 2; }
command -v ogr2ogr >/dev/null || { echo "ogr2ogr missing: apt-get install -y gdal-bin" >&2; exit 2; }
export GDAL_DRIVER_PATH=$(cd "$plugins" && pwd)

work=$(mktemp -d /tmp/kro-test-ogrsf-XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir "$work/read" "$work/update"
ogr2ogr -f Gaf "$work/read/countries.gaf" data/ne_110m_countries.geojson -lco KEY_FIELD=id
cp "$work"/read/countries.* "$work/update/"

status=0
summary=()
# run LABEL ARGUMENT...: one test_ogrsf run, its output kept in $work/LABEL.log.
run() {
  local label=$1
  shift
  local log=$work/$label.log code=0
  (cd "$work" && "$test_ogrsf" "$@") >"$log" 2>&1 || code=$?
  echo "== test_ogrsf $* ($label)"
  grep -E '^(ERROR|FAILURE|WARN)' "$log" || true
  local bad
  bad=$(grep -cE '^(ERROR|FAILURE)' "$log" || true)
  local line
  if grep -q 'TestCreate skipped' "$log"; then
    line="$label: skipped by test_ogrsf (the driver does not claim DCAP_VIRTUALIO), exit $code"
  elif ((bad == 0 && code == 0)); then
    line="$label: clean, exit 0"
  else
    line="$label: $bad ERROR/FAILURE line(s), exit $code"
  fi
  ((bad == 0 && code == 0)) || status=1
  summary+=("$line")
}

run read-only -ro read/countries.gaf
run update update/countries.gaf
run creation -driver Gaf

echo "== summary"
printf '%s\n' "${summary[@]}"
exit $status
