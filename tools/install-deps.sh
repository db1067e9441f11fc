#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need, only those missing.
# The Python module's packages are Debian's, for /usr/bin/python3.
# With "sanitizers" also clang and its sanitizer and libFuzzer runtimes (make check, make fuzz).
set -euo pipefail
pkgs=(cmake make g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev qt6-base-dev
      libxcb1-dev fonts-dejavu-core xvfb xauth x11-utils parallel
      pybind11-dev python3-dev python3-pybind11 python3-numpy python3-pandas python3-matplotlib
      python3-pytest python3-distributed)
[ "${1:-}" = sanitizers ] && pkgs+=(clang-14 libclang-rt-14-dev)
missing=()
for p in "${pkgs[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
$SUDO apt-get update
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
