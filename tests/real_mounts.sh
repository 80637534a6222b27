#!/usr/bin/env bash
# tovana-cli on real mounts of the file systems users bring: NTFS and exFAT disks from Windows
# machines, FAT sticks, and FUSE file systems in general, none of which take renameat2's
# RENAME_NOREPLACE, and a real network file system (sshfs to an ssh server on this machine's
# loopback). Each is mounted here (as root) over a loop image or a folder, and on each: file and
# folder renames, a collision (nothing replaced, the newcomer fails), changes of letter case
# alone, contents checked after every run, the dry run's rows equal to the real run's, and the
# undo putting the tree back as it was.
#
#   tests/real_mounts.sh TOVANA_CLI FILE_SYSTEM PART
#
# FILE_SYSTEM: bindfs, fuse2fs, ntfs-3g, exfat-fuse, fusefat, sshfs, latencyfs (bench/latencyfs.c,
# a pass-through that waits before every request, as a network disk does); PART: renames (files,
# folders, a collision, the dry run), letter-case (changes of letter case alone), kills (runs
# killed at random moments, then undone) or parallel (several folders at once: rows, tree and undo
# the same as one at a time). Exits 77 (CTest: skipped) with the
# reason when the mount cannot be made on this machine (not root, no /dev/fuse, no tool, no loop
# device); everything mounted is unmounted on every way out, and nothing is mounted below the
# build folder.
set -uo pipefail
cli=$1
kind=$2
part=$3

skip() {
  echo "SKIPPED $kind: $*"
  exit 77
}
fail() {
  echo "FAILED $kind: $*"
  exit 1
}

if [ "$kind" = fusefat ] && [ "$part" = letter-case ]; then
  # fusefat's daemon spins for ever on such renames after a few others (mv abc.txt ABC.TXT,
  # mv Xy.txt XY.TXT, mv dir/X.TXT dir/x.txt, then mv ABC.TXT abc.txt hangs, mv alone).
  skip "changes of letter case are not tried: fusefat hangs on them, with mv as well"
fi
[ "$(id -u)" -eq 0 ] || skip "mounting needs root"
[ -c /dev/fuse ] || skip "no /dev/fuse on this machine"

work=$(mktemp -d /tmp/tovana-mount-XXXXXX)
mnt="$work/mnt"
mkdir "$mnt"
loop=""
sshd_pid=""
mounted=0
folders_renamed=yes

# The FUSE daemon serving the mount: the one process with the mount point as an argument.
daemon_pid() {
  local proc
  for proc in /proc/[0-9]*; do
    if tr '\0' '\n' <"$proc/cmdline" 2>/dev/null | grep -qxF "$mnt"; then
      echo "${proc#/proc/}"
      return
    fi
  done
}

cleanup() {
  if [ "$mounted" = 1 ]; then
    fusermount -u "$mnt" 2>/dev/null || umount "$mnt" 2>/dev/null || umount -l "$mnt" 2>/dev/null
    # A FUSE daemon may take a moment to let go of its image.
    for _ in 1 2 3 4 5 6 7 8 9 10; do
      mountpoint -q "$mnt" || break
      sleep 0.2
    done
  fi
  [ -n "$loop" ] && losetup -d "$loop" 2>/dev/null
  [ -n "$sshd_pid" ] && kill "$sshd_pid" 2>/dev/null
  # Never remove through a mount that is still there.
  if mountpoint -q "$mnt"; then
    echo "warning: $mnt is still mounted; $work left in place" >&2
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

need() {
  for tool in "$@"; do
    command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/setup installs it)"
  done
}

image() {  # size_in_MB
  truncate -s "${1}M" "$work/image"
}

mount_it() {  # command...
  local log="$work/mount.log"
  if ! "$@" >"$log" 2>&1; then
    skip "cannot mount here: $(tr '\n' ' ' <"$log")"
  fi
  mounted=1
  mountpoint -q "$mnt" || skip "the mount did not appear: $(tr '\n' ' ' <"$log")"
}

