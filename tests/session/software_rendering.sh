#!/usr/bin/env bash
# Starts the real program on a virtual X server and checks how it draws its preview once
# the page is up: no OpenGL driver loaded into the process (the preview is drawn in
# software), the page's renderer started without the window system's OpenGL switch in
# its environment (it was taken back before any other program starts), and, as root,
# where the engine's sandbox is off, no zygote processes.
set -euo pipefail
program="$1"
command -v xvfb-run >/dev/null || { echo "xvfb-run is missing (scripts/install-deps.sh installs it)"; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tmp" "$work/config" "$work/data"
printf '# Software\n\nDrawn without OpenGL.\n' > "$work/doc.md"

cat > "$work/session.sh" <<'SESSION'
set -euo pipefail
unset QT_QPA_PLATFORM QT_XCB_GL_INTEGRATION QT_QUICK_BACKEND
"$PROGRAM" "$WORK/doc.md" &
pid=$!
renderer=""
for _ in $(seq 1 600); do
  renderer=$(pgrep -f -- '--type=renderer' | while read -r p; do
      [ "$(ps -o sid= -p "$p" | tr -d ' ')" = "$(ps -o sid= -p "$pid" | tr -d ' ')" ] && echo "$p"; done | head -n 1 || true)
  page=$(grep -l 'Drawn without OpenGL' "$TMPDIR"/quilldown-*/_temp*.htm 2>/dev/null | head -n 1 || true)
  [ -n "$renderer" ] && [ -n "$page" ] && break
  sleep 0.1
done
status=0
if [ -z "$renderer" ]; then
  echo "no page renderer started"; status=1
else
  if grep -E 'swrast_dri|libLLVM|libGLX_mesa|libEGL_mesa' /proc/$pid/maps >/dev/null; then
    echo "an OpenGL driver was loaded:"; grep -oE '/[^ ]*(swrast_dri|libLLVM|libGLX_mesa|libEGL_mesa)[^ ]*' /proc/$pid/maps | sort -u
    status=1
  fi
  if tr '\0' '\n' < /proc/$renderer/environ | grep -q '^QT_XCB_GL_INTEGRATION='; then
    echo "the OpenGL switch leaked into a started program"; status=1
  fi
  if [ "$(id -u)" -eq 0 ] && pgrep -f -- '--type=zygote' | while read -r p; do
       [ "$(ps -o sid= -p "$p" | tr -d ' ')" = "$(ps -o sid= -p "$pid" | tr -d ' ')" ] && echo "$p"; done | grep -q .; then
    echo "zygote processes started though the sandbox is off"; status=1
  fi
fi
kill -TERM $pid
wait $pid || { echo "the program did not end cleanly"; status=1; }
exit $status
SESSION

export PROGRAM="$program" WORK="$work" TMPDIR="$work/tmp" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_STATE_HOME="$work/state"
# A session of its own, so that the processes found are this program's.
setsid xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/session.sh"
echo "software rendering: ok"
