#!/usr/bin/env bash
# The Debian package twice, as `make package` builds it (scripts/build-package,
# SOURCE_DATE_EPOCH unset): the two are the same bytes, and their files carry
# the time of the source's last commit.
#
# usage: reproducible_test.sh SOURCE BUILD
set -uo pipefail
source=$(readlink -f "$1") build=$(readlink -f "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset SOURCE_DATE_EPOCH
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

for n in 1 2; do
  mkdir "$work/$n"
  KDS_PACKAGE_WORK=$work/cpack-$n bash "$source/scripts/build-package" DEB "$build" "$work/$n" >/dev/null ||
    fail "build $n failed"
  [ "$n" = 1 ] && sleep 1  # whatever carries the clock's seconds differs
done
one=("$work"/1/*.deb) two=("$work"/2/*.deb)
cmp "${one[0]}" "${two[0]}" || fail "two builds of the same source differ"

if epoch=$(git -C "$source" log -1 --format=%ct 2>/dev/null) && [ -n "$epoch" ]; then
  newest=$(dpkg-deb --fsys-tarfile "${one[0]}" | TZ=UTC tar -tv --full-time | awk '{ print $4 " " $5 }' | sort | tail -1)
  want=$(date -u -d "@$epoch" '+%Y-%m-%d %H:%M:%S')
  [ "$newest" = "$want" ] || fail "the newest file is of $newest, not of the last commit ($want)"
fi

[ "$failures" -eq 0 ] && echo "two builds of the package are the same bytes"
exit $((failures > 0))
