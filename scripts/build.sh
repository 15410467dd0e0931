#!/usr/bin/env bash
# Configures and builds Quillmerge into BUILD_DIR (default: build/ in the checkout).
# Extra arguments go to CMake's configure step (e.g. -DQM_SANITIZE=ON). Warnings
# are errors here (QM_WERROR); pass -DQM_WERROR=OFF to build regardless.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build" -G Ninja -DQM_WERROR=ON "$@"
cmake --build "$build" -j"$(nproc)"
