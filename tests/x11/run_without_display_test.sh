#!/usr/bin/env bash
# tools/run.sh on a display that does not answer (with and without xdpyinfo) and without a
# display: one line says so, then the batch tool runs on the example.
# Arguments: tools/run.sh build-folder
set -u
run=$1 build=$2
failures=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A PATH without xdpyinfo, so that the window program itself is asked.
mkdir "$work/bin"
for t in bash env timeout dirname; do ln -s "$(command -v "$t")" "$work/bin/$t"; done

check() {
  local name=$1 first=$2
  shift 2
  local out rc
  out=$(env -u QT_QPA_PLATFORM "$@" "$run" "$build" 2>&1)
  rc=$?
  [ "$rc" -eq 0 ] || { echo "FAIL: $name: exit $rc"; failures=$((failures + 1)); }
  [ "$(head -n1 <<<"$out")" = "$first" ] ||
    { echo "FAIL: $name: first line: $(head -n1 <<<"$out")"; failures=$((failures + 1)); }
  grep -q '^pKa1 = 4.20 ± 0.01' <<<"$out" ||
    { echo "FAIL: $name: no result of the batch tool"; failures=$((failures + 1)); }
  [ "$(grep -c 'does not answer\|No display' <<<"$out")" -eq 1 ] ||
    { echo "FAIL: $name: more than one line about the display"; failures=$((failures + 1)); }
}

said="running ferolan-cli on examples/data.mdf instead of the window."
check "xdpyinfo" "The display :97531 does not answer: $said" -u WAYLAND_DISPLAY DISPLAY=:97531
check "the window asked" "The display :97531 does not answer: $said" -u WAYLAND_DISPLAY \
  DISPLAY=:97531 PATH="$work/bin"
check "no display" "No display available: $said" -u WAYLAND_DISPLAY -u DISPLAY
[ "$failures" -eq 0 ] && echo "run.sh: all checks passed"
exit "$failures"
