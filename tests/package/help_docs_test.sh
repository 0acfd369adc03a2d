#!/usr/bin/env bash
# The manual page and the bash completion against the program's own --help:
# each command's section of the manual page lists exactly the options of
# that command's --help, and the completion offers exactly the commands, each
# command's long options and the values its synopsis names (tcp|udp|...).
#
# usage: help_docs_test.sh DEVICE_SEARCH MANUAL_PAGE COMPLETION
set -uo pipefail
bin=$1 manual=$2 completion=$3
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The options of a help text's option table ("  -h, --help ...", "  --mac MAC ..."), one a line.
table_options() { sed -nE 's/^ +(-[a-z], )?(--[a-z][a-z-]*).*/\1\2/p' | sed 's/, /\n/'; }
# The value lists of a synopsis ("--format table|csv"), as "--format table csv".
value_lists() { grep -oE -- '--[a-z-]+ [a-z]+(\|[a-z]+)+' | tr '|' ' '; }
# The options that the .TP items of the manual page's section NAME list.
manual_options() {
  awk -v want="$1" '
    /^\.SH / { section = $2; gsub(/"/, "", section); next }
    /^\.TP/ { tag = 1; next }
    tag { if (section == want) print; tag = 0 }' "$manual" |
    sed -E 's/\\f[BIRP]//g; s/\\-/-/g' | grep -oE -- '(^|[ "])--?[a-z][a-z-]*' | tr -d ' "'
}
# What the completion offers for the words given (the last one being completed).
offered() {
  bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _device_search
           printf "%s\n" "${COMPREPLY[@]}"' _ "$completion" device-search "$@"
}
# Compares two lists as sets; prints what each lacks.
same_set() {
  local what=$1 want=$2 have=$3
  local missing extra
  missing=$(comm -23 <(sort -u <<<"$want") <(sort -u <<<"$have") | grep . | tr '\n' ' ')
  extra=$(comm -13 <(sort -u <<<"$want") <(sort -u <<<"$have") | grep . | tr '\n' ' ')
  [ -z "$missing" ] || fail "$what lacks: $missing"
  [ -z "$extra" ] || fail "$what has, but --help has not: $extra"
}

top_help=$("$bin" --help) || fail "device-search --help failed"
commands=$(sed -nE 's/^(usage:)? +device-search ([a-z]+).*/\2/p' <<<"$top_help" | sort -u)
[ -n "$commands" ] || fail "no commands in device-search --help"

top_options=$(table_options <<<"$top_help")
same_set "manual page, OPTIONS" "$top_options" "$(manual_options OPTIONS)"
same_set "completion of 'device-search'" "$(printf '%s\n%s\n' "$commands" "$(grep -- '^--' <<<"$top_options")")" \
  "$(offered '')"

for command in $commands; do
  help=$("$bin" "$command" --help)
  status=$?
  [ "$status" -eq 0 ] || fail "device-search $command --help exits $status"
  options=$(table_options <<<"$help")
  [ -n "$options" ] || fail "device-search $command --help lists no options"
  section=$(tr '[:lower:]' '[:upper:]' <<<"$command")
  same_set "manual page, $section" "$options" "$(manual_options "$section")"
  same_set "completion of 'device-search $command'" "$(grep -- '^--' <<<"$options")" "$(offered "$command" '')"
  while read -r option values; do
    [ -n "$option" ] || continue
    same_set "completion of 'device-search $command $option'" "$(tr ' ' '\n' <<<"$values")" \
      "$(offered "$command" "$option" '')"
  done < <(value_lists <<<"$help")
done

[ "$failures" -eq 0 ] && echo "the manual page and the completion cover every command and option"
exit $((failures > 0))
