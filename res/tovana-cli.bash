# bash completion for tovana-cli: its options, read from its own --help so that they stay
# right whatever options a version has, and folders for FOLDER.
_tovana_cli() {
    local cur prev words cword
    _init_completion || return
    case $prev in
        -m | --mask)
            return
            ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '$(_parse_help "$1")' -- "$cur"))
        return
    fi
    _filedir -d
} &&
    complete -F _tovana_cli tovana-cli
