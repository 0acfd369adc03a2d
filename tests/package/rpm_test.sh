#!/usr/bin/env bash
# The RPM, as `make package-rpm` builds it (scripts/build-package): rpmlint
# (with packaging/rpmlint.toml) reports no error and no warning; its requirements are the sonames of the
# program's libraries, found by rpmbuild; it holds the program and the
# package's files, the ufw profile as a configuration file. (It cannot be
# installed on this Debian system.)
#
# usage: rpm_test.sh SOURCE BUILD
set -uo pipefail
source=$(readlink -f "$1") build=$(readlink -f "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

KDS_PACKAGE_WORK=$work/cpack bash "$source/scripts/build-package" RPM "$build" "$work" >"$work/build.log" 2>&1 ||
  { cat "$work/build.log"; echo "FAIL: no RPM"; exit 1; }
rpms=("$work"/device-search-*.rpm)
rpm=${rpms[0]}

lint=$(rpmlint -c "$source/packaging/rpmlint.toml" "$rpm" 2>&1)
echo "$lint"
grep -E '^[^ ]+: [EW]: ' <<<"$lint" && fail "rpmlint reports errors or warnings"
grep -qE '0 errors, 0 warnings' <<<"$lint" || fail "rpmlint's summary is not '0 errors, 0 warnings'"

requires=$(rpm -qpR "$rpm" 2>&1)
echo "$requires"
for soname in 'libQt6Widgets\.so\.6\(\)\(64bit\)' 'libgupnp-1\.6\.so\.0\(\)\(64bit\)' 'libgssdp-1\.6\.so\.0\(\)\(64bit\)' \
              'libsoup-3\.0\.so\.0\(\)\(64bit\)' 'libstdc\+\+\.so\.6\(\)\(64bit\)'; do
  grep -qE "^$soname\$" <<<"$requires" || fail "the RPM does not require $soname"
done

files=$(rpm -qpl "$rpm" 2>&1)
for f in /usr/bin/device-search /usr/share/man/man1/device-search.1.gz /usr/share/applications/org.kestra.DeviceSearch.desktop \
         /usr/lib/firewalld/services/device-search.xml /etc/ufw/applications.d/device-search; do
  grep -qx "$f" <<<"$files" || fail "the RPM lacks $f"
done
grep -qE '^/(usr|usr/bin|usr/share|etc)$' <<<"$files" && fail "the RPM claims folders of the system"
[ "$(rpm -qpc "$rpm" 2>&1)" = /etc/ufw/applications.d/device-search ] ||
  fail "the configuration files are not the ufw profile alone: $(rpm -qpc "$rpm" 2>&1)"
version=$(sed -nE 's/^project\(KestraDeviceSearch VERSION ([0-9.]+) .*/\1/p' "$source/CMakeLists.txt")
[ "$(rpm -qp --qf '%{VERSION}' "$rpm" 2>/dev/null)" = "$version" ] || fail "the RPM is not of version $version"

[ "$failures" -eq 0 ] && echo "the RPM passes rpmlint and requires its libraries by soname"
exit $((failures > 0))
