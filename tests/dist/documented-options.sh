#!/usr/bin/env bash
# Every option and option value that `tabulon-report --help` lists is in the manual page
# and in the bash completion.
#   documented-options.sh TABULON_REPORT MANUAL_PAGE COMPLETION
set -euo pipefail
report=$1 page=$2 completion=$3
help=$("$report" --help)
missing=0
for option in $(grep -oE -- '--[a-z][a-z-]*' <<< "$help" | sort -u); do
  grep -qF -- "${option//-/\\-}" "$page" || { echo "$page lacks $option" >&2; missing=1; }
  grep -qE -- "(^|[ '])$option(=|[ ']|$)" "$completion" || { echo "$completion lacks $option" >&2; missing=1; }
done
for values in $(grep -oE '\{[a-z,]+\}' <<< "$help" | tr -d '{}'); do
  for value in ${values//,/ }; do
    grep -qw -- "$value" "$page" || { echo "$page lacks the value $value" >&2; missing=1; }
    grep -qw -- "$value" "$completion" || { echo "$completion lacks the value $value" >&2; missing=1; }
  done
done
exit "$missing"
