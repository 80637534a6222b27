#!/usr/bin/env bash
# The pictures in res/ are the ones res/draw_pictures.py draws: each drawn afresh and compared.
set -euo pipefail
res=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp "$res/draw_pictures.py" "$scratch"
(cd "$scratch" && python3 draw_pictures.py)
count=0
while IFS= read -r drawn; do
  name=${drawn#"$scratch"/}
  cmp "$drawn" "$res/$name"
  count=$((count + 1))
done < <(find "$scratch" -name '*.png' -o -name '*.bmp' -o -name '*.ico')
[ "$count" -eq 16 ] || { echo "drew $count pictures, expected 16"; exit 1; }
echo "$count pictures match"
