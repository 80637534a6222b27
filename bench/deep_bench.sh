#!/usr/bin/env bash
# Times a renaming run and takes its peak memory on two awkward trees on a tmpfs: LEVELS folders
# nested in one another with 100-byte Czech names (10,000 by default), and FILES files with
# Czech names in one folder (1,000,000 by default). tovana-cli (with its journal, as users run
# it, and without) against the C loop that makes only the system calls (bench/floor.c), each on
# a fresh copy of the same tree, best of RUNS runs (3 by default) by wall time. Then the undo of
# the journaled run (`--undo`), timed the same way, against that run. SCALE multiplies both
# sizes (0.1 for a quick look).
#
#   bench/deep_bench.sh [BUILD_DIR] [SCALE] [deep|wide]
#
# A third argument times only that one of the two trees.
# Wall and CPU time and peak resident memory come from /usr/bin/time. The journals go to a state
# folder on the same tmpfs (JOURNAL_STATE=DIR puts them elsewhere).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
scale=${2:-1}
only=${3:-}
runs=${RUNS:-3}
levels=$(awk -v s="$scale" 'BEGIN { printf "%d", 10000 * s }')
files=$(awk -v s="$scale" 'BEGIN { printf "%d", 1000000 * s }')
cli=$build/src/tovana-cli
[ -x "$cli" ] || { echo "no $cli: build it first (cmake --build --preset release)" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time: apt-get install time" >&2; exit 2; }

work=$(mktemp -d /dev/shm/tovana-deep-XXXXXX)
trap 'rm -rf "$work"' EXIT
state=${JOURNAL_STATE:-$work/state}
cc -O2 -o "$work/floor" bench/floor.c
cc -O2 -o "$work/make_deep" bench/make_deep.c
# One descriptor per folder level stays open during a walk, in both programs.
ulimit -n "$(ulimit -Hn)"

# measure SHAPE SIZE LABEL COMMAND...: prints "wall cpu peak_kb" of the best run by wall time
# (the peak is the highest of all runs) and tells how many entries kept their Czech names.
measure() {
  local shape=$1 size=$2 label=$3; shift 3
  local best="" bestCpu="" peak=0 left=""
  for _ in $(seq "$runs"); do
    rm -rf "$work/tree" "$state"
    "$work/make_deep" "$work/tree" "$shape" "$size"
    sync
    XDG_STATE_HOME=$state /usr/bin/time -f '%e %U %S %M' -o "$work/time" \
      "$@" "$work/tree" >/dev/null 2>"$work/err" || true
    local wall user sys kb
    read -r wall user sys kb < <(tail -n 1 "$work/time")
    local cpu; cpu=$(echo "$user + $sys" | bc)
    if [ -z "$best" ] || (( $(echo "$wall < $best" | bc) )); then best=$wall; bestCpu=$cpu; fi
    (( kb > peak )) && peak=$kb
    left=$(find "$work/tree" -name '*[ÚŽ]*' ! -name '*~' | wc -l)
  done
  printf '  %-26s wall %7.2f s  cpu %7.2f s  peak %7.1f MB  entries not renamed: %s\n' \
    "$label" "$best" "$bestCpu" "$(echo "$peak / 1024" | bc -l)" "$left" >&2
  echo "$best $peak"
}

# measure_undo SHAPE SIZE LABEL CLI: as measure, for `CLI --undo` of a journaled run of CLI on
# the tree; tells how many entries did not get their Czech names back.
measure_undo() {
  local shape=$1 size=$2 label=$3 cli=$4
  local best="" bestCpu="" peak=0 missing=""
  local expected=$size
  [ "$shape" = deep ] && expected=$((size + 1))  # the levels and the file at the bottom
  for _ in $(seq "$runs"); do
    rm -rf "$work/tree" "$state"
    "$work/make_deep" "$work/tree" "$shape" "$size"
    XDG_STATE_HOME=$state "$cli" -s -d "$work/tree" >/dev/null 2>"$work/err" || true
    sync
    XDG_STATE_HOME=$state /usr/bin/time -f '%e %U %S %M' -o "$work/time" \
      "$cli" --undo >/dev/null 2>"$work/err" || true
    local wall user sys kb
    read -r wall user sys kb < <(tail -n 1 "$work/time")
    local cpu; cpu=$(echo "$user + $sys" | bc)
    if [ -z "$best" ] || (( $(echo "$wall < $best" | bc) )); then best=$wall; bestCpu=$cpu; fi
    (( kb > peak )) && peak=$kb
    missing=$((expected - $(find "$work/tree" -name '*[ÚŽČ]*' ! -name '*~' | wc -l)))
  done
  printf '  %-26s wall %7.2f s  cpu %7.2f s  peak %7.1f MB  entries not put back: %s\n' \
    "$label" "$best" "$bestCpu" "$(echo "$peak / 1024" | bc -l)" "$missing" >&2
  echo "$best $peak"
}

bench() {  # SHAPE SIZE DESCRIPTION
  local shape=$1 size=$2
  echo "$3" >&2
  local floor tovana bare
  floor=$(measure "$shape" "$size" "C floor" "$work/floor")
  bare=$(measure "$shape" "$size" "tovana-cli --no-journal" "$cli" -s -d --no-journal)
  tovana=$(measure "$shape" "$size" "tovana-cli (journal)" "$cli" -s -d)
  printf '  time / floor: --no-journal %.2f, journal %.2f\n' \
    "$(echo "${bare% *} / ${floor% *}" | bc -l)" "$(echo "${tovana% *} / ${floor% *}" | bc -l)" >&2
  local undo
  undo=$(measure_undo "$shape" "$size" "tovana-cli --undo" "$cli")
  printf '  undo / journaled run: time %.2f, peak memory %.2f\n' \
    "$(echo "${undo% *} / ${tovana% *}" | bc -l)" "$(echo "${undo#* } / ${tovana#* }" | bc -l)" >&2
}

if [ "$only" != wide ]; then
  bench deep "$levels" "$levels nested folders of 100-byte names:"
fi
if [ "$only" != deep ]; then
  bench wide "$files" "$files files in one folder:"
fi
