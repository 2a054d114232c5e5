# bash completion for vellmor-cli
# Plain compgen, so it works with or without the bash-completion package loaded.

_vellmor_cli() {
  local cur=${COMP_WORDS[COMP_CWORD]}
  local prev=
  ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}

  case $prev in
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
      [[ $cur == -* ]] || return
      ;;
  esac

  local command= word
  for word in "${COMP_WORDS[@]:1:COMP_CWORD-1}"; do
    case $word in
      list | drives | watch | digest | select | check | allowed | history)
        command=$word
        break
        ;;
    esac
  done

  local words
  case $command in
    '') words='list drives watch digest select check allowed history --json --wait --sysfs-root -h --help -V --version' ;;
    list) words='--json --sysfs-root' ;;
    drives) words='--json --allowed --sysfs-root --dev-root --mount-table' ;;
    watch) words='--json --csv' ;;
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
  mapfile -t COMPREPLY < <(compgen -W "$words" -- "$cur")
}

complete -F _vellmor_cli vellmor-cli
