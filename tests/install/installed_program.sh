#!/usr/bin/env bash
# Installs Quilldown into a temporary prefix, makes the prefix read-only, and starts the
# installed program with a document on its command line. Checks that it converts that
# document (its preview page appears), keeps its stylesheets in the per-user data folder,
# and ends cleanly on SIGTERM: settings written, preview files gone.
#   installed_program.sh BUILD_DIR         installs the build with cmake --install first
#   installed_program.sh --prefix PREFIX   checks a prefix filled otherwise (an unpacked package)
set -euo pipefail
work="$(mktemp -d)"
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
if [ "$1" = "--prefix" ]; then
  prefix="$(realpath "$2")"
else
  prefix="$work/prefix"
  cmake --install "$1" --prefix "$prefix" >/dev/null
fi
for f in bin/quilldown share/applications/org.quilldown.Quilldown.desktop \
         share/icons/hicolor/scalable/apps/org.quilldown.Quilldown.svg \
         share/metainfo/org.quilldown.Quilldown.metainfo.xml; do
  [ -e "$prefix/$f" ] || { echo "missing after install: $f"; exit 1; }
done
grep -qx 'Exec=quilldown %f' "$prefix/share/applications/org.quilldown.Quilldown.desktop"
grep -qx 'MimeType=text/markdown;text/x-markdown;' "$prefix/share/applications/org.quilldown.Quilldown.desktop"
"$prefix/bin/quilldown" --version | grep -q '^Quilldown 1\.7 '
"$prefix/bin/quilldown" --help | grep -q '^Usage: quilldown'

mkdir -p "$work/docs" "$work/tmp" "$work/config" "$work/data"
doc="$work/docs/my notes.md"
printf '# Installed\n\nHello from the installed program.\n' > "$doc"
chmod -R a-w "$prefix"

export TMPDIR="$work/tmp" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_STATE_HOME="$work/state"
source "$(dirname "$0")/page_wait.sh"
run_program() { run_until_page "$prefix/bin/quilldown" "$doc" 'Hello from the installed program'; }

if [ "$(id -u)" -eq 0 ]; then
  # Root writes through permission bits, so make the prefix a read-only mount, in a
  # mount namespace of its own that vanishes with the test.
  export prefix doc
  export -f run_program run_until_page
  unshare -m bash -c 'mount --bind "$prefix" "$prefix" && mount -o remount,bind,ro "$prefix" && touch "$prefix/probe" 2>/dev/null && { echo "prefix is writable"; exit 1; }; run_program'
else
  run_program
fi

[ -s "$XDG_DATA_HOME/Quilldown/css/air.css" ] || { echo "no per-user air.css"; exit 1; }
[ ! -e "$prefix/bin/css" ] || { echo "css folder written into the prefix"; exit 1; }
grep -q 'WinCen = 0' "$XDG_CONFIG_HOME/Quilldown/Quilldown.ini" || { echo "settings not written at exit"; exit 1; }
if ls -d "$TMPDIR"/quilldown-* >/dev/null 2>&1; then echo "preview folder left behind"; exit 1; fi
echo "installed program: ok"
