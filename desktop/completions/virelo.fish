# fish completion for virelo(1)

set -l virelo_verbs session status doctor start chord key type click double-click drag move mousemove mouseto getmouselocation scroll media hold steer run find get-text click-on focus-on wait-for targets windows search activate getactivewindow getdisplaygeometry record list-keys list-layouts help
# The commands that take the connection options, and those that take the layout options, as the
# command table gives them (a test holds each command's options to it).
set -l connection_verbs status chord key type click double-click drag move mousemove mouseto scroll media hold run click-on focus-on
set -l layout_verbs chord key type run list-keys
set -l control_verbs get-text click-on focus-on wait-for

function __virelo_keys
    for k in (string split ' ' 'a b c d e f g h i j k l m n o p q r s t u v w x y z 0 1 2 3 4 5 6 7 8 9') \
            return escape backspace tab space minus equals left-bracket right-bracket backslash \
            semicolon quote grave comma period slash capslock printscreen scrolllock pause \
            f(seq 24) insert delete home end pageup pagedown up down left right \
            ctrl shift alt option cmd gui super right-ctrl right-shift right-alt right-gui
        echo $k
    end
end

# A chord: the names after the last "+" of the word being completed.
function __virelo_chord
    set -l token (commandline -ct)
    set -l head (string match -r '^.*\+' -- $token)
    for k in (__virelo_keys)
        echo $head$k
    end
end

function __virelo_media_keys
    printf '%s\n' mute volume-up volume-down play-pause next previous
end

# Common AT-SPI roles, with "_" for the space ("push_button" is "push button"); virelo find
# --list-roles prints them all.
function __virelo_roles
    printf '%s\n' push_button toggle_button check_box radio_button combo_box menu_item menu \
        page_tab text password_text entry spin_button slider link label heading list_item \
        table_cell tree_item frame dialog alert document_web
end

# Layouts and "layout(variant)", read from the XKB rules when completing.
function __virelo_layouts
    echo active
    set -l lst /usr/share/X11/xkb/rules/evdev.lst
    test -r $lst; or return 0
    awk '/^!/ { section = $2; next }
         section == "layout" && NF { print $1 "\t" substr($0, index($0, $2)) }
         section == "variant" && NF >= 2 { sub(/:$/, "", $2); print $2 "(" $1 ")\t" substr($0, index($0, $3)) }' $lst
end

# The number of operands after the command, not counting options and their values.
function __virelo_operands
    set -l words (commandline -opc)
    set -l count 0
    set -l skip 0
    set -l seen_verb 0
    for w in $words[2..-1]
        if test $skip -eq 1
            set skip 0
        else if contains -- $w --socket --token-file --layout --backend --service --user --env --host --delay --hold --file --into --repeat --screen --duration --output --role --name --name-contains --name-regex --app --in --nth --button --timeout --text --text-regex --class --pid --input --listen --profile --config --virtual-pad
            set skip 1
        else if string match -q -- '--*' $w; or contains -- $w -h -v
        else if test $seen_verb -eq 0
            set seen_verb 1
        else
            set count (math $count + 1)
        end
    end
    echo $count
end

complete -c virelo -f

