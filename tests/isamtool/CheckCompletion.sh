#!/usr/bin/env bash
# The bash completion offers exactly the options each command's help lists, and the commands.
#   CheckCompletion.sh path/to/isamtool tools/isamtool/isamtool.bash
set -euo pipefail
tool=$1
source "$2"

complete_words() {
  COMP_WORDS=("$@")
  COMP_CWORD=$(($# - 1))
  COMPREPLY=()
  _isamtool
  printf '%s\n' "${COMPREPLY[@]}" | sort -u
}

status=0
for command in create import export info count delete verify repair; do
  # The options of the help's option list (the prose after it mentions others).
  expected=$("$tool" "$command" --help | awk '/^Options:/ {on = 1; next} /^$/ {on = 0} on' |
    grep -oE -- '--[a-z][a-z-]*' | sort -u)
  offered=$(complete_words isamtool "$command" --)
  if [ "$expected" != "$offered" ]; then
    echo "$command: the help lists"; echo "$expected"; echo "the completion offers"; echo "$offered"
    status=1
  fi
done
commands=$(complete_words isamtool "" | grep -v -- '^--' | tr '\n' ' ')
if [ "$commands" != "count create delete export import info repair verify " ]; then
  echo "commands offered: $commands"
  status=1
fi
exit $status
