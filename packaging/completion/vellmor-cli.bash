# bash completion for vellmor-cli
# Plain compgen, so it works with or without the bash-completion package loaded.

_vellmor_cli() {
  local cur=${COMP_WORDS[COMP_CWORD]}
  local prev=
  ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}

  # bash splits "--opt=value" at "=": the option is then the word before the "=".
  local option=$prev
  if [[ $cur == = ]]; then
    cur=
  elif [[ $prev == = ]] && ((COMP_CWORD > 1)); then
    option=${COMP_WORDS[COMP_CWORD - 2]}
  elif [[ $cur == --*=* ]]; then
    option=${cur%%=*}
    cur=${cur#*=}
  fi

  case $option in
    --sysfs-root | --dev-root)
      mapfile -t COMPREPLY < <(compgen -d -- "$cur")
      return
      ;;
    --mount-table | --allowed)
      mapfile -t COMPREPLY < <(compgen -f -- "$cur")
      return
      ;;
    --length)
      mapfile -t COMPREPLY < <(compgen -W '32 16' -- "$cur")
      return
      ;;
    --since)
      return
      ;;
    --wait)
      # Seconds are typed, not offered; an option may follow.
      [[ $cur == -* ]] || return
      ;;
  esac

  # The command, and the options given so far (values and "=" passed over).
  local command= word given=' ' i
  for ((i = 1; i < COMP_CWORD; i++)); do
    word=${COMP_WORDS[i]}
    case $word in
      =) ((i++)) ;;
      --sysfs-root | --dev-root | --mount-table | --length | --allowed | --since)
        given+="$word "
        [[ ${COMP_WORDS[i + 1]} == = ]] || ((i++))
        ;;
      --*=*) given+="${word%%=*} " ;;
      -*) given+="$word " ;;
      list | drives | watch | digest | select | check | allowed | history)
        [[ -z $command ]] && command=$word
        ;;
    esac
  done

  local words
  case $command in
    '')
      # Only the commands every option given so far applies to.
      words='--json --wait --sysfs-root -h --help -V --version'
      local commands='list drives watch digest select check allowed history'
      [[ $given == *' --json '* ]] && commands=${commands//digest/} commands=${commands//select/} &&
        commands=${commands//allowed/}
      [[ $given == *' --wait '* ]] && commands='check'
      [[ $given == *' --sysfs-root '* ]] && commands=${commands//watch/} &&
        commands=${commands//digest/} commands=${commands//select/} &&
        commands=${commands//allowed/} commands=${commands//history/}
      [[ $given == *' --csv '* ]] && commands='watch history'
      [[ $given == *' --log '* ]] && commands=watch
      words+=" $commands"
      ;;
    list) words='--json --sysfs-root' ;;
    drives) words='--json --allowed --sysfs-root --dev-root --mount-table' ;;
    watch) words='--json --csv --log --allowed' ;;
    digest) words='--length -- -' ;;
    select) words='' ;;
    check) words='--json --wait --allowed --sysfs-root' ;;
    history) words='--json --csv --since --allowed' ;;
    allowed)
      # The enforcer, then the list's file.
      if [[ $prev == allowed ]]; then
        words='usbguard windows'
      else
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
        return
      fi
      ;;
  esac

  # Nothing already given, nor what cannot go with it.
  local offer= candidate
  for candidate in $words; do
    [[ $given == *" $candidate "* ]] && continue
    case $candidate in
      --json) [[ $given == *' --csv '* || $given == *' --log '* ]] && continue ;;
      --csv) [[ $given == *' --json '* || $given == *' --log '* ]] && continue ;;
      --log) [[ $given == *' --json '* || $given == *' --csv '* ]] && continue ;;
      --wait) [[ $given == *' --sysfs-root '* ]] && continue ;;
      --sysfs-root) [[ $given == *' --wait '* ]] && continue ;;
      -V | --version) [[ $given == ' ' && -z $command ]] || continue ;;
    esac
    offer+="$candidate "
  done
  mapfile -t COMPREPLY < <(compgen -W "$offer" -- "$cur")
}

complete -F _vellmor_cli vellmor-cli