complete -c virelo -n "not __fish_seen_subcommand_from $virelo_verbs" -a session -d 'Run the service for this user and keep it running'
complete -c virelo -n "not __fish_seen_subcommand_from $virelo_verbs" -a status -d 'Show the running session'
complete -c virelo -n "not __fish_seen_subcommand_from $virelo_verbs" -a doctor -d 'Check what the backends need'
complete -c virelo -n "not __fish_seen_subcommand_from $virelo_verbs" -a start -d 'Start a private service in the foreground'
complete -c virelo -n "not __fish_seen_subcommand_from $virelo_verbs" -a chord -d 'Press and release key chords'
complete -c virelo -n "not __fish_seen_subcommand_from $virelo_verbs" -a key -d 'Press and release key chords'
complete -c virelo -n "not __fish_seen_subcommand_from $virelo_verbs" -a type -d 'Type a text'
complete -c virelo -n "not __fish_seen_subcommand_from $virelo_verbs" -a click -d 'Click a button'
complete -c virelo -n "not __fish_seen_subcommand_from $virelo_verbs" -a double-click -d 'Click a button twice'
complete -c virelo -n "not __fish_seen_subcommand_from $virelo_verbs" -a drag -d 'Hold a button, move, release'
complete -c virelo -n "not __fish_seen_subcommand_from $virelo_verbs" -a move -d 'Move the pointer'
complete -c virelo -n "not __fish_seen_subcommand_from $virelo_verbs" -a mousemove -d 'Place the pointer on a screen position'
complete -c virelo -n "not __fish_seen_subcommand_from $virelo_verbs" -a mouseto -d 'Place the pointer on a fraction of the screen'
complete -c virelo -n "not __fish_seen_subcommand_from $virelo_verbs" -a getmouselocation -d 'Print where the pointer is'
complete -c virelo -n "not __fish_seen_subcommand_from $virelo_verbs" -a scroll -d 'Turn the wheel'
complete -c virelo -n "not __fish_seen_subcommand_from $virelo_verbs" -a media -d 'Press and release a media key'
complete -c virelo -n "not __fish_seen_subcommand_from $virelo_verbs" -a hold -d 'Hold keys until Ctrl-C'
complete -c virelo -n "not __fish_seen_subcommand_from $virelo_verbs" -a steer -d 'Steer the pointer from a game controller'
complete -c virelo -n "not __fish_seen_subcommand_from $virelo_verbs" -a run -d 'Run a script of input actions'
complete -c virelo -n "not __fish_seen_subcommand_from $virelo_verbs" -a find -d 'List the controls of applications by role and name'
complete -c virelo -n "not __fish_seen_subcommand_from $virelo_verbs" -a get-text -d 'Print the text of a control'
complete -c virelo -n "not __fish_seen_subcommand_from $virelo_verbs" -a click-on -d 'Click a control found by role and name'
complete -c virelo -n "not __fish_seen_subcommand_from $virelo_verbs" -a focus-on -d 'Give a control the keyboard focus'
complete -c virelo -n "not __fish_seen_subcommand_from $virelo_verbs" -a wait-for -d 'Wait until a control appears or is gone'
complete -c virelo -n "not __fish_seen_subcommand_from $virelo_verbs" -a targets -d 'List the snap targets around the pointer'
complete -c virelo -n "not __fish_seen_subcommand_from $virelo_verbs" -a windows -d 'List the top-level windows'
complete -c virelo -n "not __fish_seen_subcommand_from $virelo_verbs" -a search -d 'Print the ids of the windows that match'
complete -c virelo -n "not __fish_seen_subcommand_from $virelo_verbs" -a activate -d 'Raise and focus a window'
complete -c virelo -n "not __fish_seen_subcommand_from $virelo_verbs" -a getactivewindow -d 'Print the id of the active window'
complete -c virelo -n "not __fish_seen_subcommand_from $virelo_verbs" -a getdisplaygeometry -d 'Print the size of the screen'
complete -c virelo -n "not __fish_seen_subcommand_from $virelo_verbs" -a record -d 'Record the input of the X session as a script'
complete -c virelo -n "not __fish_seen_subcommand_from $virelo_verbs" -a list-keys -d 'List the key names of a layout'
complete -c virelo -n "not __fish_seen_subcommand_from $virelo_verbs" -a list-layouts -d 'List the keyboard layouts'
complete -c virelo -n "not __fish_seen_subcommand_from $virelo_verbs" -a help -d 'Show the help of a command'

complete -c virelo -n "not __fish_seen_subcommand_from $virelo_verbs" -l version -d 'Show the version and protocol'
complete -c virelo -s h -l help -d 'Show the help'

