#!/usr/bin/env bash
# tovana-cli.exe under Wine against the Linux tovana-cli on identical trees: the same rows, the
# same summary, the same exit status, the same tree afterwards, over option sets that cover
# every rule, and Czech, Slovak, Polish, Hungarian and German names with characters beyond
# U+FFFF among them.
#
#   tests/cli_matches_linux.sh LINUX_CLI WINDOWS_CLI
#
# The differences that remain, by design, and how this comparison keeps clear of them:
# - Paths: "Z:" and "\" on Windows; both are turned into the Linux form before comparing.
# - Listing order: each system lists a folder in its own order; rows are compared as sets.
# - Letter case: Windows ignores it, so of C.txt and Č.txt under --upper/--lower the one that
#   already bears the name wins there, on Linux whichever is listed first: one is left out.
# - New names ending in a dot or a space: Windows drops them (the row says Konec, Linux keeps
#   Konec_ -> "Konec "): the tree holds no name the rules would end so.
# - Folders both hidden and system are left alone on Windows; Linux has no such folders.
# - --help names each platform's own settings and journals, and says how each writes the
#   control characters of names (paths keep their "\" on Windows).
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
  mkdir -p "$root/Léto/Ěčko" "$root/.svn" "$root/Účty 2005" "$root/Ľudovít Štúr" \
           "$root/Łódź" "$root/Őrült Ügyvéd" "$root/Größe" "$root/𠮷野家"
  for file in "Léto/Žluťoučký kůň.txt" "Léto/Ěčko/řeka.JPG" "C.txt" "Č.txt" "a b_c.txt" \
              ".svn/č.txt" "Straße 5×3.doc" "Účty 2005/ŁÓDŹ (1).txt" "readme" \
              "Ľudovít Štúr/Dĺžeň ôsmich.txt" "Ľudovít Štúr/ťava_mláďa.jpg" \
              "Łódź/Źdźbło łąki.txt" "Łódź/Gęś żółta.JPG" "Łódź/ćma-ŚLIMAK.doc" \
              "Őrült Ügyvéd/Árvíztűrő tükörfúrógép.txt" "Őrült Ügyvéd/űrhajó_ő.doc" \
              "Größe/Äpfel_Öl Übung.txt" "Größe/straße.JPG" \
              "𠮷野家/𠮷野家 Čaj.txt" "𠮷野家/𐐷𐐯𐑅 Deseret.txt" "𠮷野家/😀 úsměv.jpg" \
              "𠮷野家/𝟙𝟚 číslo.doc"; do
    printf '%s' "$file" > "$root/$file"
  done
}

option_sets=(
  "-s -d --replace-space --non-alnum"
  "-s --upper -m *.txt;*.jpg"
  "-d --lower -n"
  "-s -d"
  "-s --non-alnum"
  "-s -d --remove-space"
  "-s --replace-underscore --remove-space"
  "-s --remove-underscore --non-alnum"
  "-s -d --upper"
  "-s --lower -m *.TXT;*.DOC"
  "-s -d --replace-space --remove-underscore"
  "-s -d --non-alnum --replace-underscore"
  "-s -d --non-alnum --lower -n"
  "-m *.JPG"
  "-s --replace-space --replace-underscore"
)

for flags in "${option_sets[@]}"; do
  rm -rf "$work/linux" "$work/windows"
  make_tree "$work/linux/Fotky"
  make_tree "$work/windows/Fotky"
  if [[ $flags == *--upper* || $flags == *--lower* ]]; then
    rm "$work/linux/Fotky/C.txt" "$work/windows/Fotky/C.txt"
  fi
  read -r -a args <<< "$flags"
  linux_status=0
  # Both in Czech: scripts/wine-run gives Wine a Czech locale.
  LC_ALL=cs_CZ.UTF-8 "$linux" "${args[@]}" "$work/linux/Fotky" > "$work/linux.out" 2>/dev/null ||
    linux_status=$?
  windows_status=0
  "$repo/scripts/wine-run" "$windows" "${args[@]}" "Z:$work/windows/Fotky" \
    > "$work/windows.out" 2>/dev/null || windows_status=$?
  sed "s|$work/linux/Fotky|ROOT|g" "$work/linux.out" | sort > "$work/linux.rows"
  # Windows paths keep their backslashes: one "\" is one separator.
  sed "s|Z:$work/windows/Fotky|ROOT|g; s|\\\\|/|g" "$work/windows.out" | sort > "$work/windows.rows"
  (cd "$work/linux" && find . | sort) > "$work/linux.tree"
  (cd "$work/windows" && find . | sort) > "$work/windows.tree"
  if ! diff -u "$work/linux.rows" "$work/windows.rows" || \
     ! diff -u "$work/linux.tree" "$work/windows.tree" || \
     [ "$linux_status" != "$windows_status" ]; then
    echo "tovana-cli.exe differs from tovana-cli with $flags (status $windows_status, $linux_status)"
    exit 1
  fi
  echo "same rows, tree and status ($linux_status, $(wc -l < "$work/linux.rows") lines) with: $flags"
done

# Help and usage errors: the same text with the same "\n" line ends.
for flags in "--help" "--bogus"; do
  # Each platform names its own files and says how it writes control characters.
  own=(-e '/^\(Files\|Soubory\):$/,/^$/d' -e '/^\(In rows\|V řádcích\)/,/\.$/d')
  # In Czech on both: the catalogue built into tovana-cli.exe says what gettext finds.
  LC_ALL=cs_CZ.UTF-8 "$linux" $flags 2>&1 | sed "${own[@]}" > "$work/linux.help" || true
  "$repo/scripts/wine-run" "$windows" $flags 2>&1 | sed "${own[@]}" > "$work/windows.help" || true
  if ! cmp -s "$work/linux.help" "$work/windows.help"; then
    diff -u "$work/linux.help" "$work/windows.help" | cat -A | head -20
    echo "tovana-cli.exe $flags differs from tovana-cli"
    exit 1
  fi
  echo "same text with: $flags"
done
