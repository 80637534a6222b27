#!/usr/bin/env bash
# The window's run against tovana-cli on identical trees, and what a worker thread with its rows
# taken in batches (the channel the window uses) adds to the bare run; for the window (the real
# one, offscreen, its run on its worker thread) also the longest time it went without painting,
# once painting only for its new rows and once more asked to repaint every 10 ms as a desktop
# does while the window is moved or uncovered. In two settings:
#   - 100,000 files on a tmpfs: best of three each, plus the memory the window's result log takes;
#   - 20,000 files on a slow disk, 1 ms per file-system call (each rename is one call, each
#     folder two more: open and read), made slow by TOVANA_FS_DELAY_US; one run each, since the
#     time is the disk's.
# The slow disk needs a build with the tests (the dev preset): other builds ignore the variable.
#
#   bench/window_bench.sh [BUILD_DIR] [FILES] [SLOW_FILES] [DELAY_US]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/dev}
files=${2:-100000}
slow_files=${3:-20000}
delay_us=${4:-1000}
grep -q '^TOVANA_BUILD_TESTS:BOOL=ON' "$build/CMakeCache.txt" || {
  echo "$build is built without the tests: it has no slow disk (use the dev preset)" >&2
  exit 2
}
work=$(mktemp -d /dev/shm/tovana-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
cli=("$build/src/tovana-cli" -s -d --replace-space)
window=("$build/bench/tovana_window_bench")
thread=("$build/bench/tovana_thread_bench")

# Wall time is what the user waits; on a shared machine the processor time (user + system, all
# threads) shows more steadily what the program itself costs.
time_runs() {  # runs label command... ; prints the best time, the tree copy is the last argument
  local runs=$1 label=$2; shift 2
  local best="" line="" cpu=""
  for _ in $(seq "$runs"); do
    rm -rf "$work/tree"; cp -a "$work/template" "$work/tree"; sync
    local wall user sys
    { TIMEFORMAT='%R %U %S'; time "$@" "$work/tree" > "$work/out" 2>&1 || true; } 2> "$work/time"
    read -r wall user sys < "$work/time"
    if [ -z "$best" ] || (( $(echo "$wall < $best" | bc) )); then
      best=$wall
      cpu=$(echo "$user + $sys" | bc)
      line=$(tail -n 1 "$work/out")
    fi
  done
  printf '  %-34s %7.3f s  cpu %6.3f s  (%s)\n' "$label" "$best" "$cpu" "$line" >&2
  echo "$line" > "$work/best-line"
  echo "$best"
}

compare() {  # runs
  local runs=$1 c t w
  c=$(time_runs "$runs" "tovana-cli -s -d --replace-space" "${cli[@]}")
  t=$(time_runs "$runs" "run on a thread, rows in batches" "${thread[@]}")
  printf '  thread+batches / tovana-cli: %.2f\n' "$(echo "$t / $c" | bc -l)"
  if [ -x "${window[0]}" ]; then
    w=$(time_runs "$runs" "window, run on its thread" "${window[@]}")
    printf '  window / tovana-cli: %.2f\n' "$(echo "$w / $c" | bc -l)"
    # The run alone, from OK to its end, without the program's start (Qt, fonts, the window),
    # which the user has behind them before pressing OK.
    r=$(sed -n 's/.*run \([0-9.]*\) s.*/\1/p' "$work/best-line")
    [ -n "$r" ] && printf '  window'"'"'s run (OK to the end) / tovana-cli: %.2f\n' "$(echo "$r / $c" | bc -l)"
    TOVANA_BENCH_FRAME_MS=10 time_runs 1 "window asked to paint every 10 ms" "${window[@]}" \
      > /dev/null
  else
    echo "  window: not built (TOVANA_BUILD_UI=OFF)"
  fi
}

python3 bench/make_tree.py "$work/template" "$files"
echo "$files files on tmpfs:"
compare 3

rm -rf "$work/template"
python3 bench/make_tree.py "$work/template" "$slow_files"
echo "$slow_files files, $delay_us us per file-system call:"
export TOVANA_FS_DELAY_US=$delay_us
compare 1