case $kind in
  bindfs)
    need bindfs
    mkdir "$work/source"
    mount_it bindfs "$work/source" "$mnt"
    ;;
  fuse2fs)
    need fuse2fs mkfs.ext4
    image 32
    mkfs.ext4 -q -F "$work/image" || fail "mkfs.ext4"
    mount_it fuse2fs "$work/image" "$mnt"
    ;;
  ntfs-3g)
    need ntfs-3g mkntfs
    image 32
    mkntfs -F -q -Q "$work/image" >/dev/null 2>&1 || fail "mkntfs"
    mount_it ntfs-3g "$work/image" "$mnt"
    ;;
  exfat-fuse)
    need mount.exfat-fuse mkfs.exfat losetup
    image 32
    mkfs.exfat "$work/image" >/dev/null || fail "mkfs.exfat"
    # exfat-fuse run by root wants a block device.
    loop=$(losetup -f --show "$work/image" 2>"$work/losetup.log") ||
      skip "no loop device: $(cat "$work/losetup.log")"
    mount_it mount.exfat-fuse "$loop" "$mnt"
    ;;
  fusefat)
    # fusefat loses a folder's contents when it renames the folder (mv too): folders are not
    # renamed there, each such row fails, and nothing is lost.
    folders_renamed=no
    need fusefat mkfs.vfat
    image 32
    mkfs.vfat "$work/image" >/dev/null || fail "mkfs.vfat"
    mount_it fusefat -o rw+ "$work/image" "$mnt"
    ;;
  sshfs)
    # An ssh server of the test's own on loopback, with keys made for it, serving one folder.
    need sshfs ssh-keygen /usr/sbin/sshd
    ssh_dir="$work/ssh"
    mkdir -p "$work/source" "$ssh_dir" /run/sshd
    ssh-keygen -q -t ed25519 -N '' -f "$ssh_dir/host" || fail "ssh-keygen"
    ssh-keygen -q -t ed25519 -N '' -f "$ssh_dir/user" || fail "ssh-keygen"
    cp "$ssh_dir/user.pub" "$ssh_dir/authorized_keys"
    for _ in 1 2 3 4 5; do
      port=$((20000 + RANDOM % 40000))
      printf '%s\n' "ListenAddress 127.0.0.1" "Port $port" "HostKey $ssh_dir/host" \
        "AuthorizedKeysFile $ssh_dir/authorized_keys" "PermitRootLogin prohibit-password" \
        "PasswordAuthentication no" "KbdInteractiveAuthentication no" "UsePAM no" \
        "StrictModes no" "Subsystem sftp internal-sftp" >"$ssh_dir/config"
      /usr/sbin/sshd -D -f "$ssh_dir/config" -E "$ssh_dir/log" &
      sshd_pid=$!
      for _ in $(seq 50); do
        grep -q "Server listening" "$ssh_dir/log" 2>/dev/null && break
        kill -0 "$sshd_pid" 2>/dev/null || break
        sleep 0.1
      done
      grep -q "Server listening" "$ssh_dir/log" && break
      kill "$sshd_pid" 2>/dev/null
      sshd_pid=""
    done
    [ -n "$sshd_pid" ] || skip "the ssh server did not start: $(tr '\n' ' ' <"$ssh_dir/log")"
    mount_it sshfs -o "IdentityFile=$ssh_dir/user,port=$port,BatchMode=yes" \
      -o StrictHostKeyChecking=no,UserKnownHostsFile=/dev/null \
      "root@127.0.0.1:$work/source" "$mnt"
    ;;
  latencyfs)
    need cc pkg-config
    pkg-config --exists fuse3 || skip "no libfuse3-dev to build bench/latencyfs.c (scripts/setup installs it)"
    # shellcheck disable=SC2046
    cc -O2 -o "$work/latencyfs" "$(dirname "$0")/../bench/latencyfs.c" $(pkg-config fuse3 --cflags --libs) ||
      fail "cannot build bench/latencyfs.c"
    mkdir "$work/source"
    # A fifth of a millisecond a request: slow enough for the workers to overlap.
    mount_it "$work/latencyfs" "$work/source" "$mnt" -o delay_us=200 -o max_threads=64
    ;;
  *)
    echo "unknown file system: $kind" >&2
    exit 2
    ;;
esac

# Files hold their own path below the mount, so a lost, swapped or replaced file shows.
add() {
  for entry in "$@"; do
    if [[ $entry == */ ]]; then
      mkdir -p "$mnt/$entry"
    else
      mkdir -p "$(dirname "$mnt/$entry")"
      printf '%s' "$entry" >"$mnt/$entry"
    fi
  done
}

