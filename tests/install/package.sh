#!/usr/bin/env bash
# The Debian package: made from the install rules (scripts/package.sh), named as Debian
# names packages, its Depends covering every library its programs link, lintian without
# errors; unpacked into a temporary folder, where every library is found within it, and
# started from there with a document until the first preview page appears (the checks of
# installed_program.sh). As root in CI it is also installed with dpkg, started, and purged
# again. Usage: package.sh [BUILD_DIR]
set -euo pipefail
here="$(cd "$(dirname "$0")/../.." && pwd)"
export QUILLDOWN_BUILD_DIR="$(realpath -m "${1:-${QUILLDOWN_BUILD_DIR:-$here/build}}")"
export QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES=qt.webenginecontext.info=false
export QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu --disable-logging"
"$here/scripts/install-deps.sh" lintian dpkg-dev file

work="$(mktemp -d)"
installed_here=0
cleanup() {
  if [ "$installed_here" = 1 ]; then dpkg -P quilldown >/dev/null 2>&1 || true; fi
  chmod -R u+w "$work" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "package: $*"; exit 1; }

deb="$("$here/scripts/package.sh" "$work/out" | tail -n 1)"
version="$(sed -n 's/^project(Quilldown VERSION \([0-9.]*\).*/\1/p' "$here/CMakeLists.txt")"
[ "$(basename "$deb")" = "quilldown_${version}_$(dpkg --print-architecture).deb" ] || fail "named $(basename "$deb")"
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = quilldown ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Section)" = editors ] || fail "Section: $(field Section)"
[ "$(field Maintainer)" = "The Quilldown developers <developers@quilldown.org>" ] || fail "Maintainer: $(field Maintainer)"
depends=",$(field Depends | tr -d ' '),"
[[ "$depends" == *",pandoc,"* ]] || fail "Depends lacks pandoc: $depends"
# Recommended, not needed: the metric twin of the default editor font, and Qt's Wayland
# plugin so that a Wayland session does not run the window through XWayland.
recommends=",$(field Recommends | tr -d ' '),"
for wanted in fonts-liberation2 qt6-wayland; do
  [[ "$recommends" == *",$wanted,"* ]] || fail "Recommends lacks $wanted: $recommends"
done

lintian --fail-on error "$deb" || fail "lintian reports errors"

root="$work/root"
dpkg -x "$deb" "$root"
doc="$root/usr/share/doc/quilldown"
# The copyright file in Debian's machine-readable format, its licence that of LICENSE; the
# AppStream file names both of its licences.
copyright="$doc/copyright"
[ -f "$copyright" ] || fail "no copyright file"
head -n 1 "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
  || fail "copyright is not machine-readable: $(head -n 1 "$copyright")"
grep -A3 -x 'Files: \*' "$copyright" | grep -qx 'License: GPL-3+' || fail "copyright: the program is not GPL-3+"
grep -qx 'License: GPL-3+' "$copyright" && grep -q '/usr/share/common-licenses/GPL-3' "$copyright" \
  || fail "copyright: no GPL-3+ licence paragraph"
# Every licence named in a Files paragraph has a paragraph of its own.
while read -r licence; do
  grep -qx "License: $licence" <(awk '/^Files:/ { files = 1 } /^$/ { files = 0 } !files' "$copyright") \
    || fail "copyright: licence $licence has no paragraph"
done < <(awk '/^Files:/ { files = 1 } /^$/ { files = 0 } files && /^License:/ { print $2 }' "$copyright" | sort -u)
grep -q 'GNU GENERAL PUBLIC LICENSE' "$here/LICENSE" && grep -q 'Version 3, 29 June 2007' "$here/LICENSE" \
  || fail "LICENSE is not the GPL version 3"
metainfo="$root/usr/share/metainfo/org.quilldown.Quilldown.metainfo.xml"
grep -q '<project_license>GPL-3.0-or-later</project_license>' "$metainfo" || fail "AppStream: no project_license"
grep -Eq '<metadata_license>(CC0-1\.0|FSFAP)</metadata_license>' "$metainfo" || fail "AppStream: no metadata_license"
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net --pedantic "$metainfo" >"$work/appstream.log" 2>&1 \
    || { cat "$work/appstream.log"; fail "AppStream file is not valid"; }
fi
cmp -s "$doc/sample.md" "$here/resources/sample.md" || fail "no sample document in $doc"
# Every program and library in the package finds each library it needs, its own ones in
# the package itself; every outside library it links comes from a package it depends on.
# The package that installed a library; with /lib merged into /usr/lib, dpkg may know it
# under either name.
owner_of() {
  local real candidate owner
  real="$(realpath "$1")"
  for candidate in "$real" "$1" "${real/#\/usr\/lib\//\/lib/}" "${1/#\/lib\//\/usr\/lib/}"; do
    owner="$(dpkg -S "$candidate" 2>/dev/null | head -n 1 | cut -d: -f1 || true)"
    [ -n "$owner" ] && { echo "$owner"; return; }
  done
}
elves=0
while IFS= read -r -d '' f; do
  [ "$(head -c 4 "$f" | od -An -c | tr -d ' ')" = '177ELF' ] || continue
  elves=$((elves + 1))
  linked="$(ldd "$f")"
  ! grep -q 'not found' <<<"$linked" || fail "$f: $(grep 'not found' <<<"$linked")"
  while read -r name _ path _; do
    case "$name" in
      libquilldown_*) [[ "$(realpath "$path")" == "$root/usr/lib/quilldown/"* ]] || fail "$f takes $name from $path" ;;
      *) owner="$(owner_of "$path")"
         [[ "$depends" == *",$owner"[,\(]* ]] || fail "$f links $name of '$owner', not in Depends: $depends" ;;
    esac
  done < <(objdump -p "$f" | awk '/NEEDED/ { print $2 }' | while read -r lib; do grep -m1 "^[[:space:]]*$lib " <<<"$linked"; done)
done < <(find "$root" -type f -print0)
[ "$elves" -ge 3 ] || fail "only $elves programs and libraries in the package"

"$here/tests/install/installed_program.sh" --prefix "$root/usr" || fail "the unpacked program failed"

# Installed for real only where nothing can be lost: a CI machine, as root, without a
# Quilldown package of its own.
if [ "$(id -u)" -eq 0 ] && [ "${CI:-}" = true ] && ! dpkg -s quilldown >/dev/null 2>&1; then
  installed_here=1
  DEBIAN_FRONTEND=noninteractive dpkg -i "$deb" >/dev/null || fail "dpkg -i failed"
  /usr/bin/quilldown --version | grep -q "^Quilldown $version " || fail "installed --version"
  mkdir -p "$work/run/tmp" "$work/run/config" "$work/run/data" "$work/run/state"
  printf '# Packaged\n\nHello from the package.\n' > "$work/run/doc.md"
  (source "$here/tests/install/page_wait.sh"
   export TMPDIR="$work/run/tmp" XDG_CONFIG_HOME="$work/run/config" XDG_DATA_HOME="$work/run/data" \
          XDG_STATE_HOME="$work/run/state"
   run_until_page /usr/bin/quilldown "$work/run/doc.md" 'Hello from the package') || fail "the installed program failed"
  dpkg -P quilldown >/dev/null || fail "dpkg -P failed"
  installed_here=0
  [ ! -e /usr/bin/quilldown ] || fail "/usr/bin/quilldown left after dpkg -P"
  ! dpkg -s quilldown >/dev/null 2>&1 || fail "dpkg still knows quilldown after dpkg -P"
  echo "package installed, started and purged with dpkg"
fi
echo "package $(basename "$deb"): ok"
