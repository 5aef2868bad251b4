#!/usr/bin/env bash
# man_test.sh MAN.1.gz BINDIR SOURCEDIR: the manual page has the sections a user looks for,
# names every environment variable the program's sources read, and its examples use only
# options their commands have.
set -uo pipefail
page=$(gzip -dc "$1" | sed 's/\\-/-/g; s/\\f[BIR]//g')
export PATH="$2:$PATH"
status=0
fail() {
  echo "$*" >&2
  status=1
}
for section in NAME SYNOPSIS DESCRIPTION OPTIONS COMMANDS EXAMPLES "EXIT STATUS" ENVIRONMENT; do
  grep -qx "\.SH $section" <<<"$page" || fail "no section $section"
done
environment=$(sed -n '/^\.SH ENVIRONMENT$/,/^\.SH /p' <<<"$page")
# Every variable read by name (HOME only stands in for an unset XDG_DATA_HOME).
variables=$(grep -rhoE '(getenv|var|lookup)\("[A-Z][A-Z0-9_]+"\)' "$3/app" "$3/foundation" |
  sed -E 's/.*\("([A-Z0-9_]+)"\)/\1/' | sort -u | grep -vx HOME)
[[ $variables == *SLURM_ARRAY_TASK_ID* ]] || fail "found no variables in $3"
for v in $variables; do
  grep -q "$v" <<<"$environment" || fail "ENVIRONMENT does not name $v"
done
# Each example's options are among its command's.
examples=$(sed -n '/^\.SH EXAMPLES$/,/^\.SH /p' <<<"$page" | grep '^loomhost ')
[[ -n $examples ]] || fail "no examples"
while read -r program command rest; do
  help=$(loomhost "$command" --help) || { fail "example: no command $command"; continue; }
  for option in $(grep -oE '(^| )--?[a-z][a-z-]*' <<<"$rest"); do
    grep -qE -- "(^| |,)$option[ ,=]" <<<"$help" || fail "example: $command has no $option"
  done
done <<<"$examples"
exit $status
