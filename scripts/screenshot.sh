#!/usr/bin/env bash
# Builds Quilldown and captures its window with resources/sample.md on a virtual X server,
# writing docs/screenshot.png (or the path given as the first argument).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${QUILLDOWN_BUILD_DIR:-$here/build}"
output="${1:-$here/docs/screenshot.png}"
"$here/scripts/build.sh"
mkdir -p "$(dirname "$output")"
# Keep --disable-gpu on Xvfb: the GPU path draws unreliably there.
QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu \
  xvfb-run -a -s "-screen 0 1280x1024x24" \
  "$build/bench/quilldown_screenshot" "$output" "$here/resources/sample.md"
