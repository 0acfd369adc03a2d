#!/usr/bin/env bash
# The package unpacked into a temporary root (dpkg-deb -x), with nothing of
# the build folder: it holds what it should, recommends what its program
# uses when it is there, its program finds its libraries without help,
# prints the package's version, searches in a test network against the
# simulator, and its window carries the version in its caption and the
# desktop entry's StartupWMClass as its class. Where no test network can be
# made, only the first part runs and the test is skipped (exit 77).
#
# usage: unpacked_test.sh PACKAGE.deb DEVICE_SIM
set -uo pipefail
self=$(readlink -f "$0")
here=$(dirname "$self")

# Inside the test network: the window's caption and class, as the window
# system shows them, on a virtual X server of its own (Xvfb picks a free
# display itself, so that X servers started at the same time never clash).
if [ "${1:-}" = "--window" ]; then
  export LC_ALL=C.UTF-8  # the caption's characters as they are
  displayfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$displayfile" 2>/dev/null &
  xvfb=$!
  pid=""
  trap 'kill $pid $xvfb 2>/dev/null; wait $pid $xvfb 2>/dev/null; rm -f "$displayfile"' EXIT
  for _ in $(seq 100); do [ -s "$displayfile" ] && break; sleep 0.1; done
  export DISPLAY=:$(head -n 1 "$displayfile")
  "$2" &
  pid=$!
  win=""
  for _ in $(seq 300); do  # up to 30 s
    win=$(xwininfo -root -tree 2>/dev/null | awk '/"Kestra Device Search/ { print $1; exit }')
    [ -n "$win" ] && break
    sleep 0.1
  done
  [ -n "$win" ] && xprop -id "$win" WM_CLASS _NET_WM_NAME
  exit 0
fi

deb=$(readlink -f "$1") sim=$(readlink -f "$2")
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root" || exit 1
cd "$root" || exit 1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
bin=$root/usr/bin/device-search
# A bare environment: no library path, no display, nothing of the build.
bare() { env -i PATH=/usr/bin:/bin HOME="$root" "$@"; }

for f in usr/bin/device-search usr/share/man/man1/device-search.1.gz \
         usr/share/bash-completion/completions/device-search usr/share/doc/device-search/copyright; do
  [ -s "$f" ] || fail "the package lacks $f"
done
[ -e usr/bin/device-sim ] && fail "the package holds the simulator"
readelf -d "$bin" | grep -E 'RPATH|RUNPATH' && fail "the program carries a library path"
libs=$(bare ldd "$bin")
grep -E 'not found' <<<"$libs" && fail "libraries not found"

# Browse opens pages through xdg-open; Qt needs its plugin to draw on Wayland.
recommends=$(dpkg-deb -f "$deb" Recommends)
for r in xdg-utils qt6-wayland; do
  grep -qE "(^|, )$r(\$|[ ,])" <<<"$recommends" || fail "the package does not recommend $r (Recommends: $recommends)"
done

version=$(dpkg-deb -f "$deb" Version)
out=$(bare "$bin" --version)
[ "$out" = "device-search $version" ] || fail "--version prints '$out', not 'device-search $version'"
bare "$bin" search --help | grep -q -- '--format' || fail "search --help lists no --format"
zcat usr/share/man/man1/device-search.1.gz | grep -q "device-search $version" || fail "the manual page is not of $version"

if [ "$(id -u)" -ne 0 ] || ! unshare --net true 2>/dev/null || ! command -v ip >/dev/null; then
  echo "no test network (it needs root, network namespaces and ip): the search and the window are not checked"
  [ "$failures" -eq 0 ] && exit 77
  exit 1
fi
network() {
  DEVICE_SIM=$sim "$here/../../scripts/with-test-network" --count 4 --upnp-axis 1 \
    --upnp-address 10.99.0.2 --wait-line "upnp ready" -- "$@"
}

out=$(network env -i PATH=/usr/bin:/bin "$bin" search --format ndjson)
protocol=$(grep -c '"source":"protocol"' <<<"$out")
upnp=$(grep -c '"source":"upnp"' <<<"$out")
[ "$protocol" -eq 4 ] && [ "$upnp" -eq 1 ] ||
  fail "the search found $protocol protocol and $upnp UPnP devices, not 4 and 1:"$'\n'"$out"

# The window's remembered settings go to a folder of the test's own.
out=$(network env -i PATH=/usr/bin:/bin XDG_CONFIG_HOME="$root/config" "$self" --window "$bin")
class=$(sed -n 's/^StartupWMClass=//p' usr/share/applications/*.desktop)
grep -qF "WM_CLASS(STRING) = \"device-search\", \"$class\"" <<<"$out" ||
  fail "the window's class is not the entry's StartupWMClass '$class':"$'\n'"$out"
grep -qF "_NET_WM_NAME(UTF8_STRING) = \"Kestra Device Search - $version" <<<"$out" ||
  fail "the caption lacks the version $version:"$'\n'"$out"

[ "$failures" -eq 0 ] && echo "the unpacked package runs, searches and shows its window"
exit $((failures > 0))