# Every file below a folder as "path<TAB>content", sorted; folders as "path/".
listing() {
  (cd "$mnt" && find "$1" -mindepth 1 | LC_ALL=C sort | while IFS= read -r path; do
    if [ -d "$path" ]; then
      printf '%s/\n' "$path"
    else
      printf '%s\t%s\n' "$path" "$(cat "$path")"
    fi
  done)
}

expect_listing() {  # folder expected-lines...
  local folder=$1
  shift
  printf '%s\n' "$@" | LC_ALL=C sort >"$work/expected"
  listing "$folder" >"$work/actual"
  diff -u "$work/expected" "$work/actual" || fail "unexpected tree in $folder"
}

# A call waiting on a FUSE daemon that stopped answering cannot be interrupted, not even by
# SIGKILL: the daemon itself is ended after a minute, which fails the call and the test.
run_cli() {  # name args... (output in $work/name.out, .err, .status)
  local name=$1
  shift
  XDG_STATE_HOME="$work/state" "$cli" "$@" >"$work/$name.out" 2>"$work/$name.err" &
  local pid=$! tenths=0 status=0
  while kill -0 "$pid" 2>/dev/null && [ "$tenths" -lt 600 ]; do
    sleep 0.1
    tenths=$((tenths + 1))
  done
  if kill -0 "$pid" 2>/dev/null; then
    local daemon
    daemon=$(daemon_pid)
    [ -n "$daemon" ] && kill -9 "$daemon"
    kill -9 "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    echo 124 >"$work/$name.status"
    fail "tovana-cli $* did not end within a minute (the file system stopped answering)"
  fi
  wait "$pid" || status=$?
  echo "$status" >"$work/$name.status"
}

report() {  # the rename mechanisms the run used, from its notes
  local files folders
  files=$(sed -n 's/.*; files are renamed there by //p' "$1" | head -n 1)
  folders=$(sed -n 's/.*; folders are renamed there by //p' "$1" | head -n 1)
  [ "$folders_renamed" = no ] && folders="not renamed (it loses a renamed folder's contents)"
  echo "PASSED $kind $part: files: ${files:-renameat2(RENAME_NOREPLACE)}; folders: ${folders:-renameat2(RENAME_NOREPLACE)}"
}

if [ "$part" = kills ]; then
# 3. Runs killed with SIGKILL at random moments, then --undo repeated until there is nothing left
# to undo: the tree is back name for name and byte for byte every time, and no file is left
# under two names (a kill between the hard link and the removal of the old name) nor any
# placeholder or probe folder of the run's own.
add_kill_tree() {
  rm -rf "$mnt/K"
  for d in 1 2 3 4; do
    for f in $(seq 1 30); do
      add "K/Složka č. $d/Žluťoučký kůň $f.txt"
    done
  done
}
add_kill_tree
before=$(listing K)
start=$(date +%s%N)
XDG_STATE_HOME="$work/state0" "$cli" -s -d --replace-space "$mnt/K" >/dev/null 2>&1
run_ns=$(($(date +%s%N) - start))
rounds=0 doubled=0 claimed=0 restored=0
for round in $(seq 1 20); do
  add_kill_tree
  rm -rf "$work/state"
  XDG_STATE_HOME="$work/state" "$cli" -s -d --replace-space "$mnt/K" >/dev/null 2>&1 &
  pid=$!
  sleep "$(awk -v ns="$run_ns" -v r="$RANDOM" 'BEGIN { printf "%.6f", ns / 1e9 * r / 32768 }')"
  kill -9 "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  rounds=$((rounds + 1))
  if [ -n "$(find "$mnt/K" -type f -links +1 | head -n 1)" ]; then
    doubled=$((doubled + 1))
  fi
  # An empty file or folder under a new name: a placeholder claiming it, the rename not made.
  if [ -n "$(find "$mnt/K" -mindepth 1 -empty -name '*_*' | head -n 1)" ]; then
    claimed=$((claimed + 1))
  fi
  for _ in 1 2 3 4 5; do
    run_cli undo --undo
    [ "$(cat "$work/undo.status")" = 0 ] || break
  done
  grep -q "nothing to undo" "$work/undo.err" ||
    fail "round $round: the last undo did not end with nothing to undo: $(cat "$work/undo.err")"
  [ "$(listing K)" = "$before" ] || {
    diff <(echo "$before") <(listing K) | head -n 20
    fail "round $round: the tree was not put back"
  }
  if find "$mnt/K" -name '.tovana-*' | grep -q .; then
    fail "round $round: a name of the run's own was left behind"
  fi
  restored=$((restored + 1))
