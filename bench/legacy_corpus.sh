#!/usr/bin/env bash
# Measures the choice of legacy code page and the mojibake repair on the Debian hunspell word
# lists (Czech, Slovak, Polish, Hungarian, German, French; scripts/setup installs them).
#
#   bench/legacy_corpus.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/dev}
cmake --build "$build" --target tovana_legacy_corpus >/dev/null
"$build/bench/tovana_legacy_corpus" /usr/share/hunspell
