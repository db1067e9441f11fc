#!/usr/bin/env bash
# Opens the window on the bundled example (examples/ is the working folder). Without a
# display, or with one that does not answer, it runs the batch tool on the same example.
set -eu
build=${1:-build}
cd "$(dirname "$0")/../examples"
case $build in
  /*) bin=$build ;;
  *) bin=../$build ;;
esac

batch() {
  echo "$1: running ferolan-cli on examples/data.mdf instead of the window."
  exec "$bin/ferolan-cli" data.mdf --search auto --pk 4,9
}

# Qt aborts on a display it cannot reach, so ask first: xdpyinfo for X11 where it is
# installed, otherwise the window itself, closed as soon as it is up.
display_answers() {
  if [ -z "${WAYLAND_DISPLAY:-}" ] && command -v xdpyinfo >/dev/null; then
    timeout 5 xdpyinfo >/dev/null 2>&1
  else
    (timeout 10 "$bin/ferolan" --close-after 0; exit $?) >/dev/null 2>&1
  fi
}

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  batch "No display available"
fi
display_answers || batch "The display ${WAYLAND_DISPLAY:-${DISPLAY:-}} does not answer"
exec "$bin/ferolan"
