#!/usr/bin/env bash
# Kills tovana-cli with SIGKILL at random moments of a run and of the undos that follow, then
# repeats --undo until it says there is nothing left to undo, and checks that the tree is the
# original byte for byte, with no name more or less. Not a timed test: it prints counts.
#
#   bench/kill_undo.sh [BUILD_DIR] [ROUNDS] [WORK_PARENT]
#
# Each round: a fresh copy of the tree and a fresh journal folder; one run killed at a random
# moment; then --undo over and over, each killed at a random moment with probability 1/2 (at
# most 6 of them killed per round), until --undo says "nothing to undo". A slow disk
# (TOVANA_FS_DELAY_US) spreads the kills over the whole run and undo. WORK_PARENT (default
# /dev/shm) may be a FUSE mount such as bindfs, whose file system lacks the no-overwrite rename.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/dev}
rounds=${2:-100}
parent=${3:-/dev/shm}
cli=$PWD/$build/src/tovana-cli
[ -x "$cli" ] || { echo "no $cli: build tovana-cli first" >&2; exit 2; }

work=$(mktemp -d "$parent/tovana-kill-XXXXXX")
trap 'rm -rf "$work"' EXIT
export TOVANA_FS_DELAY_US=${TOVANA_FS_DELAY_US:-300}

# The original: nested folders and files with Czech names, some that collide once cleaned.
orig=$work/orig
for f in 0 1 2 3 4 5; do
  mkdir -p "$orig/Léto/Složka č. $f/Pod složka ž"
  for n in $(seq 0 14); do
    printf 'soubor %s %s\n' "$f" "$n" >"$orig/Léto/Složka č. $f/Žluťoučký kůň $n.txt"
  done
  printf 'hluboko %s\n' "$f" >"$orig/Léto/Složka č. $f/Pod složka ž/ř ř.txt"
  printf 'kolize\n' >"$orig/Léto/Složka č. $f/Zlutoucky_kun_0.txt"
done
listing() { (cd "$1" && find . -printf '%y %p\n' | LC_ALL=C sort); }
want=$(listing "$orig")

# How long one whole run takes on this machine, for the kill moments.
cp -a "$orig" "$work/t0"
export XDG_STATE_HOME=$work/s0
start=$(date +%s%N)
"$cli" -s -d --replace-space "$work/t0/Léto" >/dev/null 2>&1 || true
runNs=$(($(date +%s%N) - start))
"$cli" --undo >/dev/null 2>&1 || true
runs=0 runKills=0 undos=0 undoKills=0 restored=0 bad=0
for round in $(seq 1 "$rounds"); do
  tree=$work/t$round
  rm -rf "$tree"
  cp -a "$orig" "$tree"
  export XDG_STATE_HOME=$work/s$round
  "$cli" -s -d --replace-space "$tree/Léto" >/dev/null 2>&1 &
  pid=$!
  sleep "$(awk -v ns="$runNs" -v r="$RANDOM" 'BEGIN { printf "%.6f", ns * r / 32768 / 1e9 }')"
  kill -9 "$pid" 2>/dev/null && runKills=$((runKills + 1)) || true
  wait "$pid" 2>/dev/null || true
  runs=$((runs + 1))
  killedHere=0
  for attempt in $(seq 1 40); do
    out=$work/undo.err
    "$cli" --undo >/dev/null 2>"$out" &
    pid=$!
    if [ $killedHere -lt 6 ] && [ $((RANDOM % 2)) -eq 0 ]; then
      sleep "$(awk -v ns="$runNs" -v r="$RANDOM" 'BEGIN { printf "%.6f", ns * r / 32768 / 1e9 }')"
      if kill -9 "$pid" 2>/dev/null; then
        undoKills=$((undoKills + 1))
        killedHere=$((killedHere + 1))
      fi
    fi
    wait "$pid" 2>/dev/null || true
    undos=$((undos + 1))
    if grep -qs "nothing to undo" "$out"; then
      break
    fi
  done
  if [ "$(listing "$tree")" == "$want" ] && diff -r "$orig" "$tree" >/dev/null; then
    restored=$((restored + 1))
  else
    bad=$((bad + 1))
    echo "round $round: the tree differs from the original:" >&2
    diff <(echo "$want") <(listing "$tree") >&2 || true
  fi
  rm -rf "$tree" "$XDG_STATE_HOME"
done
echo "runs: $runs (killed: $runKills), undos: $undos (killed: $undoKills), trees restored byte for byte: $restored of $runs"
[ "$bad" -eq 0 ]
