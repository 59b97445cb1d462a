# bash completion for morrowdeck-cli: subcommands, their options, and folders or files where
# an option takes one.
_morrowdeck_cli() {
    local cur prev words cword
    _init_completion || return

    local commands="crates backup inspect restore apply tags libraries verify undo"
    local global="-q --quiet -v --verbose --help"

    # The subcommand is the first word that names one.
    local command="" word
    for word in "${words[@]:1:cword-1}"; do
        case " $commands " in
            *" $word "*) command=$word; break ;;
        esac
    done

    case $prev in
        --library | --to | --from | --audio-to | --serato | --against)
            _filedir -d
            return ;;
        --database)
            _filedir sqlite
            return ;;
        --existing)
            COMPREPLY=($(compgen -W "keep replace if-newer keep-both" -- "$cur"))
            return ;;
        --crate | --threads | --keep-replaced | --run | --map-volume)
            return ;;
    esac

    local options
    case $command in
        "")
            COMPREPLY=($(compgen -W "$commands $global --help-all --version" -- "$cur"))
            return ;;
        crates) options="--library --all --json" ;;
        backup)
            options="--to --library --all --crate --not-in-crate --dedup --smart-as-folders --no-verify
                     --threads --keep-replaced --dry-run --allow-partial --json" ;;
        inspect) options="--json" ;;
        restore)
            options="--from --layout --map --audio-to --serato --existing --keep-existing --crate --no-rebuild
                     --threads --dry-run --json --serato-database --database --map-volume" ;;
        apply) options="--serato --database --json" ;;
        tags) options="--json" ;;
        libraries) options="--json" ;;
        verify) options="--against --json" ;;
        undo) options="--serato --list --run --force --json" ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options $global" -- "$cur"))
    elif [[ $command == inspect || $command == tags ]]; then
        _filedir
    elif [[ $command == verify ]]; then
        _filedir -d
    fi
}
complete -F _morrowdeck_cli morrowdeck-cli
