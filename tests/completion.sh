#!/usr/bin/env bash
# The bash completion of tovana-cli as a user meets it: what the Tab key offers after
# --legacy, after --jobs, after --undo, for an option and for FOLDER.
# Usage: completion.sh COMPLETION-SCRIPT TOVANA-CLI
set -u
if [[ ! -f /usr/share/bash-completion/bash_completion ]]; then
    echo "bash-completion is not installed"
    exit 77
fi
# shellcheck disable=SC1091
source /usr/share/bash-completion/bash_completion
# shellcheck disable=SC1090
source "$1"
PATH="$(cd "$(dirname "$2")" && pwd):$PATH"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export XDG_STATE_HOME=$scratch/state HOME=$scratch/home
journals=$XDG_STATE_HOME/Korvel/Tovana/journal
mkdir -p "$journals" "$scratch/work/Fotky" "$scratch/work/Dokumenty"
touch "$journals/2026-12-10_14-09-26.073808.journal" "$journals/2026-12-11_08-00-00.000000.journal"
cd "$scratch/work" || exit 1

failed=0
# complete WORD... : what Tab offers for the last word of the line.
offers() {
    COMP_WORDS=(tovana-cli "$@")
    COMP_CWORD=$(($# ))
    COMP_LINE="tovana-cli $*"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    _tovana_cli tovana-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    if ((${#COMPREPLY[@]} > 0)); then
        printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' '
    fi
}
expect() {
    local name=$1 got=$2 wanted=$3
    if [[ $got != "$wanted" ]]; then
        echo "FAIL $name: offered '$got', wanted '$wanted'"
        failed=1
    else
        echo "ok   $name"
    fi
}

expect "code pages for --legacy" "$(offers --legacy '')" "auto cp1250 cp852 iso-8859-2 none "
expect "a code page begun" "$(offers --legacy cp)" "cp1250 cp852 "
expect "worker counts for -j, not folders" "$(offers -j '')" "1 16 4 8 auto "
expect "--jobs from --help" "$(offers --jo)" "--jobs "
expect "journals for --undo, not folders" "$(offers --undo '')" \
    "$journals/2026-12-10_14-09-26.073808.journal $journals/2026-12-11_08-00-00.000000.journal "
expect "no folder after --history" "$(offers --history '')" ""
expect "folders for FOLDER" "$(offers -s '')" "Dokumenty Fotky "
expect "options from --help" "$(offers --rep)" "--replace-space --replace-underscore "
exit $failed
