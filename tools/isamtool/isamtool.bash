# bash completion for isamtool: its commands, each command's options and their values, and file
# names for tables and files. Installed as ~/.local/share/bash-completion/completions/isamtool
# (or sourced from ~/.bashrc).

_isamtool() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
  local commands="create import export info count delete verify repair"
  local table="--password --password-file --help --help-all"
  local filter="--filter --ignore-case --no-partial"
  if [[ $COMP_CWORD -eq 1 ]]; then
    COMPREPLY=($(compgen -W "$commands --help --help-all --version" -- "$cur"))
    return
  fi
  case $prev in
    --format)
      case ${COMP_WORDS[1]} in
        import) COMPREPLY=($(compgen -W "csv json" -- "$cur")) ;;
        *) COMPREPLY=($(compgen -W "csv json sql" -- "$cur")) ;;
      esac
      return ;;
    --encoding) COMPREPLY=($(compgen -W "utf-8 cp1250" -- "$cur")); return ;;
    --delimiter)
      # ';' goes in as \; so that the shell does not end the command there.
      local delimiters=', \\; tab'
      [[ ${COMP_WORDS[1]} == import ]] && delimiters+=" auto"
      COMPREPLY=($(compgen -W "$delimiters" -- "$cur"))
      return ;;
    --schema | --password-file) COMPREPLY=($(compgen -f -- "$cur")); return ;;
    --password | --filter | --index | --fields | --limit | --skip | --null) return ;;
  esac
  local options
  case ${COMP_WORDS[1]} in
    create) options="$table --schema --replace --quiet" ;;
    import) options="$table --format --encoding --delimiter --null --keep-ids --skip --quiet" ;;
    export) options="$table --format --index $filter --fields --limit --encoding --delimiter --null --no-header --quiet" ;;
    info) options="$table --json" ;;
    count) options="$table $filter" ;;
    delete) options="$table $filter --all --quiet" ;;
    verify | repair) options="$table" ;;
    *) return ;;
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
  else
    COMPREPLY=($(compgen -f -- "$cur"))
  fi
}
complete -F _isamtool isamtool
