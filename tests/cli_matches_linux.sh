#!/usr/bin/env bash
# tovana-cli.exe under Wine against the Linux tovana-cli on identical trees: the same rows, the
# same summary, the same exit status, the same tree afterwards.
#
#   tests/cli_matches_linux.sh LINUX_CLI WINDOWS_CLI
set -euo pipefail
linux=$1
windows=$2
repo=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The Linux runs journal into the scratch folder, not the user's state folder.
export XDG_STATE_HOME="$work/state"

make_tree() {
  local root=$1
  mkdir -p "$root/Léto/Ěčko" "$root/.svn" "$root/Účty 2005"
  for file in "Léto/Žluťoučký kůň.txt" "Léto/Ěčko/řeka.JPG" "C.txt" "Č.txt" "a b_c.txt" \
              ".svn/č.txt" "Straße 5×3.doc" "Účty 2005/ŁÓDŹ (1).txt" "readme"; do
    printf '%s' "$file" > "$root/$file"
  done
}

for flags in "-s -d --replace-space --non-alnum" "-s --upper -m *.txt;*.jpg" "-d --lower -n"; do
  rm -rf "$work/linux" "$work/windows"
  make_tree "$work/linux/Fotky"
  make_tree "$work/windows/Fotky"
  if [[ $flags == *--upper* || $flags == *--lower* ]]; then
    # C.txt and Č.txt both become C.TXT: on Windows C.txt wins as the one that already bears
    # the name in another case, on Linux whichever the folder lists first. Keep one.
    rm "$work/linux/Fotky/C.txt" "$work/windows/Fotky/C.txt"
  fi
  read -r -a args <<< "$flags"
  linux_status=0
  "$linux" "${args[@]}" "$work/linux/Fotky" > "$work/linux.out" 2>/dev/null || linux_status=$?
  windows_status=0
  "$repo/scripts/wine-run" "$windows" "${args[@]}" "Z:$work/windows/Fotky" \
    > "$work/windows.out" 2>/dev/null || windows_status=$?
  # The folders are listed in each system's own order: compare the rows as sets.
  sed "s|$work/linux/Fotky|ROOT|g" "$work/linux.out" | sort > "$work/linux.rows"
  sed "s|Z:$work/windows/Fotky|ROOT|g; s|\\\\\\\\|/|g" "$work/windows.out" | sort > "$work/windows.rows"
  (cd "$work/linux" && find . | sort) > "$work/linux.tree"
  (cd "$work/windows" && find . | sort) > "$work/windows.tree"
  if ! diff -u "$work/linux.rows" "$work/windows.rows" || \
     ! diff -u "$work/linux.tree" "$work/windows.tree" || \
     [ "$linux_status" != "$windows_status" ]; then
    echo "tovana-cli.exe differs from tovana-cli with $flags (status $windows_status, $linux_status)"
    exit 1
  fi
  echo "same rows, tree and status ($linux_status) with: $flags"
done
