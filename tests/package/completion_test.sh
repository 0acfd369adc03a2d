#!/usr/bin/env bash
# The bash completion's values that depend on the machine: --plan offers file
# names whole (blanks included, typed with a backslash or a quote) and
# folders with a "/", and --interface offers only the interfaces a search
# accepts (up, IPv4, broadcast, not loopback), read in a network namespace of
# its own. Without root and namespaces the interface part is skipped.
#
# usage: completion_test.sh COMPLETION
set -uo pipefail
completion=$(readlink -f "$1")
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# What the completion offers after the words given (the last one is completed).
offered() {
  bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _device_search
           printf "%s\n" "${COMPREPLY[@]}"' _ "$completion" device-search "$@" 2>&1
}
expect() {
  local what=$1 want=$2 have=$3
  [ "$have" = "$want" ] || fail "$what offers"$'\n'"$have"$'\n'"not"$'\n'"$want"
}

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
mkdir "$dir/old plans" "$dir/plans"
touch "$dir/my plan.csv" "$dir/plans/a.csv" "$dir/x*y.csv"
cd "$dir" || exit 1
#      typed        offered, sorted
cases=("|my plan.csv;old plans/;plans/;x*y.csv"
       "my|my plan.csv"
       "my\\ p|my plan.csv"
       "\"my p|my plan.csv"
       "old|old plans/"
       "plans/|plans/a.csv"
       "x*|x*y.csv"
       "nothing|")
for c in "${cases[@]}"; do
  typed=${c%%|*} want=${c#*|}
  expect "setup --plan '$typed'" "${want//;/$'\n'}" "$(offered setup --plan "$typed" | sort)"
done

if [ "$(id -u)" -ne 0 ] || ! unshare --net true 2>/dev/null || ! command -v ip >/dev/null; then
  echo "no network namespace (it needs root and ip): --interface is not checked"
  [ "$failures" -eq 0 ] && exit 77
  exit 1
fi
# lo up; "usable" up with an address; "bare" up without one; "off" with an
# address but down; "second" usable, its second address under a label of
# its own. The veth peers stay down.
have=$(unshare --net bash -c '
  ip link set lo up
  for name in usable bare off second; do ip link add "$name" type veth peer name "$name-peer"; done
  ip address add 10.98.0.1/24 dev usable; ip link set usable up
  ip link set bare up
  ip address add 10.98.1.1/24 dev off
  ip address add 10.98.2.1/24 dev second; ip address add 10.98.3.1/24 dev second label second:1
  ip link set second up
  source "$1"; COMP_WORDS=(device-search search --interface ""); COMP_CWORD=3; _device_search
  printf "%s\n" "${COMPREPLY[@]}"' _ "$completion" | sort)
expect "search --interface" $'second\nusable' "$have"

[ "$failures" -eq 0 ] && echo "the completion offers whole file names, folders with a slash and usable interfaces"
exit $((failures > 0))
