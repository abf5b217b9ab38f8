#!/usr/bin/env bash
# Builds Quilldown (as scripts/build.sh does) and makes its Debian package,
# quilldown_<version>_<arch>.deb, in ./build (or $QUILLDOWN_BUILD_DIR), or in the folder
# given as the first argument. Prints the package's path last.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${QUILLDOWN_BUILD_DIR:-$here/build}"
out="$(realpath -m "${1:-$build}")"
# dpkg-shlibdeps finds the dependencies; file tells it which files are programs.
"$here/scripts/install-deps.sh" dpkg-dev file
"$here/scripts/build.sh"
mkdir -p "$out"
# cpack keeps its staging files in a folder of its own, removed again when done.
stage="$(mktemp -d "$out/.cpack.XXXXXX")"
trap 'rm -rf "$stage"' EXIT
(cd "$build" && cpack -G DEB -B "$stage" >"$stage/cpack.log" 2>&1) || { cat "$stage/cpack.log"; exit 1; }
deb="$(find "$stage" -maxdepth 1 -name 'quilldown_*.deb' -print -quit)"
[ -n "$deb" ] || { cat "$stage/cpack.log"; echo "cpack made no package"; exit 1; }
mv -f "$deb" "$out/"
echo "$out/$(basename "$deb")"