complete -c virelo -n "__fish_seen_subcommand_from $connection_verbs" -l socket -r -F -d 'The service socket'
complete -c virelo -n "__fish_seen_subcommand_from $connection_verbs" -l token-file -r -F -d 'File holding the client token'
complete -c virelo -n "__fish_seen_subcommand_from $layout_verbs" -l layout -x -a '(__virelo_layouts)' -d 'Keyboard layout'
complete -c virelo -n "__fish_seen_subcommand_from $layout_verbs" -s v -l verbose -d 'Say which layout was used'

complete -c virelo -n "__fish_seen_subcommand_from session doctor" -l host -x -a '@VIRELO_HOST_WORDS@' -d 'Where the input goes'
complete -c virelo -n "__fish_seen_subcommand_from session doctor" -l backend -x -a 'corehid cgevent auto' -d 'The backend'
complete -c virelo -n "__fish_seen_subcommand_from session start" -l service -r -F -d 'The service binary'
complete -c virelo -n "__fish_seen_subcommand_from status doctor getmouselocation find targets windows search" -l json -d 'Print JSON'
complete -c virelo -n "__fish_seen_subcommand_from start" -l backend -x -a 'corehid cgevent' -d 'The backend'
complete -c virelo -n "__fish_seen_subcommand_from start" -l user -x -a '(__fish_complete_users)' -d 'User to run the service as'
complete -c virelo -n "__fish_seen_subcommand_from start" -l env -x -d 'Extra environment NAME=VALUE'
complete -c virelo -n "__fish_seen_subcommand_from start" -l trace -d 'Record what reaches the simulated host'

complete -c virelo -n "__fish_seen_subcommand_from chord key" -a '(__virelo_chord)'
complete -c virelo -n "__fish_seen_subcommand_from type" -l delay -x -d 'Pause after each keystroke (ms)'
complete -c virelo -n "__fish_seen_subcommand_from type" -l hold -x -d 'How long each key is held (ms)'
complete -c virelo -n "__fish_seen_subcommand_from type" -l file -r -F -d 'Type the text of a file'
complete -c virelo -n "__fish_seen_subcommand_from type" -l into -x -d 'The name of the field to type into'
complete -c virelo -n "__fish_seen_subcommand_from type" -l via-clipboard -d 'Paste a text the layout cannot type'
complete -c virelo -n "__fish_seen_subcommand_from click double-click" -l repeat -x -d 'How many clicks'
complete -c virelo -n "__fish_seen_subcommand_from click double-click" -l delay -x -d 'Pause between clicks (ms)'
complete -c virelo -n "__fish_seen_subcommand_from move" -l snap -d 'Let the service snap onto a nearby control'
complete -c virelo -n "__fish_seen_subcommand_from mousemove mouseto" -l screen -x -d 'Count on RandR monitor N'
complete -c virelo -n "__fish_seen_subcommand_from getmouselocation" -l shell -d 'Print shell assignments'
complete -c virelo -n "__fish_seen_subcommand_from record" -l duration -x -d 'Stop after so many seconds'
complete -c virelo -n "__fish_seen_subcommand_from record" -l output -r -F -d 'The script file'
complete -c virelo -n "__fish_seen_subcommand_from record" -l include-own -d 'Keep the input the service posts itself'

