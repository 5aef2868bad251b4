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
offers "--entry --force --help --key --seed --set" loomhost scene new --
offers "--bits --bump-scale" loomhost render --b
offers "nimbra" loomhost render ni
offers "" loomhost render -o ni  # a value: left to file names
offers "" loomhost list ni       # list takes no class
# Only textures where a texture fits; the stereo filter where any class does.
offers "" loomhost render di
offers "--normal" loomhost eval nimbra --mono --no
offers "nimbra" loomhost eval --mono ni  # a flag takes no value
# Values of options with a fixed set, and parameter names of the class named.
offers "dubois" loomhost anaglyph --method d
offers "red-cyan" loomhost anaglyph --glasses red
offers "mono" loomhost render --output m
offers "color,mono" loomhost render --output color,m
offers "Detail= Density=" loomhost render nimbra --set De
offers "U\\ Scale= U\\ Shift= U\\ Waveform=" loomhost render nimbra --key U
offers "h264 h265" loomhost render --codec h
offers "sbs-half-left sbs-half-right" loomhost anaglyph --layout sbs-h
# The buttons --preset clicks, of the class named.
presets=$(loomhost params nimbra --presets)
[[ -n $presets ]] || { echo "params nimbra --presets lists nothing" >&2; status=1; }
first=$(head -n 1 <<<"$presets")
offers "$(printf '%q' "$first")" loomhost render nimbra --preset "${first:0:${#first}-1}"
offers "" loomhost render --preset M  # no class named: nothing to offer
# A texture's class where a texture fits: scene add, edit --open.
offers "" loomhost scene add f.loom di
offers "nimbra" loomhost scene add f.loom ni
offers "nimbra" loomhost edit --open ni
offers "" loomhost edit --open di
exit $status
