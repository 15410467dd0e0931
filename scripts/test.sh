#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
if [[ -f "$root/tests/node/package.json" ]]; then
    npm ci --prefix "$root/tests/node" --no-audit --no-fund --loglevel=error
fi
"$root/scripts/build.sh" "$@"
build=${BUILD_DIR:-$root/build}
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
