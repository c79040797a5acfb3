# bash completion for sorvane-cli: its commands, its options and each command's own,
# the values some options take, and files where a command or an option takes one.
# (Device paths are not completed: that would need a connection.)

_sorvane_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=""
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
    local commands="info capture ls get put rm mv run status ps kill activate paste reset suspend clip type
        record play scenario test"
    local global="--host --port --serial --lan --bcast --bport --pick --proxy --listen --devices --password
        --refresh --timeout --ssh --ssh-key --ssh-known-hosts --ssh-accept-new --ssh-timeout --help --version"
    local global_valued=" --host --port --serial --bcast --bport --pick --proxy --listen --devices --password
        --refresh --timeout --ssh --ssh-key --ssh-known-hosts --ssh-timeout "
    COMPREPLY=()

    # The command (the first word that is no option, nor an option's value) and how many
    # of its arguments stand before the word being completed.
    local command="" args=0 i word
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if [[ $global_valued == *" $word "* ]]; then
            ((i++))
        elif [[ $word == -* ]]; then
            case $command:$word in
            capture:--polls | capture:--display | capture:--tap | capture:--drag | capture:--type | capture:--key | \
                record:--polls | record:--mjpeg | record:--part-size | play:--log | scenario:--script-dir | \
                test:--junit | test:--artifacts) ((i++)) ;;
            esac
        elif [[ -z $command ]]; then
            command=$word
        else
            ((args++))
        fi
    done

    case $prev in
    --serial)
        COMPREPLY=($(compgen -f -- "${cur:-/dev/tty}"))
        return
        ;;
    --devices | --log | --junit | --ssh-key | --ssh-known-hosts)
        COMPREPLY=($(compgen -f -- "$cur"))
        return
        ;;
    --artifacts | --script-dir)
        COMPREPLY=($(compgen -d -- "$cur"))
        return
        ;;
    --display)
        [[ $command == capture ]] && COMPREPLY=($(compgen -W "main second" -- "$cur"))
        return
        ;;
    esac
    if [[ $global_valued == *" $prev "* ]]; then
        return # a host, a number, a password: nothing to offer
    fi
    case $command:$prev in
    capture:--polls | capture:--tap | capture:--drag | capture:--type | capture:--key | record:--polls | \
        record:--mjpeg | record:--part-size)
        return
        ;;
    esac

    if [[ $cur == -* ]]; then
        local own=""
        case $command in
        capture) own="--polls --display --low-color --tap --drag --type --key" ;;
        type) own="--via-clipboard" ;;
        record) own="--polls --mjpeg --part-size" ;;
        play) own="--log" ;;
        scenario) own="--script-dir" ;;
        test) own="--junit --artifacts" ;;
        esac
        COMPREPLY=($(compgen -W "$own $global" -- "$cur"))
        return
    fi
    if [[ -z $command ]]; then
        COMPREPLY=($(compgen -W "$commands" -- "$cur"))
        return
    fi
    # Arguments that are PC files: capture's and record's OUT, get's LOCALPATH, put's
    # LOCALPATHs (the last argument is a device folder), play's and test's scripts.
    case $command in
    capture | record) ((args == 0)) && COMPREPLY=($(compgen -f -- "$cur")) ;;
    get) ((args == 1)) && COMPREPLY=($(compgen -f -- "$cur")) ;;
    put | play | test) COMPREPLY=($(compgen -f -- "$cur")) ;;
    esac
}
complete -o filenames -F _sorvane_cli sorvane-cli
