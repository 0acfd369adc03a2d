#!/usr/bin/env bash
# `make install` and `make uninstall` beside the package. Run after a package
# build (cpack has left install_manifest.txt with the package's /usr paths in
# the build folder): an uninstall then touches no file of /usr. A DESTDIR
# install puts the program into the stage, and the uninstall with the same
# DESTDIR leaves the stage as it was, the folders it created removed and
# those that were there kept. Each step uses a list of its own, never the
# build folder's.
#
# usage: install_test.sh SOURCE BUILD
set -uo pipefail
source=$(readlink -f "$1") build=$(readlink -f "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# After the package build.
manifest=$build/install_manifest.txt
grep -qx /usr/bin/device-search "$manifest" || fail "cpack left no /usr paths in $manifest"
fakeroot=$work/root
while IFS= read -r path; do
  mkdir -p "$fakeroot$(dirname "$path")" && touch "$fakeroot$path"
done <"$manifest"
before=$(while IFS= read -r path; do [ -e "$path" ] && echo "$path"; done <"$manifest")
out=$(make -s -C "$source" uninstall BUILD="$build" INSTALL_LIST="$work/none" DESTDIR="$fakeroot" 2>&1)
[ $? -ne 0 ] || fail "uninstall with nothing installed succeeded: $out"
after=$(while IFS= read -r path; do [ -e "$path" ] && echo "$path"; done <"$manifest")
[ "$after" = "$before" ] || fail "uninstall after a package build removed from /usr: $(comm -23 <(echo "$before") <(echo "$after"))"
gone=$(while IFS= read -r path; do [ -e "$fakeroot$path" ] || echo "$path"; done <"$manifest")
[ -z "$gone" ] || fail "uninstall after a package build removed the package's files: $gone"

# A DESTDIR install and its uninstall. /usr/local/share/man is there before.
stage=$work/stage
mkdir -p "$stage/usr/local/share/man"
list=$work/installed-files.txt
DESTDIR=$stage bash "$source/scripts/tracked-install" install "$build" /usr/local "$list" >/dev/null ||
  fail "the DESTDIR install failed"
for f in usr/local/bin/device-search etc/ufw/applications.d/device-search \
         usr/local/lib/firewalld/services/device-search.xml; do
  [ -s "$stage/$f" ] || fail "the DESTDIR install put no $f"
done
grep -q "^f /usr/local/bin/device-search$" "$list" || fail "the list does not name the program without DESTDIR"
out=$(make -s -C "$source" uninstall INSTALL_LIST="$list" DESTDIR="$stage" 2>&1) || fail "uninstall failed: $out"
left=$(cd "$stage" && find . -mindepth 1 | sort)
[ "$left" = $'./usr\n./usr/local\n./usr/local/share\n./usr/local/share/man' ] ||
  fail "the uninstall left in the stage:"$'\n'"$left"
[ -e "$list" ] && fail "the uninstall kept its list"

[ "$failures" -eq 0 ] && echo "uninstall leaves /usr alone after a package build and empties a DESTDIR stage"
exit $((failures > 0))
