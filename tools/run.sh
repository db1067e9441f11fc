#!/usr/bin/env bash
# Opens the window on the bundled example (examples/ is the working folder).
set -eu
build=${1:-build}
cd "$(dirname "$0")/../examples"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display available (DISPLAY is not set): cannot open the Ferolan window."
  exit 0
fi
exec "../$build/ferolan"
