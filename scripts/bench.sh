#!/usr/bin/env bash
# Builds Quilldown, runs every benchmark and prints one Markdown table of their figures,
# each next to the baseline measured in the same run, under a line saying when and where.
#
#   ./scripts/bench.sh            full figures (about 17 minutes on 2 cores)
#   ./scripts/bench.sh --quick    fewer runs and short idle times: a check that every
#                                 benchmark works, not figures to quote (also QUILLDOWN_BENCH_QUICK=1)
#
# Progress goes to stderr and each program's own output to <build>/bench/logs/.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${QUILLDOWN_BUILD_DIR:-$here/build}"
quick="${QUILLDOWN_BENCH_QUICK:-0}"
for arg in "$@"; do
  case "$arg" in
    --quick) quick=1 ;;
    -h|--help) sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "unknown argument: $arg (try --help)" >&2; exit 2 ;;
  esac
done

# Taken before building, so it shows what else the machine was doing.
load_before="$(cut -d' ' -f1-3 /proc/loadavg)"
"$here/scripts/build.sh" >&2

# Empty lists leave each program to its own defaults, which are the full figures.
session_args=() editor_args=() conversion_args=() preview_args=() document_args=() typing_args=()
recovery_args=()
if [ "$quick" = 1 ]; then
  session_args=(3 2)        # idle seconds, runs
  editor_args=(5 200)       # megabytes, keystrokes
  conversion_args=(3 1 2)   # 10 KB runs, 1 MB runs, idle seconds
  preview_args=(2)          # runs per page size
  document_args=(1 1)       # open runs, save runs
  typing_args=(40 1)        # keys, overtaking bursts
  recovery_args=(3)         # runs
fi

logs="$build/bench/logs"
mkdir -p "$logs"
rm -f "$logs"/bench_*.txt "$logs"/bench_*.err
failed=()
started=$SECONDS

# run NAME COMMAND...: stdout (with the row| lines) to NAME.txt, stderr to NAME.err.
run() {
  local name="$1" status=0 begin=$SECONDS
  shift
  echo "running $name ..." >&2
  timeout --kill-after=30 1200 "$@" >"$logs/$name.txt" 2>"$logs/$name.err" || status=$?
  echo "  $name: $((SECONDS - begin)) s, exit status $status" >&2
  if [ "$status" -ne 0 ]; then
    failed+=("$name exited with status $status (output: $logs/$name.txt, errors: $logs/$name.err)")
  fi
  return 0
}

run bench_session xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bench/bench_session" "${session_args[@]}"
run bench_typing xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bench/bench_typing" "${typing_args[@]}"
export QT_QPA_PLATFORM=offscreen
run bench_editor "$build/bench/bench_editor" "${editor_args[@]}"
run bench_conversion "$build/bench/bench_conversion" "${conversion_args[@]}"
run bench_preview "$build/bench/bench_preview" "${preview_args[@]}"
run bench_document "$build/bench/bench_document" "${document_args[@]}"
run bench_recovery "$build/bench/bench_recovery" "${recovery_args[@]}"
echo "all benchmarks: $((SECONDS - started)) s" >&2

qt_version="$(qtpaths6 --qt-version 2>/dev/null || dpkg-query -W -f '${Version}' libqt6core6 2>/dev/null || echo unknown)"
pandoc_version="$(pandoc --version 2>/dev/null | head -n 1 | cut -d' ' -f2)"
cpu="$(grep -m 1 '^model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
mode=""
if [ "$quick" = 1 ]; then
  mode=", quick mode (fewer runs, short idle times: not figures to quote)"
fi

echo "Measured $(date -u '+%Y-%m-%d %H:%M UTC'): $(nproc) cores (${cpu:-unknown CPU}), load average before the run" \
     "$load_before, Pandoc ${pandoc_version:-not found}, Qt $qt_version$mode."
echo
echo "| Measure | Quilldown | Baseline (same run) |"
echo "|---|---|---|"
for name in bench_session bench_typing bench_editor bench_conversion bench_preview bench_document bench_recovery; do
  [ -f "$logs/$name.txt" ] || continue
  { grep '^row|' "$logs/$name.txt" || true; } | while IFS='|' read -r _ measure figure baseline; do
    echo "| $measure | $figure | ${baseline:--} |"
  done
done
if [ ${#failed[@]} -gt 0 ]; then
  echo
  for line in "${failed[@]}"; do
    echo "- $line"
  done
  exit 1
fi
