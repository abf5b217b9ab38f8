#!/usr/bin/env bash
# Configures and builds Quilldown in ./build (or $QUILLDOWN_BUILD_DIR).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${QUILLDOWN_BUILD_DIR:-$here/build}"
"$here/scripts/install-deps.sh"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${QUILLDOWN_CMAKE_ARGS:-}
fi
cmake --build "$build"
