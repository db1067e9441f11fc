#!/bin/bash
# One search in the window (under Xvfb, the xcb platform) against the same search in
# ferolan-cli, on the same generated data: 50 spectra × 1000 points, five constants.
# Prints the search times of both (medians over the runs), the ratio window / batch, and
# how long input waited at most in the window (the longest gap between passes of its event
# loop, and the longest pass).
#   bench/window_vs_batch.sh [BUILD_DIR] [RUNS] [SEARCH...]
# Defaults: build, 3 runs of each program, the manual and the automatic grid.
# FEROLAN_WINDOW=PATH times that window program instead (another build, say).
# Needs Xvfb; builds ferolan, ferolan-cli and make_bench_data first.
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
runs=${2:-3}
shift $(($# < 2 ? $# : 2))
searches=("$@")
[ ${#searches[@]} -gt 0 ] || searches=(manual auto)

cmake --build "$build" -j2 --target ferolan ferolan-cli make_bench_data >/dev/null
window=${FEROLAN_WINDOW:-$build/ferolan}

dir=$(mktemp -d)
xvfb=
cleanup() {
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT
"$build/bench/make_bench_data" "$dir/data.mdf"

# A display of our own: Xvfb writes its number once it accepts clients.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do
  [ -s "$dir/display" ] && break
  sleep 0.1
done
[ -s "$dir/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
display=:$(cat "$dir/display")

median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

window_run() {  # prints "seconds trials wait pass" (the longest wait for and pass of events, ms)
  (cd "$dir" && DISPLAY=$display QT_QPA_PLATFORM=xcb "$window" --load --search "$1" --quit \
    2>/dev/null) |
    awk '/^search seconds:/ {s = $3; t = $5}
         /^events waited at most/ {w = $5; p = $16}
         END {if (s != "") print s, t, (w == "" ? "?" : w), (p == "" ? "?" : p)}'
}

batch_run() {  # prints "seconds trials"
  "$build/ferolan-cli" "$dir/data.mdf" --search "$1" --pk 2.5,4.5,6.5,8.5,10.5 --json --quiet |
    awk -F': *' '/"elapsed_s"/ {gsub(/,/, "", $2); s = $2} /"trials"/ {gsub(/,/, "", $2); t = $2}
                 END {print s, t}'
}

echo "data: 50 spectra x 1000 points, five constants; $runs runs of each program, in turn"
for s in "${searches[@]}"; do
  : >"$dir/window" && : >"$dir/batch"
  longest_wait=0 longest_pass=0
  for _ in $(seq "$runs"); do
    wt= wn= ww= wp= bt= bn=
    read -r wt wn ww wp < <(window_run "$s") || true
    read -r bt bn < <(batch_run "$s") || true
    if [ -z "$wt" ] || [ -z "$bt" ]; then echo "$s: a run failed" >&2; exit 1; fi
    [ "$wn" = "$bn" ] || echo "$s: the window scored $wn trials, ferolan-cli $bn" >&2
    echo "$wt" >>"$dir/window"
    echo "$bt" >>"$dir/batch"
    longest_wait=$(awk -v a="$longest_wait" -v b="$ww" 'BEGIN {print (b + 0 > a + 0) ? b : a}')
    longest_pass=$(awk -v a="$longest_pass" -v b="$wp" 'BEGIN {print (b + 0 > a + 0) ? b : a}')
  done
  w=$(median <"$dir/window")
  b=$(median <"$dir/batch")
  awk -v s="$s" -v w="$w" -v b="$b" -v n="$wn" \
    'BEGIN {printf "%-6s grid: window %.3f s, ferolan-cli %.3f s, ratio %.2f (%d trials)\n", s, w, b, w / b, n}'
  echo "       input waited at most $longest_wait ms for the event loop, whose passes took at most $longest_pass ms"
done
