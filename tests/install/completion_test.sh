#!/usr/bin/env bash
# completion_test.sh COMPLETION BINDIR: drives the generated bash completion as bash would
# and checks what it offers for commands, nested commands, options and classes.
set -uo pipefail
source "$1"
export PATH="$2:$PATH"
status=0
offers() {  # offers "WORDS..." EXPECTED: the completion of the last word is EXPECTED
  local expected=$1
  shift
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _loomhost
  local got="${COMPREPLY[*]}"
  if [[ $got != "$expected" ]]; then
    echo "completion of '$*': got '$got', want '$expected'" >&2
    status=1
  fi
}
offers "render" loomhost re
offers "eval" loomhost --plugins /some/folder ev
offers "set show" loomhost scene s
offers "--entry --force --help --key --set" loomhost scene new --
offers "--bits --bump-scale" loomhost render --b
offers "nimbra" loomhost render ni
offers "" loomhost render -o ni  # a value: left to file names
offers "" loomhost list ni       # list takes no class
exit $status
