#!/usr/bin/env bash
# Installs what Kest needs, builds it and starts it. Arguments go to kest.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
bash "$here/scripts/install-deps.sh"
bash "$here/scripts/build.sh"
exec "${KEST_BUILD_DIR:-$here/build}/kest" "$@"
