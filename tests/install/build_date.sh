#!/usr/bin/env bash
# The program shows the day it was built: the date file is written at build time, follows
# SOURCE_DATE_EPOCH, and is left untouched (nothing rebuilt) while the day stays the same.
# Usage: build_date.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source="$1" build="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "build date: $*"; exit 1; }
out="$work/BuildDate.cpp"

SOURCE_DATE_EPOCH=86400 cmake -DOUTPUT="$out" -P "$source/cmake/BuildDate.cmake"
grep -q 'return "1970-01-02";' "$out" || fail "$(cat "$out")"
touch -d '2000-01-01' "$out"
SOURCE_DATE_EPOCH=86400 cmake -DOUTPUT="$out" -P "$source/cmake/BuildDate.cmake"
[ "$(stat -c %Y "$out")" = "$(date -d '2000-01-01' +%s)" ] || fail "rewritten on the same day"
SOURCE_DATE_EPOCH=172800 cmake -DOUTPUT="$out" -P "$source/cmake/BuildDate.cmake"
grep -q 'return "1970-01-03";' "$out" || fail "not rewritten on a new day"

# The built program shows the date its last build wrote.
built="$(sed -n 's/.*return "\([0-9-]*\)";.*/\1/p' "$build/generated/BuildDate.cpp")"
"$build/quilldown" --version | grep -qx "Quilldown 1.7 ($built)" || fail "--version: $("$build/quilldown" --version)"
echo "build date: ok"
