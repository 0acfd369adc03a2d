#!/usr/bin/env bash
# lintian on the package, info tags shown: no error and no warning, and none
# of the hardening tags (hardening-no-bindnow, -no-fortify-functions,
# -no-relro, -no-pie, ...) that the information level shows.
#
# usage: lintian_test.sh PACKAGE.deb
set -uo pipefail
out=$(lintian -I --fail-on error,warning "$1" 2>&1)
status=$?
echo "$out"
[ "$status" -eq 0 ] || { echo "FAIL: lintian reports errors or warnings"; exit 1; }
if grep -E '^[EWI]: [^ ]+: hardening-' <<<"$out"; then
  echo "FAIL: the program lacks hardening"
  exit 1
fi
echo "lintian: nothing above information, no hardening tag"
