#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each one for a short
# fixed time on its seed corpus (about a minute in all). Installs clang when missing.
set -euo pipefail
here="$(cd "$(dirname "$0")/../.." && pwd)"
"$here/scripts/install-deps.sh" clang libclang-rt-14-dev
seconds="${1:-20}"
build="$here/build-fuzz"
CXX=clang++ CC=clang cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUILLDOWN_FUZZ=ON >/dev/null
ninja -C "$build" fuzz_settings fuzz_paths fuzz_editor fuzz_recovery
exec "$here/tests/fuzz/run.sh" "$build" "$seconds"
