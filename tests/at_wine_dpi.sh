#!/usr/bin/env bash
# Runs a Windows test program with the Wine prefix's screen set to another resolution (pixels
# per inch), and puts 96 back afterwards.
#   at_wine_dpi.sh DPI PROGRAM [ARGUMENTS...]
set -euo pipefail
dpi=$1
shift
run="$(dirname "$0")/../scripts/wine-run"
resolution() {
  "$run" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
}
trap 'resolution 96' EXIT
resolution "$dpi"
"$run" "$@"
