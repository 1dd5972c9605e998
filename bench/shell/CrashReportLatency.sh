#!/usr/bin/env bash
# How long a user waits for the error report: the time from a crash (kill -SEGV of a running program
# with its main window up) until the window "Отчёт об ошибке" of the report process is on the screen,
# in an X server of its own. Prints each run and the median beside the bound the report is held to.
#
# usage: CrashReportLatency.sh PROGRAM [RUNS]
set -euo pipefail
program=$1
runs=${2:-5}
bound_ms=5000

work=$(mktemp -d /tmp/brindlecast-crash-bench.XXXXXX)
xvfb=
cleanup() {
  [ -n "$xvfb" ] && kill "$xvfb" 2> /dev/null
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1280x1024x24 3> "$work/display" 2> "$work/xvfb.log" &
xvfb=$!
for _ in $(seq 1 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")" XDG_RUNTIME_DIR="$work" QT_QPA_PLATFORM=xcb

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

times=()
for run in $(seq 1 "$runs"); do
  "$program" > "$work/program.log" 2>&1 &
  pid=$!
  timeout 60 xdotool search --sync --onlyvisible --pid "$pid" --name "Brindlecast 2.0" > /dev/null
  start=$(now_ms)
  kill -SEGV "$pid"
  # The shell's own note of the crash goes nowhere.
  { wait "$pid"; } 2> /dev/null || true
  window=$(timeout 60 xdotool search --sync --onlyvisible --name "Отчёт об ошибке" | head -1)
  end=$(now_ms)
  kill "$(xdotool getwindowpid "$window")"
  # The next run looks for a window of that name again: this one must be gone first.
  while xdotool search --onlyvisible --name "Отчёт об ошибке" > /dev/null 2>&1; do sleep 0.05; done
  times+=($(( end - start )))
  echo "run $run: $(( end - start )) ms"
done
median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(( (runs + 1) / 2 ))p")
if [ "$median" -le "$bound_ms" ]; then verdict=met; else verdict=MISSED; fi
echo "crash to report window: median $median ms over $runs runs (target <= $bound_ms ms) $verdict"
[ "$verdict" = met ]
