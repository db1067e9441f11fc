#!/usr/bin/env bash
# Opens the window on the bundled example (examples/ is the working folder). Without a
# display it runs the batch tool on the same example instead.
set -eu
build=${1:-build}
cd "$(dirname "$0")/../examples"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display available: running ferolan-cli on examples/data.mdf instead of the window."
  exec "../$build/ferolan-cli" data.mdf --search auto --pk 4,9
fi
exec "../$build/ferolan"
