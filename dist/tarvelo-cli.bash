# SPDX-License-Identifier: GPL-3.0-or-later
# bash completion for tarvelo-cli
#
# The options and the --format values below are those of tarvelo-cli's
# --help; tst_cli compares them with the program, so a new option fails a
# test until it is listed here. The setting keys come from the program
# itself (--list-settings), less the ones only the window sets.

_tarvelo_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=${COMP_WORDS[COMP_CWORD - 1]}
    local options='--output --options --set --format --quality --jobs --strip-metadata --strip-location
        --keep-tree --name --null --journal --retry --list-settings --help
        --version'
    COMPREPLY=()

    # "--set key=value": bash splits at "=", so the value's word comes after
    # a word of its own holding "=".
    if [[ $prev == = && COMP_CWORD -ge 3 && ${COMP_WORDS[COMP_CWORD - 3]} == --set ]]; then
        [[ ${COMP_WORDS[COMP_CWORD - 2]} == logo_file_name ]] && compopt -o default
        return
    fi
    if [[ $cur == = && ${COMP_WORDS[COMP_CWORD - 2]} == --set ]]; then
        [[ $prev == logo_file_name ]] && compopt -o default
        return
    fi

    case $prev in
    -o | --output)
        compopt -o dirnames
        return
        ;;
    --options | --journal)
        compopt -o default
        return
        ;;
    --set)
        compopt -o nospace
        local keys
        keys=$("${COMP_WORDS[0]}" --list-settings 2>/dev/null | awk -F '\t' '$2 != "layout" { print $1 }')
        COMPREPLY=($(compgen -W "$keys" -S = -- "$cur"))
        return
        ;;
    --format)
        COMPREPLY=($(compgen -W 'jpg png tif webp' -- "$cur"))
        return
        ;;
    --quality | --jobs | --name)
        return
        ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi
    # Pictures and folders.
    compopt -o default
}

complete -F _tarvelo_cli tarvelo-cli
