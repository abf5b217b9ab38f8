# Sourced by the install tests. run_until_page PROGRAM DOC TEXT starts PROGRAM with DOC,
# waits (at most a minute) until a preview page in $TMPDIR holds TEXT, then ends it with
# SIGTERM; it fails when no page appears or the program does not end cleanly.
run_until_page() {
  "$1" "$2" &
  local pid=$! page=""
  for _ in $(seq 1 600); do
    page=$(grep -l "$3" "$TMPDIR"/quilldown-*/_temp*.htm 2>/dev/null | head -n 1 || true)
    [ -n "$page" ] && break
    sleep 0.1
  done
  [ -n "$page" ] || { echo "the installed program did not convert the document"; kill -9 $pid; return 1; }
  kill -TERM $pid
  wait $pid || { echo "the installed program did not end cleanly"; return 1; }
}
