# SPDX-License-Identifier: GPL-3.0-or-later
# bash completion for tarvelo-cli
#
# The options, the --format values and the setting keys below are those of
# tarvelo-cli's --help and of its stored options; tst_cli compares them with
# the program, so a new option or key fails a test until it is listed here.

_tarvelo_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=${COMP_WORDS[COMP_CWORD - 1]}
    local options='--output --options --set --format --quality --jobs --strip-metadata --strip-location
        --keep-tree --name --null --journal --retry --help
        --version'
    local keys='txt_topleft_btn txt_top_btn txt_topright_btn txt_left_btn txt_center_btn
        txt_right_btn txt_botleft_btn txt_bot_btn txt_botright_btn logo_topleft_btn
        logo_top_btn logo_topright_btn logo_left_btn logo_center_btn logo_right_btn
        logo_botleft_btn logo_bot_btn logo_botright_btn scale_spin logo_file_name font
        wtrmark_edit fnt_clr shadow_spin x_spin y_spin top_radio bottom_radio_radio
        light_radio dark_radio txt_x_spin txt_y_spin actual_radio fit_radio resize_check
        aspect_check width_spin height_spin outjpg_radio outpng_radio outtif_radio
        comp_slider watermarkOpacitySpin logoOpacitySpin max_megapixels relative_check
        shrink_check relative_ref strip_location_check outwebp_radio keep_tree_check
        name_pattern'
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
