#!/usr/bin/env bash
# Builds the program's own code with AddressSanitizer and UndefinedBehaviorSanitizer in
# build-asan/ and runs the whole test suite there, with leak detection.
set -euo pipefail
here="$(cd "$(dirname "$0")/../.." && pwd)"
export LSAN_OPTIONS="suppressions=$here/tests/sanitizers/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# Chromium inside WebEngine frees some objects through a base type of another size (a
# sized-delete mismatch in its own code); that check is off, every other one stays on.
export ASAN_OPTIONS="detect_leaks=1:new_delete_type_mismatch=0"
QUILLDOWN_BUILD_DIR="$here/build-asan" QUILLDOWN_CMAKE_ARGS="-DQUILLDOWN_SANITIZE=ON" \
  exec "$here/scripts/test.sh" "$@"
