# Bash completion of qxpack: commands, their options, files and folders.
_qxpack() {
    local cur prev command options
    COMPREPLY=()
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD - 1]}
    command=${COMP_WORDS[1]}
    if [ "$COMP_CWORD" -eq 1 ]; then
        COMPREPLY=($(compgen -W "build list verify extract implode explode help --help --version" -- "$cur"))
        return
    fi
    case $prev in
    --mode | -m) COMPREPLY=($(compgen -W "binary ascii" -- "$cur")); return ;;
    --dict | -d) COMPREPLY=($(compgen -W "1024 2048 4096" -- "$cur")); return ;;
    --time-zone) COMPREPLY=($(compgen -W "local utc" -- "$cur")); return ;;
    --jobs | -j | --key | -k) return ;;
    --out | -o | --stub | -s) COMPREPLY=($(compgen -f -- "$cur")); return ;;
    esac
    case $command in
    build) options="--out --stub --bare --allow-missing --key --mode --dict --jobs --best --time-zone --quiet --help" ;;
    list) options="--key --json --help" ;;
    verify) options="--key --quiet --help" ;;
    extract) options="--key --quiet --help" ;;
    implode) options="--ascii --dict --help" ;;
    explode) options="--help" ;;
    help) COMPREPLY=($(compgen -W "build list verify extract implode explode" -- "$cur")); return ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
    elif [ "$command" = build ]; then
        COMPREPLY=($(compgen -d -- "$cur"))
    else
        COMPREPLY=($(compgen -f -- "$cur"))
    fi
}
complete -o filenames -F _qxpack qxpack
