#!/usr/bin/env bash
# The package's desktop entry and AppStream metainfo, as the package installs
# them: both validators pass without errors, warnings or hints, and the
# entry, its icons, the metainfo and the package agree with one another.
#
# usage: validate_test.sh PACKAGE.deb
set -uo pipefail
deb=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root" || exit 1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

entries=("$root"/usr/share/applications/*.desktop)
[ ${#entries[@]} -eq 1 ] && [ -f "${entries[0]}" ] || { echo "FAIL: not one desktop entry: ${entries[*]}"; exit 1; }
entry=${entries[0]}
id=$(basename "$entry" .desktop)
metainfo=$root/usr/share/metainfo/$id.metainfo.xml

out=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate: $out"
# Not even a hint (two main categories, say, list the entry twice).
grep -E '(error|warning|hint):' <<<"$out" && fail "desktop-file-validate warns or hints"
echo "$out"
out=$(appstreamcli validate --no-net "$metainfo" 2>&1) || fail "appstreamcli validate: $out"
echo "$out"

key() { sed -n "s/^$1=//p" "$entry"; }
icon=$(key Icon)
[ "$icon" = "$id" ] || fail "Icon=$icon, not the entry's id $id"
for f in scalable/apps/$icon.svg 128x128/apps/$icon.png; do
  [ -s "$root/usr/share/icons/hicolor/$f" ] || fail "no icon $f"
done
[ -x "$root/usr/bin/$(key Exec | cut -d' ' -f1)" ] || fail "Exec=$(key Exec) is not in usr/bin"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" || fail "the metainfo does not launch $id.desktop"
version=$(dpkg-deb -f "$deb" Version)
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo has no release $version"

[ "$failures" -eq 0 ] && echo "the desktop entry and the metainfo of $id pass"
exit $((failures > 0))