done
echo "PASSED $kind $part: $rounds runs killed, $doubled of them between a hard link and the removal of the old name, $claimed between a placeholder and the rename over it, $restored trees put back"
exit 0
fi

if [ "$part" = parallel ]; then
# 4. Several folders renamed at once (the default on a FUSE or network disk): the same rows in
# the same order, the same collisions failed, the same tree and the same undo as one folder at
# a time, through the dry run and the real run.
for d in 1 2 3 4 5 6; do
  for f in $(seq 1 12); do
    add "P/Výlet č. $d/Žluťoučký kůň $f.txt"
  done
  add "P/Výlet č. $d/a b.txt" "P/Výlet č. $d/a_b.txt"
  for e in 1 2; do
    for f in 1 2 3 4 5; do
      add "P/Výlet č. $d/Den $e/Úl $f.jpg"
    done
  done
done
before=$(listing P)
for run in dry1 dry real1 real; do
  jobs=(-j 1)
  [[ $run == *1 ]] || jobs=()
  dry=()
  [[ $run == dry* ]] && dry=(-n)
  run_cli "$run" "${dry[@]}" "${jobs[@]}" -s -d --replace-space "$mnt/P"
  [ "$(cat "$work/$run.status")" = 1 ] || fail "$run: exit status $(cat "$work/$run.status"), not 1 (a_b.txt collides)"
  if [[ $run == real* ]]; then
    listing P >"$work/$run.tree"
    run_cli undo --undo
    [ "$(cat "$work/undo.status")" = 0 ] || fail "$run: undo: $(cat "$work/undo.out" "$work/undo.err")"
    [ "$(listing P)" = "$before" ] || fail "$run: the undo did not put the tree back"
  fi
done
for run in dry real; do
  cmp -s "$work/${run}1.out" "$work/$run.out" || {
    diff -u "$work/${run}1.out" "$work/$run.out" | head -n 20
    fail "$run: the rows differ from one folder at a time"
  }
  grep -q "up to 16 folders are renamed there at once" "$work/$run.err" ||
    fail "$run: no note of 16 folders at once: $(cat "$work/$run.err")"
  grep -v "folders are renamed there at once" "$work/$run.err" | cmp -s - "$work/${run}1.err" ||
    fail "$run: other notes than one folder at a time: $(cat "$work/$run.err")"
done
cmp -s "$work/real1.tree" "$work/real.tree" || fail "the tree differs from one folder at a time"
[ "$(grep -c '^failed' "$work/real.out")" = 6 ] || fail "not one failed collision a folder"
grep -qF "P/Vylet_c._6/Den_2/Ul_5.jpg	P/Výlet č. 6/Den 2/Úl 5.jpg" "$work/real.tree" ||
  fail "the tree was not renamed: $(head -n 5 "$work/real.tree")"
echo "PASSED $kind $part: $(grep -c . "$work/real.out") rows the same with 16 folders at once as with one"
exit 0
fi

if [ "$part" = renames ]; then
# 1. Files and folders, a collision, through the dry run first. Czech names where the file
# system takes them (fusefat takes ASCII names only), spaces and underscores elsewhere.
if touch "$mnt/č" 2>/dev/null && rm "$mnt/č"; then
  names=("Léto 2005" "Žluťoučký kůň.txt" "čaj.JPG" "Ďábel" "ódy.txt" "Úl" "C.txt" "Č.txt")
  renamed=("Leto_2005" "Zlutoucky_kun.txt" "caj.JPG" "Dabel" "ody.txt" "Ul" "C.txt")
else
  names=("Leto 2005" "Zlutoucky kun.txt" "caj 1.JPG" "Dabel x" "ody y.txt" "U l" "a_b.txt" "a b.txt")
  renamed=("Leto_2005" "Zlutoucky_kun.txt" "caj_1.JPG" "Dabel_x" "ody_y.txt" "U_l" "a_b.txt")
