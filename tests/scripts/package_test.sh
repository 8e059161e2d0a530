#!/usr/bin/env bash
# scripts/package on a build: the Debian package is made and passes
# lintian, its dependencies come from the libraries the programs use, and
# the programs unpacked from it (dpkg-deb -x, nothing installed) run.
# Usage: package_test.sh PACKAGE-SCRIPT BUILD-DIR VERSION
set -uo pipefail
package=$1
build=$2
version=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

if ! "$package" --build-dir "$build" --out "$work" >"$work/package.log" 2>&1; then
    cat "$work/package.log"
    echo "FAIL: scripts/package"
    exit 1
fi
cat "$work/package.log"
deb=$(tail -1 "$work/package.log")
[[ "$(basename "$deb")" == "duva-config_${version}_$(dpkg --print-architecture).deb" && -f "$deb" ]] ||
    { echo "FAIL: no package $deb"; exit 1; }

info=$(dpkg-deb --info "$deb")
echo "$info"
depends=$(sed -n 's/^ Depends: //p' <<<"$info")
# Found by dpkg-shlibdeps in the programs, and Qt's platform plugins, which
# Qt only recommends.
for lib in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6 \
    libjpeg62-turbo qt6-qpa-plugins; do
    [[ ", $depends," == *", $lib"[\ ,]* ]] || fail "$lib is not among the dependencies: $depends"
done
grep -qx ' Maintainer: DUVA configuration program team <duva@example.com>' <<<"$info" ||
    fail "the maintainer"
grep -qx " Version: $version" <<<"$info" || fail "the version"

dpkg-deb -x "$deb" "$work/root"
# No display: --version is answered before Qt looks for one.
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$work/root/usr/bin/duva-config" --version 2>&1)
[[ $? -eq 0 && "$(head -1 <<<"$out")" == "duva-config $version" ]] ||
    fail "the unpacked duva-config --version said: $out"
# The command line needs neither a display nor Qt Widgets.
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$work/root/usr/bin/duva-cli" --version 2>&1)
[[ $? -eq 0 && "$(head -1 <<<"$out")" == "duva-cli $version" ]] ||
    fail "the unpacked duva-cli --version said: $out"
objdump -p "$work/root/usr/bin/duva-cli" 2>/dev/null | grep -q 'NEEDED.*libQt6Widgets' &&
    fail "duva-cli is linked with Qt Widgets"
out=$("$work/root/usr/bin/duva-sim" --version 2>&1)
[[ $? -eq 0 && "$(head -1 <<<"$out")" == "duva-sim (DUVA configuration program) $version" ]] ||
    fail "the unpacked duva-sim --version said: $out"

if ((failures > 0)); then
    exit 1
fi
if grep -q 'lintian is missing' "$work/package.log"; then
    echo "SKIPPED: lintian is missing, the package is not checked (scripts/install-deps installs it)"
    exit 77
fi
echo "package: all checks pass"
