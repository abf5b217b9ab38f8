#!/usr/bin/env bash
# Installs what is missing, builds and starts Quilldown; arguments are passed to the program.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${QUILLDOWN_BUILD_DIR:-$here/build}"
"$here/scripts/build.sh"
exec "$build/quilldown" "$@"
