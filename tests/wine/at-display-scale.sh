#!/usr/bin/env bash
# Runs a Wine test program on a display of its own at a given scale.
#   tests/wine/at-display-scale.sh DPI PREFIX PICTURES PROGRAM [ARGS...]
# The display is a virtual X server (Xvfb); the Wine prefix PREFIX is this
# script's own, with the display driver, so the shared test prefix and its
# running wineserver are never touched. Wine takes LogPixels
# (HKCU\Control Panel\Desktop) from a wineserver started after the value
# changed: the script sets it with no server running, starts a fresh one,
# runs the program with KESTREL_TEST_DPI set to DPI and KESTREL_TEST_SHOT to
# PICTURES/strip-<DPI>dpi.bmp, turns that picture into a PNG, and leaves
# the prefix at 96 DPI with its server stopped, whatever the outcome.
set -uo pipefail
[ $# -ge 4 ] || { echo "usage: $0 DPI PREFIX PICTURES PROGRAM [ARGS...]" >&2; exit 2; }
dpi=$1 prefix=$2 pictures=$3
shift 3
root=$(cd "$(dirname "$0")/../.." && pwd)
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$pictures"

set_dpi() {
  # Wine's own processes started here keep the standard handles they
  # inherit: keep them away from the caller's pipes.
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f </dev/null >/dev/null 2>&1
  local status=$?
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
  return $status
}

xvfb=
cleanup() {
  set_dpi 96 || echo "could not put LogPixels back to 96 in $prefix" >&2
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  wait 2>/dev/null
}
trap cleanup EXIT

"$root/scripts/wine-prefix" "$prefix" --display </dev/null >/dev/null 2>&1 ||
  { echo "the prefix $prefix could not be prepared" >&2; exit 1; }

# A free display, large enough for the wizard at twice the usual scale.
displayfile=$(mktemp)
Xvfb -displayfd 9 -screen 0 2560x1600x24 -nolisten tcp 9>"$displayfile" </dev/null >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$displayfile" ] && break; sleep 0.1; done
display=$(head -n1 "$displayfile")
rm -f "$displayfile"
[ -n "$display" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$display

set_dpi "$dpi" || { echo "could not set LogPixels to $dpi" >&2; exit 1; }
wineserver -p
wine cmd /c exit </dev/null >/dev/null 2>&1

bmp=$pictures/strip-${dpi}dpi.bmp
rm -f "$bmp" "${bmp%.bmp}.png"
KESTREL_TEST_DPI=$dpi KESTREL_TEST_SHOT=$(winepath -w "$bmp" 2>/dev/null) wine "$@"
status=$?
if [ -s "$bmp" ]; then
  convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp" && echo "picture: ${bmp%.bmp}.png"
fi
exit $status
