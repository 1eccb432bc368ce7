# bash completion for gc6890 and gc6890-sim: commands, options, method files and serial
# devices. Installed once under each program's name, as bash-completion looks them up.

_gc6890_devices()
{
    local devices=(sim) d
    for d in /dev/serial/by-id/* /dev/ttyS* /dev/ttyUSB* /dev/ttyACM*; do
        [ -e "$d" ] && devices+=("$d")
    done
    COMPREPLY=($(compgen -W "${devices[*]}" -- "$1"))
}

# Method files here (*.toml, and folders to descend into) and method names in the methods
# folder of the home.
_gc6890_methods()
{
    local home=${GC6890_HOME:-${XDG_DATA_HOME:-$HOME/.local/share}/gc6890} f names=()
    for f in "$home"/methods/*.toml; do
        [ -e "$f" ] && names+=("$(basename "$f" .toml)")
    done
    COMPREPLY=($(compgen -f -X '!*.toml' -- "$1") $(compgen -d -S / -- "$1")
               $(compgen -W "${names[*]}" -- "$1"))
    compopt -o filenames -o nospace 2>/dev/null || true
}

_gc6890()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local globals="--port --home --trace --capture --service --token-file --ca --yes --no --help"
    local commands="status load run stop reset zones gc-on record method config ports log demo
                    serve watch sequence doctor profile lab"
    case $prev in
    --port) _gc6890_devices "$cur"; return ;;
    --home) COMPREPLY=($(compgen -d -- "$cur")); return ;;
    --out | --token-file | --ca | --tls-cert | --tls-key | --capture | --bundle) COMPREPLY=($(compgen -f -- "$cur")); return ;;
    --vial | --volume | --service | --listen | --name | --allow-host) return ;;
    esac

    # The command and its subcommand: the first words that are neither options nor the
    # value of --port or --home.
    local i word command="" sub=""
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        case $word in
        --port | --home | --out | --capture | --bundle | --vial | --volume | --service | --token-file | --ca | --listen | --name | --allow-host | --tls-cert | --tls-key)
            ((i++)) ;;
        -*) ;;
        *) if [ -z "$command" ]; then command=$word; elif [ -z "$sub" ]; then sub=$word; fi ;;
        esac
    done

    local options="" words=""
    case $command in
    "") options="$globals --version"; words=$commands ;;
    status) options="--watch --json" ;;
    run) options="--vial --volume --load --no-wait" ;;
    record) options="--volume --out" ;;
    log) options="--follow" ;;
    serve) options="--listen --allow-host --name --mqtt --mqtt-commands --public-url --sila --sila-cert --sila-key --sila-insecure --tls-cert --tls-key --show-token" ;;
    watch) options="--log" ;;
    zones) [ -z "$sub" ] && words="on off" ;;
    method) [ -z "$sub" ] && words="check show length new" ;;
    config) [ -z "$sub" ] && words="show set path" ;;
    profile) [ -z "$sub" ] && words="capture" ;;
    lab) if [ -z "$sub" ]; then words="status serve"; elif [ "$sub" = status ]; then options="--mqtt --json"; else options="--mqtt --listen --allow-host --open-reads --not-ready-after --tls-cert --tls-key"; fi ;;
    sequence) if [ -z "$sub" ]; then words="check run status pause resume abort"; elif [ "$sub" = run ] || [ "$sub" = resume ]; then options="--skip-row"; fi ;;
    esac
    if [[ $cur == -* ]]; then
        [ -n "$command" ] && options="$options $globals"
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
    elif [ -n "$words" ]; then
        COMPREPLY=($(compgen -W "$words" -- "$cur"))
    elif [[ $command == @(load|run|record) && -z $sub ]] ||
        [[ $command == method && -n $sub ]]; then
        _gc6890_methods "$cur"
    elif [[ $command == sequence && $sub == check ]]; then
        COMPREPLY=($(compgen -f -X '!*.toml' -- "$cur") $(compgen -d -S / -- "$cur"))
        compopt -o filenames -o nospace 2>/dev/null || true
    fi
}

_gc6890_sim()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    case $prev in
    --link) COMPREPLY=($(compgen -f -- "$cur")); return ;;
    --injection) COMPREPLY=($(compgen -W "immediate late" -- "$cur")); return ;;
    --busy-port) COMPREPLY=($(compgen -W "no once always" -- "$cur")); return ;;
    esac
    COMPREPLY=($(compgen -W "--help --link --trace --speed --baud --no-reply --garble --truncate
        --wrong-head --unsolicited --unsolicited-line --unsolicited-count --late --late-ms
        --endless --identity --firmware --silent-echo --busy-port --check-code --install-code
        --injection --lost-injection --hang-up-after --hang-up-delay --reconnect-after
        --hang-ups --missing-vial --tray --no-back-inlet --no-front-tower --no-back-tower
        --auto-prep-run --start-cold --shutdown-bits --not-ready-bits --non-fatal --blank-run
        --sequence" -- "$cur"))
}

complete -F _gc6890 gc6890
complete -F _gc6890_sim gc6890-sim
