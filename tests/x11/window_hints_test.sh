#!/usr/bin/env bash
# Under Xvfb: the window offers the window manager moving, minimising and closing only
# (_MOTIF_WM_HINTS), and keeps its one size (WM_NORMAL_HINTS).
# Arguments: ferolan examples-folder install-deps.sh
set -u
app=$1 examples=$2 deps=$3

for t in Xvfb xprop xwininfo; do
  command -v "$t" >/dev/null || "$deps" || { echo "FAIL: $t cannot be installed"; exit 1; }
done

. "$(dirname "$0")/xvfb.sh"

(cd "$examples" && exec timeout 30 "$app" --close-after 20000 >/dev/null 2>"$work/app.err") &
pids+=($!)

id=""
for _ in $(seq 400); do
  id=$(xwininfo -root -tree 2>/dev/null | awk '/"Ferolan-H5A   V.1.0"/ {print $1; exit}')
  [ -n "$id" ] && break
  sleep 0.05
done
[ -n "$id" ] || { echo "FAIL: no window appeared"; cat "$work/app.err"; exit 1; }

failures=0
motif=$(xprop -id "$id" _MOTIF_WM_HINTS)
echo "$motif"
# flags: functions and decorations; functions 0x2c: move, minimise, close (no resize 0x2,
# no maximise 0x10); decorations 0x3a: border, title, menu, minimise button.
[[ "$motif" == *"= 0x3, 0x2c, 0x3a, 0x0, 0x0" ]] || {
  echo "FAIL: the window advertises other functions than move, minimise and close"
  failures=$((failures + 1))
}
normal=$(xprop -id "$id" WM_NORMAL_HINTS)
echo "$normal"
[[ "$normal" == *"minimum size: 928 by 542"* && "$normal" == *"maximum size: 928 by 542"* ]] || {
  echo "FAIL: the window does not keep 928 × 542"
  failures=$((failures + 1))
}

[ "$failures" -eq 0 ] && echo "window hints: all checks passed"
exit "$failures"
