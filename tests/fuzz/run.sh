#!/usr/bin/env bash
# Runs each fuzz target for a fixed time on a copy of its committed seed corpus.
# Usage: tests/fuzz/run.sh BUILD_DIR [SECONDS_PER_TARGET]
set -euo pipefail
build="$1"
seconds="${2:-20}"
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
status=0
export LSAN_OPTIONS="suppressions=$here/../sanitizers/lsan.supp:print_suppressions=0"
for target in settings paths editor recovery; do
  mkdir -p "$work/$target"
  cp "$here/corpus/$target"/* "$work/$target/"
  echo "== fuzz_$target for ${seconds}s"
  if ! "$build/tests/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
        -artifact_prefix="$work/crash-$target-" "$work/$target" 2>"$work/$target.log"; then
    status=1
    tail -n 40 "$work/$target.log"
    for f in "$work"/crash-"$target"-*; do [ -e "$f" ] && { echo "input:"; od -c "$f" | head -n 20; }; done
  else
    grep -E "^Done|#[0-9]+.*DONE" "$work/$target.log" | tail -n 1 || true
  fi
done
exit $status