# The controls by name.
complete -c virelo -n "__fish_seen_subcommand_from find $control_verbs" -l name -x -d 'The whole name'
complete -c virelo -n "__fish_seen_subcommand_from search" -l name -x -d 'RE2 expression matching the whole title'
complete -c virelo -n "__fish_seen_subcommand_from search" -l class -x -d 'RE2 expression matching the whole class or instance'
complete -c virelo -n "__fish_seen_subcommand_from search" -l pid -x -d 'The process id'
complete -c virelo -n "__fish_seen_subcommand_from find $control_verbs" -l name-contains -x -d 'A part of the name'
complete -c virelo -n "__fish_seen_subcommand_from find $control_verbs" -l name-regex -x -d 'RE2 expression matching the whole name'
complete -c virelo -n "__fish_seen_subcommand_from find type $control_verbs" -l role -x -a '(__virelo_roles)' -d 'AT-SPI role of the control'
complete -c virelo -n "__fish_seen_subcommand_from find type $control_verbs" -l app -x -a '(__fish_complete_proc)' -d 'Application or program name'
complete -c virelo -n "__fish_seen_subcommand_from find type $control_verbs" -l in -x -d 'The whole name of an enclosing container'
complete -c virelo -n "__fish_seen_subcommand_from find type click-on focus-on wait-for" -l all -d 'Also hidden and covered controls'
complete -c virelo -n "__fish_seen_subcommand_from find" -l list-roles -d 'Print every role name'
complete -c virelo -n "__fish_seen_subcommand_from click-on" -l button -x -a '1 2 3 left middle right' -d 'The button'
complete -c virelo -n "__fish_seen_subcommand_from click-on" -l double -d 'Click twice'
complete -c virelo -n "__fish_seen_subcommand_from click-on" -l action -d 'Press it with its own action (NAME or its first)'
complete -c virelo -n "__fish_seen_subcommand_from type get-text click-on focus-on" -l first -d 'Take the first match in reading order'
complete -c virelo -n "__fish_seen_subcommand_from type get-text click-on focus-on" -l nth -x -d 'Take the Nth match in reading order'
complete -c virelo -n "__fish_seen_subcommand_from wait-for" -l text -x -d 'Until it shows this whole text'
complete -c virelo -n "__fish_seen_subcommand_from wait-for" -l text-regex -x -d 'Until its whole text matches an RE2 expression'
complete -c virelo -n "__fish_seen_subcommand_from wait-for" -l gone -d 'Wait until no control matches'
complete -c virelo -n "__fish_seen_subcommand_from wait-for" -l timeout -x -d 'How long to wait (s)'
complete -c virelo -n "__fish_seen_subcommand_from run" -l check -d 'Only check the script'
complete -c virelo -n "__fish_seen_subcommand_from steer" -l input -x -a 'pad udp stdin' -d 'What steers'
complete -c virelo -n "__fish_seen_subcommand_from steer" -l listen -x -d 'The address of --input udp'
complete -c virelo -n "__fish_seen_subcommand_from steer" -l profile -x -d 'The steering profile'
complete -c virelo -n "__fish_seen_subcommand_from steer" -l no-snap -d 'Never snap onto controls'
complete -c virelo -n "__fish_seen_subcommand_from steer" -l show -d 'Print the live state'
complete -c virelo -n "__fish_seen_subcommand_from steer" -l config -r -F -d 'The configuration file'
complete -c virelo -n "__fish_seen_subcommand_from steer" -l virtual-pad -r -F -d 'Drive a virtual controller from a file'
complete -c virelo -n "__fish_seen_subcommand_from steer" -l check -d 'Only check the steering profiles'
complete -c virelo -n "__fish_seen_subcommand_from run" -F
complete -c virelo -n "__fish_seen_subcommand_from help; and test (__virelo_operands) -eq 0" -a "$virelo_verbs"
complete -c virelo -n "__fish_seen_subcommand_from hold" -a '(__virelo_chord; __virelo_media_keys; printf "%s\n" left-button right-button middle-button)'
complete -c virelo -n "__fish_seen_subcommand_from media; and test (__virelo_operands) -eq 0" -a '(__virelo_media_keys)'
complete -c virelo -n "__fish_seen_subcommand_from click double-click; and test (__virelo_operands) -eq 0" -a 'left right middle'
complete -c virelo -n "__fish_seen_subcommand_from drag; and test (__virelo_operands) -eq 2" -a 'left right middle'
