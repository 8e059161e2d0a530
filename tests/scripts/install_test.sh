#!/usr/bin/env bash
# `cmake --install` of a build into a temporary prefix: the programs, the
# desktop entry and AppStream file (each passing its validator), the icon in
# every size in a folder of its size, the manual pages and the documents.
# Exits 77 (skipped) after every other check has passed when a validator is
# missing (scripts/install-deps installs them).
# Usage: install_test.sh BUILD-DIR VERSION DESKTOP-ID
set -uo pipefail
build=$1
version=$2
id=$3

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

failures=0
skipped=()
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

if ! cmake --install "$build" --prefix "$prefix" >"$prefix.log" 2>&1; then
    cat "$prefix.log"
    rm -f "$prefix.log"
    echo "FAIL: cmake --install"
    exit 1
fi
rm -f "$prefix.log"

for program in duva-config duva-cli duva-sim; do
    [[ -x "$prefix/bin/$program" ]] || fail "bin/$program is not installed"
done

desktop=$prefix/share/applications/$id.desktop
if [[ -f "$desktop" ]]; then
    grep -qx 'Categories=Utility;Electronics;' "$desktop" || fail "the desktop entry's categories"
    grep -qx 'Exec=duva-config' "$desktop" || fail "the desktop entry's command"
    grep -qx "Icon=$id" "$desktop" || fail "the desktop entry's icon"
    if command -v desktop-file-validate >/dev/null; then
        out=$(desktop-file-validate "$desktop" 2>&1) && [[ -z "$out" ]] ||
            fail "desktop-file-validate: $out"
    else
        skipped+=(desktop-file-validate)
    fi
else
    fail "share/applications/$id.desktop is not installed"
fi

metainfo=$prefix/share/metainfo/$id.metainfo.xml
if [[ -f "$metainfo" ]]; then
    grep -q "<release version=\"$version\"" "$metainfo" || fail "the AppStream release is not $version"
    if command -v appstreamcli >/dev/null; then
        out=$(appstreamcli validate --no-net "$metainfo" 2>&1) || fail "appstreamcli validate: $out"
    else
        skipped+=(appstreamcli)
    fi
else
    fail "share/metainfo/$id.metainfo.xml is not installed"
fi

# Each PNG is as large as the folder it is in says (its IHDR width and height).
for size in 16 22 24 32 48 64 128 256; do
    png=$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png
    if [[ ! -f "$png" ]]; then
        fail "no ${size}x${size} icon"
        continue
    fi
    read -r -a b < <(od -An -tu1 -j16 -N8 "$png")
    width=$(((b[0] << 24) | (b[1] << 16) | (b[2] << 8) | b[3]))
    height=$(((b[4] << 24) | (b[5] << 16) | (b[6] << 8) | b[7]))
    [[ "$(head -c 8 "$png" | od -An -tx1 | tr -d ' ')" == 89504e470d0a1a0a && $width -eq $size &&
       $height -eq $size ]] || fail "the ${size}x${size} icon is a ${width}x${height} picture"
done
svg=$prefix/share/icons/hicolor/scalable/apps/$id.svg
[[ -f "$svg" ]] && grep -q '<svg ' "$svg" || fail "no scalable icon"

for page in duva-config duva-cli duva-sim; do
    gz=$prefix/share/man/man1/$page.1.gz
    head=$(gzip -dc "$gz" 2>/dev/null | head -1)
    [[ "$head" == ".TH ${page^^} 1 "*"\"$page $version\""* ]] || fail "man page of $page: '$head'"
done
grep -q 'dialout' <(gzip -dc "$prefix/share/man/man1/duva-config.1.gz" 2>/dev/null) ||
    fail "the manual page does not explain the dialout group"

completion=$prefix/share/bash-completion/completions/duva-cli
[[ -f "$completion" ]] && bash -n "$completion" && grep -q 'complete -F _duva_cli duva-cli' "$completion" ||
    fail "no bash completion for duva-cli"

doc=$prefix/share/doc/duva-config
grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
    "$doc/copyright" 2>/dev/null || fail "no machine-readable copyright file"
[[ "$(gzip -dc "$doc/changelog.gz" 2>/dev/null | head -1)" == "duva-config ($version) "* ]] ||
    fail "the changelog's latest entry is not $version"

if ((failures > 0)); then
    exit 1
fi
if [[ ${#skipped[@]} -gt 0 ]]; then
    echo "SKIPPED: ${skipped[*]} missing, the files are not validated (scripts/install-deps installs them)"
    exit 77
fi
echo "install: all checks pass"
