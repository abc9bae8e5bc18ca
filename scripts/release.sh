#!/usr/bin/env bash
# Makes the release of both architectures in the shipped configuration
# (MinSizeRel: -Os, every function in its own section, unused sections
# dropped, stripped) and writes to build/release/:
#   Kestrova-2.0-win64-setup.exe  Kestrova-2.0-win32-setup.exe
#   Kestrova-2.0-win64.zip        Kestrova-2.0-win32.zip
#   Kestrova-2.0-win64.msi        the MSI package (64-bit)
#   Kestrova.admx, en-US/Kestrova.adml   the Group Policy templates
#   Kestrova-2.0-win64.msi.codes.txt     the MSI's ProductCode and UpgradeCode
#   winget/Orvane.Kestrova*.yaml         its winget manifest (schema 1.6.0)
#   SHA256SUMS
# Each architecture is built afresh in build/release/<arch>, without the test
# programs. Fails when a kvstrn.exe is larger than the limit in lib.sh.
#
# Signing (scripts/sign.sh, osslsigncode): with KV_SIGN_PKCS12 or
# KV_SIGN_PKCS11_MODULE set (the password in KV_SIGN_PASSWORD_FILE or
# KV_SIGN_PASSWORD) and a time-stamp server in KV_SIGN_TIMESTAMP, every PE
# file shipped is signed and timestamped: each kvstrn.exe, the MSI
# package's custom-action files and NSIS's plug-in DLLs before they are
# packed, the uninstaller and the setup program by NSIS as it writes them,
# and the MSI once built; the manifests and SHA256SUMS come after. Without
# a time-stamp server it stops before building, unless KV_SIGN_NO_TIMESTAMP
# is 1. The last line says "signed and timestamped", "signed without
# timestamp" or "UNSIGNED".
set -euo pipefail

# shellcheck source=scripts/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
cd "$KV_ROOT"

OUT="$KV_BUILD/release"

kv_log "dependencies"
kv_deps

mkdir -p "$OUT"
rm -rf "$OUT"/Kestrova-* "$OUT/SHA256SUMS" "$OUT/Kestrova.admx" "$OUT/en-US"

SIGN="$KV_ROOT/scripts/sign.sh"
signing=false
if [ -n "${KV_SIGN_PKCS12:-}" ] || [ -n "${KV_SIGN_PKCS11_MODULE:-}" ]; then signing=true; fi
if $signing && [ -z "${KV_SIGN_TIMESTAMP:-}" ] && [ "${KV_SIGN_NO_TIMESTAMP:-}" != 1 ]; then
    kv_warn "no time-stamp server: set KV_SIGN_TIMESTAMP to an RFC 3161 server's URL, or KV_SIGN_NO_TIMESTAMP=1 for signatures that stop verifying when the certificate expires"
    exit 4
fi
# major.minor of the project; the MSI's version has three parts.
version=$(sed -n 's/^project(Kestrova VERSION \([0-9.]*\).*/\1/p' "$KV_ROOT/CMakeLists.txt")

for arch in win64 win32; do
    dir="$OUT/$arch"
    rm -rf "$dir"
    kv_log "$arch: build"
    kv_build_release "$arch"

    exe=$(kv_find_exe "$dir")
    size=$(stat -c %s "$exe")
    if [ "$size" -gt "$KV_MAX_EXE_BYTES" ]; then
        kv_warn "$arch: kvstrn.exe is $size bytes, more than $KV_MAX_EXE_BYTES"
        exit 1
    fi
    if $signing; then
        kv_log "$arch: signing kvstrn.exe"
        bash "$SIGN" "$exe"
        # The installers' helper runs from inside the setup program and the
        # MSI package, the MSI's check from inside the package.
        bash "$SIGN" "$dir/kv_msi_cleanup.exe"
        if [ "$arch" = win64 ]; then bash "$SIGN" "$dir/kv_msi_check.dll"; fi
        kv_log "$arch: signing NSIS's plug-ins"
        kv_sign_nsh "$dir"
    fi
    kv_log "$arch: kvstrn.exe $size bytes; packages"
    (cd "$dir" && cpack -G "NSIS;ZIP")
    cp "$dir"/Kestrova-*-"$arch"-setup.exe "$dir"/Kestrova-*-"$arch".zip "$OUT/"
    if [ "$arch" = win64 ]; then
        kv_log "$arch: MSI package"
        kv_make_msi "$dir" "$version.0" "$OUT/Kestrova-$version-win64.msi"
        if $signing; then bash "$SIGN" "$OUT/Kestrova-$version-win64.msi"; fi
        # What deployment tools are told, from the package as shipped.
        rm -rf "$OUT/winget"
        kv_msi_publish "$OUT/Kestrova-$version-win64.msi" "$OUT"
    fi
done

cp "$KV_ROOT/policies/Kestrova.admx" "$OUT/"
mkdir -p "$OUT/en-US"
cp "$KV_ROOT/policies/en-US/Kestrova.adml" "$OUT/en-US/"

(cd "$OUT" && sha256sum Kestrova-*-setup.exe Kestrova-*.zip Kestrova-*.msi Kestrova-*.codes.txt \
    Kestrova.admx en-US/Kestrova.adml winget/*.yaml >SHA256SUMS)
kv_log "release in $OUT"
(cd "$OUT" && ls -l Kestrova-* Kestrova.admx en-US/Kestrova.adml winget SHA256SUMS)
cat "$OUT/Kestrova-$version-win64.msi.codes.txt"
if $signing && [ -n "${KV_SIGN_TIMESTAMP:-}" ]; then
    echo "release signed and timestamped: every kvstrn.exe, setup program, uninstaller, NSIS plug-in, the MSI and its custom actions"
elif $signing; then
    echo "release signed without timestamp (KV_SIGN_NO_TIMESTAMP=1): the signatures stop verifying when the certificate expires"
else
    echo "release UNSIGNED: no certificate (set KV_SIGN_PKCS12 or KV_SIGN_PKCS11_MODULE to sign)"
fi
