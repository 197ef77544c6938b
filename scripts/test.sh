#!/usr/bin/env bash
# Installs what Kest needs, builds it and runs every test (unit and end-to-end).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${KEST_BUILD_DIR:-$here/build}"
bash "$here/scripts/install-deps.sh"
bash "$here/scripts/build.sh"
export QT_QPA_PLATFORM=offscreen
cd "$build"
ctest --output-on-failure -j "$(nproc 2>/dev/null || echo 2)" --timeout 600
