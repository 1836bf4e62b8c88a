# bash completion for virelo(1)

_virelo_keys() {
    printf '%s\n' {a..z} {0..9} return escape backspace tab space minus equals left-bracket \
        right-bracket backslash semicolon quote grave comma period slash capslock printscreen \
        scrolllock pause f{1..24} insert delete home end pageup pagedown up down left right \
        ctrl shift alt option cmd gui super right-ctrl right-shift right-alt right-gui
}

_virelo_media_keys() {
    printf '%s\n' mute volume-up volume-down play-pause next previous
}

# Common AT-SPI roles, with "_" for the space ("push_button" is "push button"); virelo find
# --list-roles prints them all.
_virelo_roles() {
    printf '%s\n' push_button toggle_button check_box radio_button combo_box menu_item menu \
        page_tab text password_text entry spin_button slider link label heading list_item \
        table_cell tree_item frame dialog alert document_web
}

# Layouts, and "layout(variant)" once the word has a parenthesis, read from the XKB rules.
_virelo_layouts() {
    local lst=/usr/share/X11/xkb/rules/evdev.lst
    echo active
    [ -r "$lst" ] || return 0
    if [[ $1 == *'('* ]]; then
        awk '/^!/ { section = $2; next }
             section == "variant" && NF >= 2 { sub(/:$/, "", $2); print $2 "(" $1 ")" }' "$lst"
    else
        awk '/^!/ { section = $2; next } section == "layout" && NF { print $1 }' "$lst"
    fi
}

# A chord: complete the name after the last "+".
_virelo_chord() {
    local cur=$1 head=
    [[ $cur == *+* ]] && head=${cur%+*}+
    compgen -P "$head" -W "$(_virelo_keys)" -- "${cur##*+}"
}

_virelo() {
    local cur prev words cword
    if declare -F _init_completion >/dev/null; then
        _init_completion || return
    else
        cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
        words=("${COMP_WORDS[@]}") cword=$COMP_CWORD
    fi

    local verbs="session status doctor start chord key type click double-click drag move mousemove
                 mouseto getmouselocation scroll media hold steer run find get-text click-on focus-on
                 wait-for targets windows search activate getactivewindow getdisplaygeometry record
                 list-keys list-layouts help"
    local buttons="left right middle"

    # The command and the operands before the word being completed; options may come anywhere.
    local verb= i operands=0
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            --socket | --token-file | --layout | --backend | --service | --user | --env | --host | \
                --delay | --hold | --file | --into | --repeat | --screen | --duration | --output | \
                --role | --name | --name-contains | --name-regex | --app | --in | --nth | --button | \
                --timeout | --text | --text-regex | --class | --pid | --input | --listen | --profile | \
                --config | --virtual-pad)
                ((i++)) ;;
            --* | -h | -v) ;;
            *) if [ -z "$verb" ]; then verb=${words[i]}; else ((operands++)); fi ;;
        esac
    done

    case $prev in
        --socket | --token-file | --service | --file | --output | --config | --virtual-pad)
            COMPREPLY=($(compgen -f -- "$cur"))
            return ;;
        --layout)
            local IFS=$'\n'
            COMPREPLY=($(compgen -W "$(_virelo_layouts "$cur")" -- "$cur"))
            COMPREPLY=("${COMPREPLY[@]//(/\\(}") && COMPREPLY=("${COMPREPLY[@]//)/\\)}")
            return ;;
        --host)
            COMPREPLY=($(compgen -W "@VIRELO_HOST_WORDS@" -- "$cur"))
            return ;;
        --backend)
            local backends="corehid cgevent auto"
            [ "$verb" = start ] && backends="corehid cgevent"
            COMPREPLY=($(compgen -W "$backends" -- "$cur"))
            return ;;
        --user)
            COMPREPLY=($(compgen -u -- "$cur"))
            return ;;
        --role)
            COMPREPLY=($(compgen -W "$(_virelo_roles)" -- "$cur"))
            return ;;
        --button)
            COMPREPLY=($(compgen -W "1 2 3 $buttons" -- "$cur"))
            return ;;
        --app)
            COMPREPLY=($(compgen -W "$(ps -u "$(id -u)" -o comm= 2>/dev/null | sort -u)" -- "$cur"))
            return ;;
        --input)
            COMPREPLY=($(compgen -W "pad udp stdin" -- "$cur"))
            return ;;
        --env | --delay | --hold | --name | --name-contains | --name-regex | --timeout | --into | \
            --repeat | --screen | --duration | --listen | --profile | --in | --nth | --text | \
            --text-regex | --class | --pid)
            return ;;
    esac

    if [[ $cur == -* ]]; then
        # The options of each command, as the command table gives them (a test holds them to it).
        local connection="--socket --token-file" layout="--layout -v --verbose"
        local control="--name --name-contains --name-regex --role --app --in --all"
        local options
        case $verb in
            session) options="--host --backend --service" ;;
            status) options="--json $connection" ;;
            doctor) options="--json --host --backend" ;;
            start) options="--backend --service --user --env --trace" ;;
            chord | key) options="$connection $layout" ;;
            type) options="--delay --hold --file --into --role --app --in --all --first --nth --via-clipboard $connection $layout" ;;
            click | double-click) options="--repeat --delay $connection" ;;
            drag | scroll | media | hold) options="$connection" ;;
            move) options="--snap $connection" ;;
            mousemove | mouseto) options="--screen $connection" ;;
            getmouselocation) options="--json --shell" ;;
            steer) options="--input --listen --profile --no-snap --show --config --virtual-pad --check" ;;
            run) options="--check $connection $layout" ;;
            find) options="$control --json --list-roles" ;;
            get-text) options="--role --name --name-contains --name-regex --app --in --first --nth" ;;
            click-on) options="$control --button --double --action --first --nth $connection" ;;
            focus-on) options="$control --first --nth $connection" ;;
            wait-for) options="$control --text --text-regex --gone --timeout" ;;
            targets | windows) options="--json" ;;
            search) options="--name --class --pid --json" ;;
            activate | getactivewindow | getdisplaygeometry) options="" ;;
            record) options="--duration --output --include-own" ;;
            list-keys) options="$layout" ;;
            list-layouts | help) options="" ;;
            '') options="--version" ;;
        esac
        COMPREPLY=($(compgen -W "$options --help" -- "$cur"))
        return
    fi

    case $verb in
        '') COMPREPLY=($(compgen -W "$verbs" -- "$cur")) ;;
        chord | key) COMPREPLY=($(_virelo_chord "$cur")) ;;
        hold)
            COMPREPLY=($(_virelo_chord "$cur")
                       $(compgen -W "$(_virelo_media_keys) left-button right-button middle-button" \
                                 -- "$cur")) ;;
        media) ((operands == 0)) && COMPREPLY=($(compgen -W "$(_virelo_media_keys)" -- "$cur")) ;;
        click | double-click)
            ((operands == 0)) && COMPREPLY=($(compgen -W "$buttons" -- "$cur")) ;;
        drag) ((operands == 2)) && COMPREPLY=($(compgen -W "$buttons" -- "$cur")) ;;
        run) ((operands == 0)) && COMPREPLY=($(compgen -f -- "$cur")) ;;
        help) ((operands == 0)) && COMPREPLY=($(compgen -W "$verbs" -- "$cur")) ;;
    esac
}

complete -F _virelo virelo
