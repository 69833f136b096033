# Bash completion of korvane-cli. The subcommands, their options and the
# words an option takes are read from the program's own --help, so they never
# fall behind it.

_korvane_cli() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
  local program=${COMP_WORDS[0]} command=${COMP_WORDS[1]:-}
  COMPREPLY=()

  if [ "$COMP_CWORD" -eq 1 ]; then
    local commands
    commands=$("$program" --help 2>/dev/null | sed -n '/^Subcommands:/,$p' | awk 'NR > 1 && NF { print $1 }')
    mapfile -t COMPREPLY < <(compgen -W "$commands --help --version" -- "$cur")
    return
  fi

  local help
  help=$("$program" "$command" --help 2>/dev/null) || return
  # An option that takes one of a list of words shows it as TEXT:{a,b,c}.
  local words
  words=$(printf '%s\n' "$help" | sed -n "s/^ *\\(-[a-z],\\)\\?$prev TEXT:{\\([^}]*\\)}.*/\\2/p" | tr ',' ' ')
  if [ -n "$words" ]; then
    mapfile -t COMPREPLY < <(compgen -W "$words" -- "$cur")
    return
  fi
  case $prev in
    --first | --end | --count | --partition | --volume | --id | --select-id | --name | --date | --size | --ext | --types)
      return ;;
  esac
  if [[ $cur == -* ]]; then
    local options
    options=$(printf '%s\n' "$help" | grep -oE -- '(^|[ ,])--[a-z][a-z-]*' | tr -d ' ,' | sort -u)
    mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
    return
  fi
  compopt -o filenames 2>/dev/null
  mapfile -t COMPREPLY < <(compgen -f -- "$cur")
}

complete -F _korvane_cli korvane-cli
