#!/usr/bin/env bash
# Under Xvfb: the forms' spectra copied in the window can still be pasted after the window is
# closed, through a clipboard manager; without a manager, and with one that never answers,
# the window still ends, also inside a search. Prints how long each run of the window took.
# Arguments: clipboard_keeper ferolan ferolan-cli examples-folder install-deps.sh
set -u
keeper=$1 app=$2 cli=$3 examples=$4 deps=$5

command -v Xvfb >/dev/null || "$deps" || { echo "FAIL: Xvfb cannot be installed"; exit 1; }

. "$(dirname "$0")/xvfb.sh"

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

start_keeper() {
  "$keeper" "$1" >"$work/keeper.out" &
  keeper_pid=$!
  pids+=($keeper_pid)
  for _ in $(seq 100); do grep -q ready "$work/keeper.out" && return 0; sleep 0.05; done
  fail "the $1 manager did not start"
}

# Runs the window: load, automatic search of two constants, copy, close after 1.5 s.
run_window() {
  local t0 t1 rc
  t0=$(date +%s%N)
  (cd "$examples" && timeout 30 "$app" --load --zero 3 --search auto --copy --close-after 1500 \
    >/dev/null 2>"$work/app.err")
  rc=$?
  t1=$(date +%s%N)
  echo "$1: window ran $(((t1 - t0) / 1000000)) ms (closed 1500 ms after start), exit $rc"
  [ "$rc" -eq 0 ] || { fail "$1: the window ended with $rc"; cat "$work/app.err"; }
}

(cd "$examples" && "$cli" data.mdf --search auto --pk 4,9 --forms "$work/forms.txt" >/dev/null) ||
  fail "ferolan-cli could not write the forms' spectra"

start_keeper keep
run_window "with a clipboard manager"
if "$keeper" paste >"$work/pasted"; then
  [ "$(wc -l <"$work/pasted")" -eq 451 ] || fail "pasted $(wc -l <"$work/pasted") lines, not 451"
  cmp -s "$work/pasted" "$work/forms.txt" ||
    fail "the pasted text differs from the forms' spectra: $(head -c 200 "$work/pasted")"
else
  fail "nothing to paste after the window ended"
fi
kill "$keeper_pid"
wait "$keeper_pid" 2>/dev/null

run_window "without a clipboard manager"
"$keeper" paste >/dev/null && fail "a clipboard without owner gave text"

start_keeper mute
run_window "with a manager that never answers"
"$keeper" paste >/dev/null && fail "a manager that never answered gave text"

# Closing in the middle of a long search (five constants, the most thorough level).
t0=$(date +%s%N)
out=$(cd "$examples" && timeout 30 "$app" --load --level 3 --search opt --close-after 500 2>/dev/null)
rc=$?
echo "inside a search: window ran $((($(date +%s%N) - t0) / 1000000)) ms (closed 500 ms after start), exit $rc"
[ "$rc" -eq 0 ] || fail "closing inside a search ended with $rc"
[[ "$out" == *"search finished"* ]] && fail "the search finished before the close"

[ "$failures" -eq 0 ] && echo "clipboard hand-over: all checks passed"
exit "$failures"