fi
add "Fotky/${names[0]}/${names[1]}" "Fotky/${names[0]}/${names[2]}" "Fotky/${names[6]}" \
    "Fotky/${names[7]}" "Fotky/${names[3]}/${names[4]}" "Fotky/${names[3]}/${names[5]}/"
if [ "$folders_renamed" = no ]; then
  renamed[0]=${names[0]}
  renamed[3]=${names[3]}
  renamed[5]=${names[5]}
fi
before=$(listing Fotky)
run_cli dry -n -s -d --replace-space "$mnt/Fotky"
[ "$(listing Fotky)" = "$before" ] || fail "the dry run changed the tree"
run_cli real -s -d --replace-space "$mnt/Fotky"
cat "$work/real.err"
# The dry run says at its end that it was one; the rows and the summary are the real run's.
grep -vxF "Dry run: nothing was renamed." "$work/dry.out" >"$work/dry.rows"
diff -u "$work/dry.rows" "$work/real.out" || fail "the dry run's rows differ from the real run's"
[ "$(cat "$work/real.status")" = 1 ] || fail "exit status $(cat "$work/real.status"), not 1 (${names[7]} collides)"
[ "$(cat "$work/dry.status")" = 1 ] || fail "dry run exit status $(cat "$work/dry.status"), not 1"
grep -qxF "failed	$mnt/Fotky/${names[7]}	${renamed[6]}" "$work/real.out" ||
  fail "no failed row for the collision"
expect_listing Fotky \
  "Fotky/${names[6]}	Fotky/${names[6]}" \
  "Fotky/${names[7]}	Fotky/${names[7]}" \
  "Fotky/${renamed[0]}/" \
  "Fotky/${renamed[0]}/${renamed[1]}	Fotky/${names[0]}/${names[1]}" \
  "Fotky/${renamed[0]}/${renamed[2]}	Fotky/${names[0]}/${names[2]}" \
  "Fotky/${renamed[3]}/" \
  "Fotky/${renamed[3]}/${renamed[4]}	Fotky/${names[3]}/${names[4]}" \
  "Fotky/${renamed[3]}/${renamed[5]}/"
if ls -a "$mnt/Fotky" "$mnt/Fotky"/* 2>/dev/null | grep -q '^\.tovana-'; then
  fail "a placeholder, temporary name or probe folder was left behind"
fi
folder_count=3
[ "$folders_renamed" = no ] && folder_count=0
grep -q "^3 souborů" "$work/real.out" && grep -q "^$folder_count adresářů" "$work/real.out" ||
  fail "summary: $(tail -n 3 "$work/real.out" | tr '\n' ' ')"

# The undo puts every renamed entry back; the newcomer that failed stays as it was.
run_cli undo --undo
[ "$(cat "$work/undo.status")" = 0 ] ||
  fail "undo: status $(cat "$work/undo.status"): $(cat "$work/undo.out" "$work/undo.err")"
[ "$(listing Fotky)" = "$before" ] || fail "the undo did not put the tree back: $(listing Fotky)"

report "$work/real.err"
exit 0
fi

# 2. Changes of letter case alone, up and back down, folders included.
add "123/abc.txt" "123/Xy.txt" "123/dir/x.txt"
run_cli upper -s -d --upper "$mnt/123"
cat "$work/upper.err"
[ "$(cat "$work/upper.status")" = 0 ] ||
  fail "upper-casing: status $(cat "$work/upper.status"): $(cat "$work/upper.out")"
expect_listing 123 "123/ABC.TXT	123/abc.txt" "123/XY.TXT	123/Xy.txt" "123/DIR/" \
  "123/DIR/X.TXT	123/dir/x.txt"
run_cli lower -s -d --lower "$mnt/123"
[ "$(cat "$work/lower.status")" = 0 ] ||
  fail "lower-casing: status $(cat "$work/lower.status"): $(cat "$work/lower.out")"
expect_listing 123 "123/abc.txt	123/abc.txt" "123/xy.txt	123/Xy.txt" "123/dir/" \
  "123/dir/x.txt	123/dir/x.txt"
if ls -a "$mnt/123" | grep -q '^\.tovana-'; then
  fail "a temporary name was left behind"
fi
report "$work/upper.err"
