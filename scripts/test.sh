#!/usr/bin/env bash
# Installs what is missing, builds and runs every test headless; ends with CTest's summary.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${QUILLDOWN_BUILD_DIR:-$here/build}"
"$here/scripts/build.sh"
cd "$build"
ctest --output-on-failure --timeout 600 "$@"
