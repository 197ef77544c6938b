#!/usr/bin/env bash
# Configures and builds Kest into build/ (or $KEST_BUILD_DIR). Incremental after the first run.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${KEST_BUILD_DIR:-$here/build}"
jobs="$(nproc 2>/dev/null || echo 2)"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
fi
cmake --build "$build" -j "$jobs"
