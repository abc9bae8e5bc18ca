#!/usr/bin/env bash
# Makes the release of both architectures in the shipped configuration
# (MinSizeRel: -Os, every function in its own section, unused sections
# dropped, stripped) and writes to build/release/:
#   Kestrova-2.0-win64-setup.exe  Kestrova-2.0-win32-setup.exe
#   Kestrova-2.0-win64.zip        Kestrova-2.0-win32.zip
#   SHA256SUMS
# Each architecture is built afresh in build/release/<arch>, without the test
# programs. Fails when a kvstrn.exe is larger than the limit in lib.sh.
set -euo pipefail

# shellcheck source=scripts/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
cd "$KV_ROOT"

OUT="$KV_BUILD/release"

kv_log "dependencies"
kv_deps

mkdir -p "$OUT"
rm -f "$OUT"/Kestrova-* "$OUT/SHA256SUMS"

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
    kv_log "$arch: kvstrn.exe $size bytes; packages"
    (cd "$dir" && cpack -G "NSIS;ZIP")
    cp "$dir"/Kestrova-*-"$arch"-setup.exe "$dir"/Kestrova-*-"$arch".zip "$OUT/"
done

(cd "$OUT" && sha256sum Kestrova-*-setup.exe Kestrova-*.zip >SHA256SUMS)
kv_log "release in $OUT"
(cd "$OUT" && ls -l Kestrova-* SHA256SUMS)
