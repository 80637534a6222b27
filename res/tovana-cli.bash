# bash completion for tovana-cli: its options, read from its own --help so that they stay
# right whatever options a version has; the code pages for --legacy, worker counts for --jobs,
# the journals for --undo and files and folders for PATH.
_tovana_cli_journals() {
    local state=${XDG_STATE_HOME-}
    [[ $state == /* ]] || state=$HOME/.local/state
    local journal
    for journal in "$state"/Korvel/Tovana/journal/*.journal; do
        [[ -f $journal && $journal == "$cur"* ]] && COMPREPLY+=("$journal")
    done
}

_tovana_cli() {
    local cur prev words cword
    _init_completion || return
    case $prev in
        -m | --mask)
            return
            ;;
        --legacy)
            COMPREPLY=($(compgen -W 'auto cp1250 iso-8859-2 cp852 none' -- "$cur"))
            return
            ;;
        -j | --jobs)
            COMPREPLY=($(compgen -W 'auto 1 4 8 16' -- "$cur"))
            return
            ;;
        --undo)
            if [[ $cur != -* ]]; then
                _tovana_cli_journals
                return
            fi
            ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '$(_parse_help "$1")' -- "$cur"))
        return
    fi
    local word
    for word in "${words[@]}"; do
        # --undo and --history take no PATH.
        [[ $word == --undo || $word == --history ]] && return
    done
    _filedir -d
} &&
    complete -F _tovana_cli tovana-cli
