#!/usr/bin/env bash
# A renaming run on a slow disk as users meet it (a NAS, a share, a USB disk through FUSE):
# every request goes through the kernel to a FUSE file system (bench/latencyfs.c) that waits
# DELAY_US before serving it. Two trees: FILES files in FOLDERS folders, and WIDE files in one
# folder. tovana-cli runs on each with every --jobs setting it knows (--jobs 1, 4, 16 and its
# default; only the run as it is where it has no --jobs), one run each, since the time is the
# disk's. Beside each time: the latency bound, the requests the run made (counted by the file
# system) times the delay, divided by the jobs that can wait at once: the --jobs given (the
# default: 16 on FUSE), but one in the tree of one folder, whose renames one worker makes.
# Last, whether renames in one folder gain anything from several threads at once (tovana-cli
# does not try): WIDE_RENAMES renames by 1, 4 and 16 threads of a small program.
# Needs root (or a user allowed to mount FUSE) and /dev/fuse; libfuse3-dev to build the file
# system.
#
#   bench/latency_bench.sh [BUILD_DIR] [DELAY_US] [FILES] [FOLDERS] [WIDE] [WIDE_RENAMES]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/dev}
delay_us=${2:-1000}
files=${3:-20000}
folders=${4:-400}
wide=${5:-5000}
wide_renames=${6:-2000}
cli=$build/src/tovana-cli
[ -e /dev/fuse ] || { echo "no /dev/fuse: cannot mount the slow disk" >&2; exit 77; }
pkg-config --exists fuse3 || { echo "needs libfuse3-dev" >&2; exit 2; }

work=$(mktemp -d /dev/shm/tovana-latency-XXXXXX)
mounted=""
cleanup() {
  [ -n "$mounted" ] && fusermount3 -u "$mounted" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
cc -O2 -o "$work/latencyfs" bench/latencyfs.c $(pkg-config fuse3 --cflags --libs)
export XDG_STATE_HOME=$work/state

# FILES files with Czech names spread over FOLDERS folders (in ten parent folders); WIDE in one.
python3 - "$work/spread" "$files" "$folders" "$work/wide" "$wide" <<'EOF'
import os, sys
spread, files, folders, wide, wide_files = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4], int(sys.argv[5])
words = ["Příliš", "žluťoučký", "kůň", "úpěl", "ďábelské", "ódy", "Řeka", "Vltava", "léto"]
for i in range(files):
    folder = os.path.join(spread, f"Složka {i % folders % 10}", f"Výlet {i % folders}")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, f"{words[i % 9]} {words[i // 9 % 9]} {i}.jpg"), "w") as f:
        f.write(str(i))
os.makedirs(wide)
for i in range(wide_files):
    with open(os.path.join(wide, f"{words[i % 9]} {words[i // 9 % 9]} {i}.jpg"), "w") as f:
        f.write(str(i))
EOF

# Runs tovana-cli once on a fresh copy of the tree through the slow disk; prints seconds and
# the requests the file system served.
run() {  # tree jobs-option...
  local tree=$1; shift
  rm -rf "$work/lower" "$work/state"; cp -a "$work/$tree" "$work/lower"; mkdir -p "$work/mnt"
  "$work/latencyfs" "$work/lower" "$work/mnt" -f -o delay_us="$delay_us" -o max_threads=64 \
    2> "$work/fs.log" &
  local fs=$!
  for _ in $(seq 100); do mountpoint -q "$work/mnt" && break; sleep 0.05; done
  mounted=$work/mnt
  local start end
  start=$(date +%s.%N)
  "$cli" -s -d --replace-space "$@" "$work/mnt" > "$work/rows" 2> "$work/err" || true
  end=$(date +%s.%N)
  fusermount3 -u "$work/mnt"; mounted=""; wait "$fs" || true
  local left
  left=$(find "$work/lower" -name '*[^ -~]*' | wc -l)
  [ "$left" -eq 0 ] || echo "  ($left names left unrenamed: $(head -c 300 "$work/err"))" >&2
  echo "$(echo "$end - $start" | bc) $(sed -n 's/^latencyfs: \([0-9]*\) requests$/\1/p' "$work/fs.log")"
}

jobs_settings=("1")
# (The help is read whole first: grep -q leaving early would fail the pipe.)
if grep -q -- '--jobs' <<< "$("$cli" --help 2>&1)"; then
  jobs_settings=("1" "4" "16" "default")
fi

echo "slow disk: ${delay_us} µs per request (FUSE through the kernel); tovana-cli -s -d --replace-space"
printf '%-32s %-8s %9s %9s %13s %7s\n' tree jobs seconds requests "latency bound" "/ bound"
for tree in spread wide; do
  case $tree in
    spread) label="$files files in $folders folders" ;;
    wide) label="$wide files in one folder" ;;
  esac
  for jobs in "${jobs_settings[@]}"; do
    if [ "$jobs" = default ]; then options=(); parallel=16; else options=(--jobs "$jobs"); parallel=$jobs; fi
    [ "${#jobs_settings[@]}" -eq 1 ] && options=()
    [ "$tree" = wide ] && parallel=1
    read -r seconds requests < <(run "$tree" "${options[@]}")
    bound=$(echo "$requests * $delay_us / 1000000 / $parallel" | bc -l)
    printf '%-32s %-8s %9.2f %9d %11.2f s %7.2f\n' "$label" "$jobs" "$seconds" "$requests" \
      "$bound" "$(echo "$seconds / $bound" | bc -l)"
  done
done

# Renames in one folder by THREADS threads at once, each its own share of the names; prints
# the seconds.
same_folder() {  # threads
  rm -rf "$work/lower"; cp -a "$work/wide" "$work/lower"; mkdir -p "$work/mnt"
  "$work/latencyfs" "$work/lower" "$work/mnt" -f -o delay_us="$delay_us" -o max_threads=64 \
    2> "$work/fs.log" &
  local fs=$!
  for _ in $(seq 100); do mountpoint -q "$work/mnt" && break; sleep 0.05; done
  mounted=$work/mnt
  python3 - "$work/mnt" "$1" "$wide_renames" <<'EOF'
import os, sys, threading, time
root, threads, count = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
names = sorted(os.listdir(root))[:count]
def rename(share):
    for name in share:
        os.rename(os.path.join(root, name), os.path.join(root, "r " + name))
workers = [threading.Thread(target=rename, args=(names[i::threads],)) for i in range(threads)]
start = time.monotonic()
for worker in workers:
    worker.start()
for worker in workers:
    worker.join()
print(f"{time.monotonic() - start:.2f}")
EOF
  fusermount3 -u "$work/mnt"; mounted=""; wait "$fs" || true
}

echo
echo "renames in one folder, several threads at once ($wide_renames renames, os.rename)"
printf '%-8s %9s\n' threads seconds
for threads in 1 4 16; do
  printf '%-8s %9s\n' "$threads" "$(same_folder "$threads")"
done
